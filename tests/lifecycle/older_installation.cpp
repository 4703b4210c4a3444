#include "lifecycle/older_installation.h"

#include <shlobj.h>

#include <algorithm>

#include "lifecycle/installer_driver.h"
#include "record/shortcuts.h"
#include "support/encoding.h"
#include "support/wow64.h"

namespace lifecycle {

namespace {

std::string Narrow(const std::wstring& text) { return kv::wide_to_utf8(text); }

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The previous release's installer at work: it makes each change and writes its record line.
class OlderInstaller {
 public:
  explicit OlderInstaller(OlderInstallation& installation) : installation_(installation) {}

  // Creates the missing folders of folder, outermost first, recording each.
  void CreateFolders(const std::wstring& folder) {
    std::vector<std::wstring> missing;
    for (std::wstring current = folder; current.size() > 3 && !FolderExists(current); current = Parent(current))
      missing.push_back(current);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (!CreateDirectoryW(it->c_str(), nullptr)) throw DriverError("cannot create " + Narrow(*it));
      Record(0x00ff, *it);
    }
  }

  void Place(const std::wstring& path, int kind, const std::string& bytes) {
    CreateFolders(Parent(path));
    WriteFileBytes(path, bytes);
    installation_.files[path] = {kind, bytes};
    Record(0x0100u + static_cast<unsigned>(kind), path);
  }

  // Makes "<folder>\<name>.lnk" to target and records it with code.
  std::wstring Shortcut(unsigned code, const std::wstring& target, const std::wstring& folder, const std::wstring& name) {
    CreateFolders(folder);
    std::wstring path;
    if (!CreateShortcut(target, folder, name, &path)) throw DriverError("cannot create the shortcut " + Narrow(name));
    Record(code, path);
    return path;
  }

  void Record(unsigned code, const std::wstring& text) {
    wchar_t line[32] = {};
    swprintf(line, 32, L"%04zu:%04x:1 -- ", installation_.recordEntries.size(), code);
    installation_.recordEntries.push_back(line + text);
  }

 private:
  OlderInstallation& installation_;
};

// Which payload files the previous release had, and what it wrote for them.
bool InOlderPayload(const PayloadFile& file, const PayloadFile& lastSample) {
  switch (file.kind) {
    case 0:
      return file.Name() == L"Gradivo.fr.dll" || file.Name() == L"Gradivo.de.dll";
    case 1:
    case 2:
      return true;
    case 3:
      return EndsWith(file.destination, L"\\Libraries\\Parts");
    case 4:
      return EndsWith(file.destination, L"\\Wood") || (file.destination == L"<SamplePath>" && file.source != lastSample.source);
    default:
      return false;
  }
}

std::string OlderBytes(const PayloadFile& file) {
  if (file.kind == 1) {
    const std::filesystem::path product = BuildFolder() / L"payload" / L"older" / L"Gradivo.exe";
    std::optional<std::string> bytes = FileBytes(product);
    if (!bytes) throw DriverError("the build has no " + product.string());
    return *bytes;
  }
  return "Gradivo 7.16: " + Narrow(file.Name());
}

void MarkReadOnly(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_READONLY);
}

// What the previous release's installer wrote into the registry: its Uninstall key (the values
// of this release's, with its own texts), the product path value and, through the product's
// registration, the project file type.
void WriteRegistry(const Destinations& destinations) {
  const std::wstring web = L"https://www.veltram-ruziruzu.example";
  for (const auto& [name, value] : std::initializer_list<std::pair<const wchar_t*, std::wstring>>{
           {L"DisplayName", olderProductText},
           {L"UninstallString", destinations.UninstallerPath()},
           {L"DisplayIcon", destinations.ProductPath() + L",0"},
           {L"DisplayVersion", L"7.16.2.0"},
           {L"Publisher", L"Veltram & Ruziruzu"},
           {L"URLInfoAbout", web},
           {L"HelpLink", web},
           {L"URLUpdateInfo", web},
           {L"HelpTelephone", L"+33 1 00 00 00 00"}})
    WriteRegistryString(HKEY_LOCAL_MACHINE, uninstallKey, name, value);
  WriteRegistryDword(HKEY_LOCAL_MACHINE, uninstallKey, L"NoModify", 1);
  WriteRegistryDword(HKEY_LOCAL_MACHINE, uninstallKey, L"NoRepair", 1);
  WriteRegistryDword(HKEY_LOCAL_MACHINE, uninstallKey, L"KvLanguage", static_cast<DWORD>(Language::English));
  WriteRegistryString(HKEY_LOCAL_MACHINE, makerKey, productPathValue, destinations.ProductPath());
  WriteRegistryString(HKEY_CLASSES_ROOT, L".gvp", L"", L"Gradivo.Project");
  WriteRegistryString(HKEY_CLASSES_ROOT, L"Gradivo.Project\\shell\\open\\command", L"",
                      L"\"" + destinations.ProductPath() + L"\" \"%1\"");
}

// The record file as the previous release wrote it: UTF-16LE with its byte-order mark, CR LF
// after every line, read-only, archive and not content-indexed.
void WriteRecord(const OlderInstallation& installation) {
  const Destinations& destinations = installation.destinations;
  std::vector<std::wstring> lines = {
      L"// Uninstall Log File v1",
      L"// ############ WARNING: Do not delete or modify this file. ############",
      L"// Install " + olderProductText,
      L"// Install Path : " + destinations.installFolder,
      L"// Shortcut Path : " + destinations.startMenuFolder,
      L"// " + std::wstring(16 + destinations.startMenuFolder.size(), L'-')};
  lines.insert(lines.end(), installation.recordEntries.begin(), installation.recordEntries.end());
  std::string bytes = "\xFF\xFE";
  for (const std::wstring& line : lines) {
    for (const wchar_t unit : line + L"\r\n") {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
  }
  WriteFileBytes(destinations.RecordPath(), bytes);
  SetFileAttributesW(destinations.RecordPath().c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
}

}  // namespace

OlderInstallation InstallOlderVersion() {
  OlderInstallation installation;
  Destinations& destinations = installation.destinations;
  destinations.installFolder = ShellFolder(kv::program_files_csidl()) + L"\\Design Tools\\Gradivo";
  destinations.startMenuFolder = ShellFolder(CSIDL_COMMON_PROGRAMS) + L"\\Gradivo";
  OlderInstaller installer(installation);

  const std::vector<PayloadFile> payload = PayloadFiles();
  const auto lastSample = std::find_if(payload.rbegin(), payload.rend(),
                                       [](const PayloadFile& file) { return file.destination == L"<SamplePath>"; });
  if (lastSample == payload.rend()) throw DriverError("the payload has no sample project");
  for (const PayloadFile& file : payload) {
    if (!InOlderPayload(file, *lastSample)) continue;
    const std::wstring path = destinations.PathOf(file);
    installer.Place(path, file.kind, OlderBytes(file));
    if (file.Name() == L"Gradivo.de.dll") {
      installation.retiredLibrary = Parent(path) + L"\\Gradivo.it.dll";
      installer.Place(installation.retiredLibrary, 0, "Gradivo 7.16: Gradivo.it.dll");
    }
  }
  MarkReadOnly(destinations.ProductPath());
  MarkReadOnly(destinations.UninstallerPath());

  installation.programShortcut =
      installer.Shortcut(0x02ff, destinations.ProductPath(), destinations.startMenuFolder, olderProductText);
  installation.uninstallerShortcut =
      installer.Shortcut(0x03ff, destinations.UninstallerPath(), destinations.startMenuFolder, L"Uninstall Gradivo");
  installation.desktopShortcut =
      installer.Shortcut(0x04ff, destinations.ProductPath(), CommonDesktopFolder(), olderProductText);
  installer.Record(0x07ff, directXStepText);
  WriteRegistry(destinations);
  installer.Record(0x05ff, L"HKEY_LOCAL_MACHINE\\" + uninstallKey);
  installer.Record(0x06ff, L"HKEY_CLASSES_ROOT\\...");
  WriteRecord(installation);
  return installation;
}

}  // namespace lifecycle
