#include "lifecycle/machine_checks.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "common/test_environment.h"
#include "lifecycle/installer_driver.h"
#include "support/encoding.h"
#include "support/handles.h"
#include "support/wow64.h"

namespace lifecycle {

namespace {

const std::wstring uninstallKeyText = L"HKEY_LOCAL_MACHINE\\" + uninstallKey;
const std::wstring associationsText = L"HKEY_CLASSES_ROOT\\...";
const std::wstring webAddress = L"https://www.veltram-ruziruzu.example";

std::string Narrow(const std::wstring& text) { return kv::wide_to_utf8(text); }

std::wstring Parent(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L'\\');
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// COM for the calling thread while it lives.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool Ready() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

kv::unique_hkey OpenKey(HKEY root, const std::wstring& subkey, REGSAM access) {
  kv::unique_hkey key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, access | kv::registry_view(), key.put()) != ERROR_SUCCESS) key.reset();
  return key;
}

kv::unique_hkey CreateKey(HKEY root, const std::wstring& subkey) {
  kv::unique_hkey key;
  const LSTATUS status = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE | kv::registry_view(), nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS) throw DriverError("cannot create the key " + Narrow(subkey) + ": error " + std::to_string(status));
  return key;
}

void SetValue(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data, DWORD size) {
  const kv::unique_hkey key = CreateKey(root, subkey);
  const LSTATUS status = RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  if (status != ERROR_SUCCESS) throw DriverError("cannot write the value " + Narrow(name) + ": error " + std::to_string(status));
}

std::optional<RegistryValue> ReadValue(HKEY root, const std::wstring& subkey, const std::wstring& name) {
  const std::map<std::wstring, RegistryValue> values = RegistryValues(root, subkey);
  const auto found = values.find(name);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

std::wstring Hex4(unsigned code) {
  wchar_t text[16] = {};
  swprintf(text, 16, L"%04x", code);
  return text;
}

std::wstring Sequence(std::size_t index) {
  wchar_t text[16] = {};
  swprintf(text, 16, L"%04zu", index);
  return text;
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); }

// Appends the created-folder lines of the folders of path (from the outermost) that neither
// exist nor have been counted yet.
void AddMissingFolders(const std::wstring& folder, std::set<std::wstring>& created, std::vector<std::wstring>& lines) {
  std::vector<std::wstring> missing;
  for (std::wstring current = folder; current.size() > 3; current = Parent(current)) {
    if (FolderExists(current) || created.count(current)) break;
    missing.push_back(current);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    created.insert(*it);
    lines.push_back(L"00ff:1 -- " + *it);
  }
}

}  // namespace

// ---- Folders ----

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) || !path[0])
    throw DriverError("the system knows no folder " + std::to_string(csidl));
  return path;
}

std::wstring DefaultInstallFolder() {
  return ShellFolder(kv::program_files_csidl()) + L"\\Veltram & Ruziruzu\\Gradivo 7";
}

std::wstring DefaultStartMenuFolder() { return ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Veltram & Ruziruzu\\Gradivo 7"; }

std::wstring CommonDesktopFolder() { return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY); }

// ---- Payload ----

std::wstring PayloadFile::Name() const { return source.filename().wstring(); }

std::vector<PayloadFile> PayloadFiles() {
  const std::filesystem::path manifest = BuildFolder() / L"payload" / L"manifest.txt";
  std::ifstream in(manifest, std::ios::binary);
  if (!in) throw DriverError("cannot read the payload manifest " + manifest.string());
  std::vector<PayloadFile> files;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos) throw DriverError("malformed manifest line: " + line);
    PayloadFile file;
    file.kind = std::stoi(line.substr(0, first));
    file.destination = kv::utf8_to_wide(line.substr(first + 1, second - first - 1));
    file.source = manifest.parent_path() / std::filesystem::path(kv::utf8_to_wide(line.substr(second + 1)));
    file.source.make_preferred();
    files.push_back(std::move(file));
  }
  return files;
}

std::wstring Destinations::PathOf(const PayloadFile& file) const {
  const std::size_t close = file.destination.find(L'>');
  if (file.destination.empty() || file.destination[0] != L'<' || close == std::wstring::npos)
    throw DriverError("no macro in " + Narrow(file.destination));
  const std::wstring macro = file.destination.substr(0, close + 1);
  const std::wstring rest = file.destination.substr(close + 1);
  std::wstring base;
  if (macro == L"<InstallPath>") base = installFolder;
  else if (macro == L"<SamplePath>") base = CommonDesktopFolder() + L"\\" + sampleFolderName;
  else if (macro == L"<CommonData>") base = ShellFolder(CSIDL_COMMON_APPDATA);
  else if (macro == L"<UserData>") base = ShellFolder(CSIDL_APPDATA);
  else if (macro == L"<Temporary>") return {};
  else throw DriverError("the checks know no macro " + Narrow(macro));
  return base + rest + L"\\" + file.Name();
}

// ---- Files ----

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD FileAttributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

std::optional<std::string> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw DriverError("cannot write " + path.string());
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(folder, error))
    names.push_back(item.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

FileTree ReadFileTree(const std::wstring& folder) {
  FileTree tree;
  std::error_code error;
  const std::filesystem::path root(folder);
  for (auto it = std::filesystem::recursive_directory_iterator(root, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    const std::wstring path = it->path().wstring();
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) continue;
    FileStamp stamp;
    stamp.attributes = data.dwFileAttributes;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      stamp.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
      stamp.writeTime = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    }
    tree[std::filesystem::relative(it->path(), root).wstring()] = stamp;
  }
  return tree;
}

// ---- Registry ----

bool RegistryKeyExists(HKEY root, const std::wstring& subkey) { return static_cast<bool>(OpenKey(root, subkey, KEY_READ)); }

std::optional<std::wstring> RegistryString(HKEY root, const std::wstring& subkey, const std::wstring& name) {
  const std::optional<RegistryValue> value = ReadValue(root, subkey, name);
  if (!value || value->type != REG_SZ) return std::nullopt;
  std::wstring text(value->data.size() / sizeof(wchar_t), L'\0');
  std::copy(value->data.begin(), value->data.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(wchar_t)),
            reinterpret_cast<BYTE*>(text.data()));
  text.resize(wcslen(text.c_str()));
  return text;
}

std::optional<DWORD> RegistryDword(HKEY root, const std::wstring& subkey, const std::wstring& name) {
  const std::optional<RegistryValue> value = ReadValue(root, subkey, name);
  if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return std::nullopt;
  DWORD number = 0;
  std::copy(value->data.begin(), value->data.end(), reinterpret_cast<BYTE*>(&number));
  return number;
}

std::map<std::wstring, RegistryValue> RegistryValues(HKEY root, const std::wstring& subkey) {
  std::map<std::wstring, RegistryValue> values;
  const kv::unique_hkey key = OpenKey(root, subkey, KEY_QUERY_VALUE);
  if (!key) return values;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384] = {};
    DWORD nameLength = 16384;
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    RegistryValue value;
    value.type = type;
    value.data.resize(size);
    nameLength = 16384;
    if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, value.data.data(), &size) != ERROR_SUCCESS)
      break;
    value.data.resize(size);
    values[name] = std::move(value);
  }
  return values;
}

void WriteRegistryString(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& value) {
  SetValue(root, subkey, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::wstring> ProjectFileType() {
  wchar_t text[256] = {};
  DWORD size = sizeof(text);
  if (RegGetValueW(HKEY_CLASSES_ROOT, L".gvp", nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(text);
}

void WriteRegistryDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD value) {
  SetValue(root, subkey, name, REG_DWORD, &value, sizeof(value));
}

// ---- Shortcuts ----

std::optional<Shortcut> ReadShortcut(const std::wstring& path) {
  if (!FileExists(path)) return std::nullopt;
  const ComScope com;
  if (!com.Ready()) return std::nullopt;
  kv::com_ptr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
    return std::nullopt;
  kv::com_ptr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void())) || FAILED(file->Load(path.c_str(), STGM_READ)))
    return std::nullopt;
  Shortcut shortcut;
  wchar_t text[MAX_PATH] = {};
  if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) shortcut.target = text;
  text[0] = L'\0';
  if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) shortcut.workingFolder = text;
  text[0] = L'\0';
  if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) shortcut.arguments = text;
  return shortcut;
}

// ---- Record file ----

RecordFile ReadRecordFile(const std::wstring& path) {
  const std::optional<std::string> bytes = FileBytes(path);
  if (!bytes) throw DriverError("cannot read the record file " + Narrow(path));
  RecordFile file;
  file.byteOrderMark = bytes->size() >= 2 && static_cast<unsigned char>((*bytes)[0]) == 0xFF &&
                       static_cast<unsigned char>((*bytes)[1]) == 0xFE;
  std::wstring text;
  for (std::size_t i = file.byteOrderMark ? 2 : 0; i + 1 < bytes->size(); i += 2)
    text += static_cast<wchar_t>(static_cast<unsigned char>((*bytes)[i]) |
                                 (static_cast<unsigned char>((*bytes)[i + 1]) << 8));
  file.everyLineEndsWithCrLf = bytes->size() % 2 == 0 && text.size() >= 2 && text.substr(text.size() - 2) == L"\r\n";
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(start, end - start);
    if (line.find_first_of(L"\r\n") != std::wstring::npos) file.everyLineEndsWithCrLf = false;
    file.lines.push_back(line);
    start = end + 2;
  }
  return file;
}

std::vector<std::wstring> ExpectedRecordHeader(const std::wstring& installFolder, const std::wstring& startMenuFolder,
                                               const std::wstring& previousProduct) {
  std::wstring install = L"// Install Gradivo 7.17a";
  if (!previousProduct.empty()) install += L" -- Update (" + previousProduct + L")";
  return {L"// Uninstall Log File v1",
          L"// ############ WARNING: Do not delete or modify this file. ############",
          install,
          L"// Install Path : " + installFolder,
          L"// Shortcut Path : " + startMenuFolder,
          L"// " + std::wstring(16 + startMenuFolder.size(), L'-')};
}

void ExpectRecordFileAttributes(const std::wstring& path) {
  constexpr DWORD written = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD kept = test::running_under_wine() ? written & ~DWORD{FILE_ATTRIBUTE_NOT_CONTENT_INDEXED} : written;
  EXPECT_EQ(FileAttributes(path), kept) << Narrow(path);
}

std::vector<RecordLine> RecordEntries(const RecordFile& file) {
  std::vector<RecordLine> entries;
  for (std::size_t i = 6; i < file.lines.size(); ++i) {
    const std::wstring& line = file.lines[i];
    const std::size_t index = i - 6;
    const auto fail = [&](const char* why) {
      throw DriverError("record line " + std::to_string(i + 1) + " (" + Narrow(line) + "): " + why);
    };
    const std::size_t colon = line.find(L':');
    if (colon == std::wstring::npos || line.substr(0, colon) != Sequence(index)) fail("its sequence is not its position");
    if (line.size() < colon + 10 || line[colon + 5] != L':') fail("no four-digit code");
    const std::wstring code = line.substr(colon + 1, 4);
    if (!std::all_of(code.begin(), code.end(), IsHexDigit)) fail("the code is not lower-case hexadecimal");
    const wchar_t result = line[colon + 6];
    if (result != L'0' && result != L'1') fail("the result is neither 0 nor 1");
    if (line.compare(colon + 7, 4, L" -- ") != 0) fail("no \" -- \" after the result");
    RecordLine entry;
    entry.sequence = line.substr(0, colon);
    entry.code = static_cast<unsigned>(std::stoul(code, nullptr, 16));
    entry.succeeded = result == L'1';
    entry.text = line.substr(colon + 11);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<RecordLine> EntriesWithCode(const std::vector<RecordLine>& entries, unsigned code) {
  std::vector<RecordLine> found;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(found),
               [code](const RecordLine& entry) { return entry.code == code; });
  return found;
}

std::vector<std::wstring> ExpectedFirstRecordEntries(const Destinations& destinations, bool startMenuShortcuts,
                                                     bool desktopShortcut) {
  std::vector<std::wstring> lines;
  std::set<std::wstring> created;
  for (const PayloadFile& file : PayloadFiles()) {
    if (file.kind == 5) continue;
    const std::wstring path = destinations.PathOf(file);
    AddMissingFolders(Parent(path), created, lines);
    lines.push_back(Hex4(0x100u + static_cast<unsigned>(file.kind)) + L":1 -- " + path);
  }
  if (startMenuShortcuts) {
    AddMissingFolders(destinations.startMenuFolder, created, lines);
    lines.push_back(L"02ff:1 -- " + destinations.ProgramShortcutPath());
    lines.push_back(L"03ff:1 -- " + destinations.UninstallerShortcutPath());
  }
  if (desktopShortcut) lines.push_back(L"04ff:1 -- " + destinations.DesktopShortcutPath());
  lines.push_back(L"07ff:1 -- " + directXStepText);
  lines.push_back(L"05ff:1 -- " + uninstallKeyText);
  lines.push_back(L"06ff:1 -- " + associationsText);
  for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = Sequence(i) + L":" + lines[i];
  return lines;
}

// ---- Logs ----

std::vector<std::wstring> TextLines(const std::wstring& path) {
  std::vector<std::wstring> lines;
  const std::optional<std::string> bytes = FileBytes(path);
  if (!bytes) return lines;
  std::size_t start = 0;
  while (start < bytes->size()) {
    std::size_t end = bytes->find('\n', start);
    if (end == std::string::npos) end = bytes->size();
    std::string line = bytes->substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(kv::utf8_to_wide(line));
    start = end + 1;
  }
  return lines;
}

// ---- Expectations ----

void ExpectPayloadPlaced(const Destinations& destinations, const std::vector<std::wstring>& skipped) {
  for (const PayloadFile& file : PayloadFiles()) {
    if (file.kind == 5) {
      EXPECT_FALSE(FileExists(destinations.installFolder + L"\\" + file.Name())) << Narrow(file.Name());
      continue;
    }
    const std::wstring path = destinations.PathOf(file);
    if (std::find(skipped.begin(), skipped.end(), path) != skipped.end()) continue;
    const std::optional<std::string> placed = FileBytes(path);
    const std::optional<std::string> expected = FileBytes(file.source);
    ASSERT_TRUE(expected.has_value()) << "the build has no " << file.source.string();
    EXPECT_TRUE(placed.has_value()) << "not placed: " << Narrow(path);
    if (placed) {
      EXPECT_TRUE(*placed == *expected) << "placed with other content: " << Narrow(path);
    }
  }
  // The run's temporary folder is gone with the DirectX files.
  for (const std::wstring& name : FolderEntries(std::filesystem::temp_directory_path().wstring()))
    EXPECT_NE(name.rfind(L"veltram_{", 0), 0u) << "left behind: " << Narrow(name);
  EXPECT_NE(FileAttributes(destinations.ProductPath()) & FILE_ATTRIBUTE_READONLY, 0u) << "the product is not read-only";
  EXPECT_NE(FileAttributes(destinations.UninstallerPath()) & FILE_ATTRIBUTE_READONLY, 0u)
      << "the uninstaller is not read-only";
}

void ExpectShortcut(const std::wstring& path, const std::wstring& target) {
  const std::optional<Shortcut> shortcut = ReadShortcut(path);
  ASSERT_TRUE(shortcut.has_value()) << "no shortcut " << Narrow(path);
  EXPECT_EQ(shortcut->target, target) << Narrow(path);
  EXPECT_EQ(shortcut->workingFolder, Parent(target)) << Narrow(path);
  EXPECT_EQ(shortcut->arguments, L"") << Narrow(path);
}

void ExpectUninstallEntry(const Destinations& destinations, Language language) {
  const std::map<std::wstring, RegistryValue> values = RegistryValues(HKEY_LOCAL_MACHINE, uninstallKey);
  ASSERT_FALSE(values.empty()) << "no Uninstall key";
  const auto text = [](const std::wstring& value) {
    RegistryValue expected{REG_SZ, {}};
    const auto* bytes = reinterpret_cast<const BYTE*>(value.c_str());
    expected.data.assign(bytes, bytes + (value.size() + 1) * sizeof(wchar_t));  // with its NUL
    return expected;
  };
  const auto number = [](DWORD value) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    return RegistryValue{REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(value))};
  };
  const std::map<std::wstring, RegistryValue> expected = {
      {L"DisplayName", text(L"Gradivo 7.17a")},
      {L"UninstallString", text(destinations.UninstallerPath())},
      {L"DisplayIcon", text(destinations.ProductPath() + L",0")},
      {L"DisplayVersion", text(L"7.17.1.1")},
      {L"Publisher", text(L"Veltram & Ruziruzu")},
      {L"URLInfoAbout", text(webAddress)},
      {L"HelpLink", text(webAddress)},
      {L"URLUpdateInfo", text(webAddress)},
      {L"HelpTelephone", text(L"+33 1 00 00 00 00")},
      {L"NoModify", number(1)},
      {L"NoRepair", number(1)},
      {L"KvLanguage", number(static_cast<DWORD>(language))},
  };
  for (const auto& [name, value] : expected) {
    const auto found = values.find(name);
    if (found == values.end()) {
      ADD_FAILURE() << "the Uninstall key has no value " << Narrow(name);
      continue;
    }
    EXPECT_EQ(found->second.type, value.type) << Narrow(name);
    EXPECT_TRUE(found->second.data == value.data) << "the value " << Narrow(name) << " holds other data";
  }
  EXPECT_EQ(values.size(), expected.size()) << "the Uninstall key holds other values too";
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, makerKey, productPathValue), destinations.ProductPath());
}

std::vector<RecordLine> ExpectRecordOfInstallation(const Destinations& destinations, const std::wstring& previousProduct) {
  const RecordFile record = ReadRecordFile(destinations.RecordPath());
  EXPECT_TRUE(record.byteOrderMark);
  EXPECT_TRUE(record.everyLineEndsWithCrLf);
  const std::vector<std::wstring> header =
      ExpectedRecordHeader(destinations.installFolder, destinations.startMenuFolder, previousProduct);
  EXPECT_GE(record.lines.size(), header.size());
  for (std::size_t i = 0; i < header.size() && i < record.lines.size(); ++i)
    EXPECT_EQ(record.lines[i], header[i]) << "header line " << i + 1;
  std::vector<RecordLine> entries;
  try {
    entries = RecordEntries(record);
  } catch (const DriverError& error) {
    ADD_FAILURE() << error.what();
    return entries;
  }
  std::size_t files = 0;
  for (const PayloadFile& file : PayloadFiles()) {
    if (file.kind == 5) continue;
    ++files;
    const std::wstring path = destinations.PathOf(file);
    const auto lines = EntriesWithCode(entries, 0x100u + static_cast<unsigned>(file.kind));
    const auto count = std::count_if(lines.begin(), lines.end(), [&](const RecordLine& line) {
      return line.text == path && line.succeeded;
    });
    EXPECT_EQ(count, 1) << "record lines of " << Narrow(path);
  }
  const auto placed = std::count_if(entries.begin(), entries.end(), [](const RecordLine& entry) { return entry.Kind() == 1; });
  EXPECT_EQ(static_cast<std::size_t>(placed), files) << "file lines for files outside the payload";
  for (const auto& [code, text] : {std::pair{0x05ffu, uninstallKeyText}, std::pair{0x06ffu, associationsText}}) {
    const auto lines = EntriesWithCode(entries, code);
    EXPECT_EQ(lines.size(), 1u) << "lines of code " << Narrow(Hex4(code));
    for (const RecordLine& line : lines) {
      EXPECT_TRUE(line.succeeded) << Narrow(Hex4(code));
      EXPECT_EQ(line.text, text);
    }
  }
  return entries;
}

}  // namespace lifecycle
