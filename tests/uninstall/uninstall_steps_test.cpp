// The uninstaller's undo logic on installations made in scratch folders with the installer's own
// operations, under test names in the registry (the product's own names belong to the program test).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_environment.h"
#include "record/record_file_reader.h"
#include "record/record_test_files.h"
#include "support/encoding.h"
#include "uninstall/sample_installation.h"
#include "uninstall/uninstall_steps.h"
#include "uninstall/uninstall_texts.h"

namespace {

using uninstall_test::Narrow;
using Path = std::filesystem::path;

const uninstall::ProductNames testNames{L"Gradivo Uninstall Test", L"Software\\Veltram & Ruziruzu Uninstall Test",
                                        L"Gradivo Uninstall Test Path", L".gvptest", L"Gradivo.UninstallTest"};
const std::wstring uninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + testNames.productKeyName;
const std::wstring uninstallKeyName = L"HKEY_LOCAL_MACHINE\\" + uninstallKey;
const std::wstring makerKeyName = L"HKEY_LOCAL_MACHINE\\" + testNames.makerKey;

enum class Encoding { utf16, narrow };
void PrintTo(Encoding encoding, std::ostream* out) { *out << (encoding == Encoding::utf16 ? "UTF-16" : "ANSI"); }

// Rewrites a record file in the thread's ANSI code page, without byte-order mark.
void MakeNarrow(const Path& recordFile) {
  const std::string bytes = record_test::ReadBytes(recordFile);
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  record_test::WriteBytes(recordFile, record_test::Narrow(text));
}

std::wstring ReadUtf16(const Path& recordFile) {
  const std::string bytes = record_test::ReadBytes(recordFile);
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  return text;
}

void Append(const Path& file, const std::string& text) {
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::ofstream(file, std::ios::binary | std::ios::app) << text;
}

class Undo : public testing::Test {
 protected:
  void SetUp() override { uninstall_test::DeleteProductRegistry(testNames); }
  void TearDown() override { uninstall_test::DeleteProductRegistry(testNames); }

  uninstall_test::SampleInstallation Install() {
    return uninstall_test::InstallSample(scratch_.path(), testNames, false);
  }

  // Reads the record and undoes it; the log lines of the actions, in order.
  std::vector<std::wstring> Run(const Path& recordFile, const std::wstring& logFile = {}) {
    record_ = ReadRecordFile(recordFile.wstring());
    uninstall::UninstallReport report(logFile);
    uninstall::UndoInstallation(recordFile.wstring(), record_, settings_, report);
    std::vector<std::wstring> lines;
    for (const uninstall::Action& action : report.actions()) lines.push_back(uninstall::ActionLine(action));
    done_ = uninstall::DoneText(record_, report);
    return lines;
  }

  static std::wstring Folder(const Path& path) { return L"removed folder " + path.wstring(); }
  static std::wstring File(const Path& path) { return L"removed file " + path.wstring(); }

  test::scratch_folder scratch_;
  uninstall::UninstallSettings settings_{testNames, uninstall_test::LibraryContents()};
  RecordFileContents record_;
  std::wstring done_;
};

class UndoInBothEncodings : public Undo, public testing::WithParamInterface<Encoding> {};

TEST_P(UndoInBothEncodings, RemovesEveryChangeNewestFirst) {
  const uninstall_test::SampleInstallation installed = Install();
  if (GetParam() == Encoding::narrow) MakeNarrow(installed.recordFile);
  ASSERT_TRUE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY));
  ASSERT_FALSE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_64KEY))
      << "the entry lives in the 32-bit view only";
  const Path log = scratch_.path() / L"uninstall.log";

  const std::vector<std::wstring> lines = Run(installed.recordFile, log.wstring());

  const Path scratch = scratch_.path();
  const Path common = scratch / L"Common";
  const std::vector<std::wstring> expected{
      L"removed key HKEY_CLASSES_ROOT\\.gvptest",
      L"removed key HKEY_CLASSES_ROOT\\Gradivo.UninstallTest",
      L"removed value " + makerKeyName + L"\\Gradivo Uninstall Test Path",
      L"removed key " + makerKeyName,
      L"removed key " + uninstallKeyName,
      L"skipped DirectX runtime (it stays for other programs)",
      L"removed shortcut " + (installed.startMenuFolder / L"Uninstall Gradivo.lnk").wstring(),
      L"removed shortcut " + installed.programShortcut.wstring(),
      Folder(installed.startMenuFolder),
      Folder(scratch / L"Start Menu"),
      File(installed.otherLibrary),
      File(installed.library),
      Folder(installed.libraryFolder),
      Folder(common / L"Gradivo" / L"Libraries"),
      Folder(common / L"Gradivo"),
      Folder(common),
      File(installed.language),
      Folder(installed.installFolder / L"Lang"),
      File(installed.uninstaller),
      File(installed.product),
      L"removed record " + installed.recordFile.wstring(),
      Folder(installed.installFolder),
      Folder(scratch / L"Program Files"),
  };
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Narrow(lines[i]), Narrow(expected[i])) << "action " << i;

  std::vector<Path> left;
  for (const auto& item : std::filesystem::directory_iterator(scratch_.path())) left.push_back(item.path());
  EXPECT_EQ(left, std::vector<Path>{log}) << "only the log is left in the scratch folder";
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY));
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, testNames.makerKey, KEY_WOW64_32KEY));
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, testNames.fileExtension, 0));
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, testNames.fileType, 0));
  EXPECT_EQ(Narrow(done_), "Gradivo 7.17a was removed from your computer.");

  std::wstring logged;
  for (const std::wstring& line : expected) logged += line + L"\r\n";
  EXPECT_EQ(record_test::ReadBytes(log), kv::wide_to_utf8(logged)) << "the log holds one line per action";
}

INSTANTIATE_TEST_SUITE_P(Records, UndoInBothEncodings, testing::Values(Encoding::utf16, Encoding::narrow),
                         [](const testing::TestParamInfo<Encoding>& param) {
                           return param.param == Encoding::utf16 ? "Utf16WithByteOrderMark" : "AnsiCodePage";
                         });

TEST_F(Undo, ChangedUserFilesStayWithTheirFoldersWhateverTheirTimes) {
  const uninstall_test::SampleInstallation installed = Install();
  Append(installed.otherLibrary, "<Part id=\"USR-0001\" name=\"my own part\"/>\n");
  // Changed long before the record was last written, as by a user before a reinstallation.
  {
    FILETIME written{};
    HANDLE record = CreateFileW(installed.recordFile.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    GetFileTime(record, nullptr, nullptr, &written);
    CloseHandle(record);
    ULARGE_INTEGER earlier{{written.dwLowDateTime, written.dwHighDateTime}};
    earlier.QuadPart -= 36'000'000'000ull;  // an hour
    const FILETIME changed{earlier.LowPart, earlier.HighPart};
    HANDLE library = CreateFileW(installed.otherLibrary.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(library, nullptr, nullptr, &changed));
    CloseHandle(library);
  }
  const std::string changedContent = record_test::ReadBytes(installed.otherLibrary);
  // An unchanged library that the user made read-only still goes.
  SetFileAttributesW(installed.library.c_str(), FILE_ATTRIBUTE_READONLY);

  const std::vector<std::wstring> lines = Run(installed.recordFile);

  const Path common = scratch_.path() / L"Common";
  for (const std::wstring& line :
       {L"kept file " + installed.otherLibrary.wstring() + L" (changed)", File(installed.library),
        L"kept folder " + installed.libraryFolder.wstring() + L" (not empty)",
        L"kept folder " + common.wstring() + L" (not empty)", Folder(installed.installFolder)})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << Narrow(line);
  EXPECT_EQ(record_test::ReadBytes(installed.otherLibrary), changedContent);
  EXPECT_FALSE(std::filesystem::exists(installed.library));
  EXPECT_EQ(std::filesystem::directory_iterator(installed.libraryFolder)->path(), installed.otherLibrary);
  EXPECT_NE(done_.find(L"kept, since they were changed"), std::wstring::npos) << Narrow(done_);
  EXPECT_NE(done_.find(installed.otherLibrary.wstring()), std::wstring::npos) << Narrow(done_);
}

TEST_F(Undo, AUserFileThatCannotBeReadStays) {
  const uninstall_test::SampleInstallation installed = Install();
  std::vector<std::wstring> lines;
  {
    // Held open by another program that shares it with nobody.
    const HANDLE held = CreateFileW(installed.library.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    lines = Run(installed.recordFile);
    CloseHandle(held);
  }
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"kept file " + installed.library.wstring() + L" (cannot be read)"),
            lines.end());
  EXPECT_TRUE(std::filesystem::exists(installed.library));
  EXPECT_FALSE(std::filesystem::exists(installed.otherLibrary));
}

TEST_F(Undo, AFolderHoldingOtherFilesStays) {
  const uninstall_test::SampleInstallation installed = Install();
  const Path notes = installed.installFolder / L"notes.txt";
  record_test::WriteBytes(notes, "not the installation's");

  const std::vector<std::wstring> lines = Run(installed.recordFile);

  EXPECT_NE(std::find(lines.begin(), lines.end(), L"kept folder " + installed.installFolder.wstring() + L" (not empty)"),
            lines.end());
  EXPECT_EQ(record_test::ReadBytes(notes), "not the installation's");
  EXPECT_FALSE(std::filesystem::exists(installed.recordFile));
  EXPECT_FALSE(std::filesystem::exists(installed.uninstaller));
}

TEST_F(Undo, FailedEntriesAndEntriesNamingNothingUsableAreLeftAlone) {
  const Path scratch = scratch_.path();
  for (const wchar_t* name : {L"failed.exe", L"relative.dll", L"notes.txt"}) record_test::WriteBytes(scratch / name, "x");
  std::filesystem::create_directory(scratch / L"Sub");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const std::wstring entries = L"0000:0101:0 -- " + (scratch / L"failed.exe").wstring() + L"\r\n" +
                               L"0001:0100:1 -- relative.dll\r\n" +
                               L"0002:02ff:1 -- " + (scratch / L"notes.txt").wstring() + L"\r\n" +
                               L"0003:00ff:1 -- " + (scratch / L"notes.txt").wstring() + L"\r\n" +
                               L"0004:0100:1 -- " + (scratch / L"Sub").wstring() + L"\r\n" +
                               L"0005:0100:1 -- " + (scratch / L"gone.dll").wstring() + L"\r\n" +
                               L"0006:04ff:0 -- \r\n"
                               L"0007:05ff:0 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\x\r\n"
                               L"0008:06ff:0 -- HKEY_CLASSES_ROOT\\...\r\n";
  const Path recordFile = scratch / L"Uninstall.ulog";
  record_test::WriteBytes(recordFile, record_test::Utf16(record_test::RecordText(scratch.wstring(), L"", entries)));
  // A relative path would name a file in the current folder.
  const Path previousFolder = std::filesystem::current_path();
  std::filesystem::current_path(scratch);

  const std::vector<std::wstring> lines = Run(recordFile);
  std::filesystem::current_path(previousFolder);

  const std::vector<std::wstring> expected{
      L"skipped associations (not done by the installation)",
      L"skipped key (not done by the installation)",
      L"skipped shortcut (not done by the installation)",
      L"gone file " + (scratch / L"gone.dll").wstring(),
      L"skipped file " + (scratch / L"Sub").wstring() + L" (a folder, not a file)",
      L"skipped folder " + (scratch / L"notes.txt").wstring() + L" (not a folder)",
      L"skipped shortcut " + (scratch / L"notes.txt").wstring() + L" (not a shortcut file)",
      L"skipped file relative.dll (not a full path)",
      L"skipped file " + (scratch / L"failed.exe").wstring() + L" (not done by the installation)",
      L"removed record " + recordFile.wstring(),
  };
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Narrow(lines[i]), Narrow(expected[i])) << "action " << i;
  for (const wchar_t* name : {L"failed.exe", L"relative.dll", L"notes.txt", L"Sub"})
    EXPECT_TRUE(std::filesystem::exists(scratch / name)) << Narrow(name);
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY));
}

TEST_F(Undo, ADamagedRecordIsUndoneAsFarAsItWasRead) {
  const uninstall_test::SampleInstallation installed = Install();
  // A line that cannot be read right after the first library's entry (entry 10 of 19).
  std::wstring text = ReadUtf16(installed.recordFile);
  const std::size_t library = text.find(installed.library.wstring());
  ASSERT_NE(library, std::wstring::npos);
  const std::size_t cut = text.find(L"\r\n", library) + 2;
  text.insert(cut, L"0011:0x:1 -- damaged\r\n");
  record_test::WriteBytes(installed.recordFile, record_test::Utf16(text));

  const std::vector<std::wstring> lines = Run(installed.recordFile);

  EXPECT_TRUE(uninstall::IsUsableRecord(record_));
  EXPECT_FALSE(record_.complete);
  ASSERT_EQ(record_.entries.size(), 11u);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(Narrow(lines.front()), Narrow(File(installed.library))) << "the newest entry read comes first";
  EXPECT_FALSE(std::filesystem::exists(installed.product));
  EXPECT_FALSE(std::filesystem::exists(installed.library));
  EXPECT_TRUE(std::filesystem::exists(installed.otherLibrary)) << "named only after the damage";
  EXPECT_TRUE(std::filesystem::exists(installed.programShortcut));
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY));
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, testNames.fileType, 0));
  EXPECT_EQ(done_.rfind(L"Gradivo 7.17a could not be removed completely.", 0), 0u) << Narrow(done_);
  EXPECT_NE(done_.find(L"The installation record is damaged: only its first 11 entries could be read."),
            std::wstring::npos)
      << Narrow(done_);
}

TEST_F(Undo, RegistryItemsOfAnotherInstallationStay) {
  const uninstall_test::SampleInstallation installed = Install();
  const std::wstring elsewhere = (scratch_.path() / L"Elsewhere").wstring();
  const auto setString = [](HKEY root, const std::wstring& subkey, const wchar_t* name, const std::wstring& value,
                            REGSAM view) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE | view, &key), ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  };
  setString(HKEY_LOCAL_MACHINE, uninstallKey, L"UninstallString", L"\"" + elsewhere + L"\\Uninstall.exe\"", KEY_WOW64_32KEY);
  setString(HKEY_LOCAL_MACHINE, testNames.makerKey, testNames.productPathValue.c_str(), elsewhere + L"\\Gradivo.exe",
            KEY_WOW64_32KEY);
  setString(HKEY_CLASSES_ROOT, testNames.fileExtension, nullptr, L"Other.Project", 0);

  const std::vector<std::wstring> lines = Run(installed.recordFile);

  for (const std::wstring& line :
       {std::wstring(L"kept key HKEY_CLASSES_ROOT\\.gvptest (it no longer names Gradivo.UninstallTest)"),
        std::wstring(L"removed key HKEY_CLASSES_ROOT\\Gradivo.UninstallTest"),
        L"kept value " + makerKeyName + L"\\Gradivo Uninstall Test Path (it names a program this installation did not place)",
        L"kept key " + uninstallKeyName + L" (it names the uninstaller in another folder)"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << Narrow(line);
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY));
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, testNames.makerKey, KEY_WOW64_32KEY));
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, testNames.fileExtension, 0));
  EXPECT_FALSE(std::filesystem::exists(installed.installFolder)) << "the files go all the same";
}

// Records that cannot be acted on: nothing of them is undone.
struct UnusableCase {
  const char* name;
  std::wstring text;  // empty: no file at all
  friend void PrintTo(const UnusableCase& c, std::ostream* out) { *out << c.name; }
};

class UnusableRecord : public testing::TestWithParam<UnusableCase> {};

TEST_P(UnusableRecord, IsRefused) {
  test::scratch_folder scratch;
  const Path recordFile = scratch.path() / L"Uninstall.ulog";
  if (!GetParam().text.empty()) record_test::WriteBytes(recordFile, record_test::Utf16(GetParam().text));
  const RecordFileContents record = ReadRecordFile(recordFile.wstring());
  EXPECT_FALSE(uninstall::IsUsableRecord(record));
  const std::wstring error = uninstall::RecordErrorText(recordFile.wstring(), record);
  EXPECT_NE(error.find(recordFile.wstring()), std::wstring::npos);
  EXPECT_NE(error.find(L"Nothing was removed."), std::wstring::npos);
  EXPECT_EQ(error.find(L"cannot be found") != std::wstring::npos, GetParam().text.empty()) << Narrow(error);
}

INSTANTIATE_TEST_SUITE_P(
    Records, UnusableRecord,
    testing::Values(UnusableCase{"Missing", L""},
                    UnusableCase{"VersionTwo", L"// Uninstall Log File v2\r\n0000:0100:1 -- C:\\x\r\n"},
                    UnusableCase{"DamagedBeforeTheFirstEntry",
                                 record_test::RecordText(L"C:\\x", L"", L"0000 0100:1 -- C:\\x\\a.exe\r\n")},
                    UnusableCase{"HeaderCut", L"// Uninstall Log File v1\r\n// warning\r\n// Nothing here\r\n"}),
    [](const testing::TestParamInfo<UnusableCase>& param) { return std::string(param.param.name); });

}  // namespace
