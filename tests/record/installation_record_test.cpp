#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "common/test_environment.h"
#include "record/installation_record.h"
#include "record/record_file_reader.h"
#include "record_test_files.h"

using namespace record_test;

namespace {

std::wstring Str(const std::filesystem::path& path) { return path.wstring(); }

DWORD Attributes(const std::filesystem::path& path) { return GetFileAttributesW(path.c_str()); }

void Touch(const std::filesystem::path& path, const std::string& content = "x") { WriteBytes(path, content); }

// A scratch folder whose read-only files are made writable before it is removed.
struct Scratch {
  test::scratch_folder folder;
  ~Scratch() {
    std::error_code ignored;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder.path(), ignored))
      SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  std::filesystem::path operator/(const wchar_t* name) const { return folder.path() / name; }
};

// The file's text after its byte-order mark, split into lines at CR LF; the last line ends with
// CR LF as well.
std::vector<std::wstring> RecordLines(const std::filesystem::path& file) {
  const std::string bytes = ReadBytes(file);
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

TEST(InstallationRecord, WritesTheFileByteForByteAndReadsItBack) {
  Scratch scratch;
  const std::filesystem::path install = scratch / L"Program Files" / L"Veltram & Ruziruzu" / L"Gradivo 7";
  const std::filesystem::path menu = scratch / L"Start Menu";
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");

  record.AddFile(Str(install / L"Gradivo.exe"), 1, false);
  Touch(install / L"Gradivo.exe");
  record.CloseEntry(true);
  record.AddShortcut(0, Str(menu));
  record.CloseEntry(true, Str(menu / L"Gradivo.lnk"));
  record.AddShortcut(4, Str(menu));
  record.CloseEntry(false);
  record.AddDirectXRuntime();
  record.CloseEntry(true, L"DirectX: up to date");
  record.AddFileAssociations();
  record.CloseEntry(true);
  record.AddFile(Str(install / L"never closed.txt"), 4, false);

  const std::filesystem::path file = install / L"Uninstall.ulog";
  ASSERT_TRUE(record.Write(Str(file), Str(install), Str(menu)));
  const DWORD recordAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (test::running_under_wine())  // Wine keeps no not-content-indexed flag on files
    EXPECT_EQ(Attributes(file), recordAttributes & ~DWORD{FILE_ATTRIBUTE_NOT_CONTENT_INDEXED});
  else
    EXPECT_EQ(Attributes(file), recordAttributes);

  // The folders the run created come first: every component below the scratch folder.
  const std::vector<std::wstring> lines = RecordLines(file);
  const std::wstring shortcutLine = L"Shortcut Path : " + Str(menu);
  std::vector<std::wstring> expected = {
      L"// Uninstall Log File v1",
      L"// ############ WARNING: Do not delete or modify this file. ############",
      L"// Install Gradivo 7.17a",
      L"// Install Path : " + Str(install),
      L"// " + shortcutLine,
      L"// " + std::wstring(shortcutLine.size(), L'-'),
      L"0000:00ff:1 -- " + Str(scratch / L"Program Files"),
      L"0001:00ff:1 -- " + Str(scratch / L"Program Files" / L"Veltram & Ruziruzu"),
      L"0002:00ff:1 -- " + Str(install),
      L"0003:0101:1 -- " + Str(install / L"Gradivo.exe"),
      L"0004:00ff:1 -- " + Str(menu),
      L"0005:02ff:1 -- " + Str(menu / L"Gradivo.lnk"),
      L"0006:04ff:0 -- ",
      L"0007:07ff:1 -- DirectX: up to date",
      L"0008:06ff:1 -- HKEY_CLASSES_ROOT\\...",
      L"0009:0104:0 -- " + Str(install / L"never closed.txt"),
  };
  EXPECT_EQ(lines, expected);

  InstallationRecord reread(L"Gradivo 7.17a", L"Gradivo 7");
  reread.Read(Str(file));
  EXPECT_EQ(reread.previousProduct, L"Gradivo 7.17a");
  EXPECT_EQ(reread.previousInstallPath, Str(install));
  EXPECT_EQ(reread.previousShortcutPath, Str(menu));
  ASSERT_EQ(reread.previousEntries().size(), record.entries().size());
  for (std::size_t i = 0; i < record.entries().size(); ++i) {
    RecordEntry written = record.entries()[i];
    if (written.kind == RecordEntryKind::FileAssociations) written.text.clear();  // regenerated on writing
    EXPECT_EQ(reread.previousEntries()[i], written) << "entry " << i;
  }
}

TEST(InstallationRecord, UninstallKeyTextIsRegeneratedAndReadBackEmpty) {
  Scratch scratch;
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.AddFileAssociations();
  record.CloseEntry(true, L"whatever the caller said");
  const std::filesystem::path file = scratch / L"Uninstall.ulog";
  // An UninstallKey entry comes from a previous record here; its text is written anew as well.
  WriteBytes(file, Utf16(RecordText(L"", L"", L"0000:05ff:1 -- HKEY_LOCAL_MACHINE\\old\r\n")));
  record.Read(Str(file));
  ASSERT_TRUE(record.Write(Str(file), L"C:\\x", L""));
  const std::vector<std::wstring> lines = RecordLines(file);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[6], L"0000:05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7");
  EXPECT_EQ(lines[7], L"0001:06ff:1 -- HKEY_CLASSES_ROOT\\...");

  InstallationRecord reread(L"Gradivo 7.17a", L"Gradivo 7");
  reread.Read(Str(file));
  ASSERT_EQ(reread.previousEntries().size(), 2u);
  EXPECT_EQ(reread.previousEntries()[0].text, L"");
  EXPECT_EQ(reread.previousEntries()[1].text, L"");
}

TEST(InstallationRecord, UpdateLineEmptyShortcutFolderAndReadOnlyFileReplaced) {
  Scratch scratch;
  const std::filesystem::path file = scratch / L"Uninstall.ulog";
  // The previous record was itself an update: only its own product text is carried on.
  WriteBytes(file, Utf16(RecordText(L"", L"", L"", L"Gradivo 7.16 -- Update (Gradivo 7.15)")));
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.Read(Str(file));
  EXPECT_EQ(record.previousProduct, L"Gradivo 7.16");

  ASSERT_TRUE(record.Write(Str(file), L"C:\\Program Files\\Gradivo", L""));
  const std::vector<std::wstring> lines = RecordLines(file);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2], L"// Install Gradivo 7.17a -- Update (Gradivo 7.16)");
  EXPECT_EQ(lines[4], L"// Shortcut Path : ");
  EXPECT_EQ(lines[5], L"// ----------------");
}

TEST(InstallationRecord, SequenceGrowsPastFourDigits) {
  Scratch scratch;
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  for (int i = 0; i < 10001; ++i) {
    record.AddFileAssociations();
    record.CloseEntry(true);
  }
  const std::filesystem::path file = scratch / L"Uninstall.ulog";
  ASSERT_TRUE(record.Write(Str(file), L"C:\\x", L"C:\\y"));
  const std::vector<std::wstring> lines = RecordLines(file);
  ASSERT_EQ(lines.size(), 6u + 10001u);
  EXPECT_EQ(lines[6 + 9999], L"9999:06ff:1 -- HKEY_CLASSES_ROOT\\...");
  EXPECT_EQ(lines.back(), L"10000:06ff:1 -- HKEY_CLASSES_ROOT\\...");
  InstallationRecord reread(L"Gradivo 7.17a", L"Gradivo 7");
  reread.Read(Str(file));
  EXPECT_EQ(reread.previousEntries().size(), 10001u);
}

TEST(InstallationRecord, CloseEntryWithoutAnOpenEntryChangesNothing) {
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.CloseEntry(true, L"nothing open");
  EXPECT_TRUE(record.entries().empty());
  record.AddDirectXRuntime();
  EXPECT_TRUE(record.entryOpen());
  record.CloseEntry(false, L"first");
  record.CloseEntry(true, L"second");
  ASSERT_EQ(record.entries().size(), 1u);
  EXPECT_FALSE(record.entries()[0].succeeded);
  EXPECT_EQ(record.entries()[0].text, L"first");
}

// The previous entries survive the merge unless this run has one that supersedes them.
struct MergeCase {
  const char* name;
  std::wstring previousLine;  // one entry line of the previous record, "%s" standing for the scratch folder
  bool survives;
};

// Test names show the case name, not the bytes of the case.
void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

class RecordMerge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(RecordMerge, KeepsOnlyWhatThisRunDidNotSupersede) {
  Scratch scratch;
  const std::wstring base = Str(scratch.folder.path());
  std::wstring line = GetParam().previousLine;
  for (std::size_t at; (at = line.find(L"%s")) != std::wstring::npos;) line.replace(at, 2, base);

  const std::filesystem::path file = scratch / L"Uninstall.ulog";
  WriteBytes(file, Utf16(RecordText(base, base, L"0000:00ff:1 -- " + base + L"\\kept folder\r\n" + line + L"\r\n")));
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.Read(Str(file));
  ASSERT_EQ(record.previousEntries().size(), 2u);

  // This run: the folder "App" created, one file placed in it, a failed desktop shortcut.
  record.AddFile(base + L"\\App\\Gradivo.exe", 1, false);
  record.CloseEntry(true);
  record.AddShortcut(2, base);
  record.CloseEntry(false);
  ASSERT_TRUE(record.Write(Str(file), base, base));

  const std::vector<std::wstring> lines = RecordLines(file);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[6], L"0000:00ff:1 -- " + base + L"\\kept folder") << "previous entries come first";
  // Survivor or not, this run's three entries (folder "App", the file, the shortcut) follow.
  const std::wstring previousText = line.substr(line.find(L" -- ") + 4);
  const bool survived = lines.size() == 6u + 1 + 1 + 3 &&
                        lines[7].substr(lines[7].find(L" -- ") + 4) == previousText;
  EXPECT_EQ(survived, GetParam().survives) << testing::PrintToString(lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordMerge,
    ::testing::Values(
        MergeCase{"DesktopShortcutDroppedWhenThisRunHasOneEvenFailed", L"0001:04ff:1 -- %s\\old desktop.lnk", false},
        MergeCase{"ProgramShortcutKeptWhenThisRunHasNone", L"0001:02ff:1 -- %s\\Gradivo.lnk", true},
        MergeCase{"SameFileDropped", L"0001:0101:1 -- %s\\App\\Gradivo.exe", false},
        MergeCase{"AbsentFileDifferingInCaseOnlyDropped", L"0001:0101:1 -- %s\\APP\\gradivo.EXE", false},
        MergeCase{"OtherFileKept", L"0001:0104:1 -- %s\\App\\other.txt", true},
        MergeCase{"FileWithTheTextOfACreatedFolderKept", L"0001:0100:1 -- %s\\App", true},
        MergeCase{"CreatedFolderOfThisRunDropped", L"0001:00ff:1 -- %s\\App", false},
        MergeCase{"DirectXKeptWhenThisRunHasNone", L"0001:07ff:1 -- DirectX", true}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(InstallationRecord, CreateFoldersRecordsEachCreatedFolderOutermostFirst) {
  Scratch scratch;
  std::filesystem::create_directories(scratch / L"a");
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.CreateFolders(Str(scratch / L"a" / L"b" / L"c"));
  EXPECT_FALSE(record.entryOpen());
  ASSERT_EQ(record.entries().size(), 2u);
  EXPECT_EQ(record.entries()[0].text, Str(scratch / L"a" / L"b"));
  EXPECT_EQ(record.entries()[1].text, Str(scratch / L"a" / L"b" / L"c"));
  for (const RecordEntry& entry : record.entries()) {
    EXPECT_EQ(entry.kind, RecordEntryKind::CreatedFolder);
    EXPECT_TRUE(entry.succeeded);
    EXPECT_EQ(entry.tag, -1);
  }
  EXPECT_TRUE(std::filesystem::is_directory(scratch / L"a" / L"b" / L"c"));

  // A folder that cannot be created (a file stands in its way) ends the walk.
  Touch(scratch / L"blocked");
  InstallationRecord blocked(L"Gradivo 7.17a", L"Gradivo 7");
  blocked.CreateFolders(Str(scratch / L"blocked" / L"inner"));
  EXPECT_TRUE(blocked.entries().empty());
}

TEST(InstallationRecord, ExistingFilesAreMovedOrCopiedAsideAndBackupsGoWithTheWrite) {
  Scratch scratch;
  const std::filesystem::path moved = scratch / L"moved.dll";
  const std::filesystem::path copied = scratch / L"copied.ini";
  Touch(moved, "old library");
  Touch(copied, "user settings");
  SetFileAttributesW(moved.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.AddFile(Str(moved), 0, false);
  record.CloseEntry(true);
  record.AddFile(Str(copied), 3, true);
  record.CloseEntry(true);
  ASSERT_EQ(record.entries().size(), 2u);
  const std::wstring movedBackup = record.entries()[0].backupPath;
  const std::wstring copiedBackup = record.entries()[1].backupPath;
  ASSERT_FALSE(movedBackup.empty());
  ASSERT_FALSE(copiedBackup.empty());
  EXPECT_FALSE(std::filesystem::exists(moved));
  EXPECT_EQ(ReadBytes(movedBackup), "old library");
  // Wine reports every regular file as archived; the flags set here are the ones that matter.
  EXPECT_EQ(Attributes(movedBackup) & ~DWORD{FILE_ATTRIBUTE_ARCHIVE}, DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
  EXPECT_EQ(std::filesystem::path(movedBackup).filename().wstring().substr(0, 2), L"kv");
  EXPECT_EQ(ReadBytes(copied), "user settings");
  EXPECT_EQ(ReadBytes(copiedBackup), "user settings");

  // The backups go even when the record file cannot be written.
  EXPECT_FALSE(record.Write(Str(scratch / L"no such folder" / L"Uninstall.ulog"), L"C:\\x", L"C:\\y"));
  EXPECT_FALSE(std::filesystem::exists(movedBackup));
  EXPECT_FALSE(std::filesystem::exists(copiedBackup));
  for (const RecordEntry& entry : record.entries()) EXPECT_TRUE(entry.backupPath.empty());
}

TEST(InstallationRecord, ShortcutOfThePreviousInstallationIsMovedAside) {
  Scratch scratch;
  const std::filesystem::path oldShortcut = scratch / L"old Gradivo.lnk";
  Touch(oldShortcut, "link");
  const std::filesystem::path file = scratch / L"Uninstall.ulog";
  WriteBytes(file, Utf16(RecordText(L"", L"", L"0000:03ff:1 -- C:\\elsewhere.lnk\r\n0001:02ff:1 -- " + Str(oldShortcut) + L"\r\n")));
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.Read(Str(file));
  record.AddShortcut(0, Str(scratch.folder.path()));
  ASSERT_EQ(record.entries().size(), 1u);
  EXPECT_EQ(record.entries()[0].kind, RecordEntryKind::ProgramShortcut);
  EXPECT_FALSE(record.entries()[0].backupPath.empty());
  EXPECT_FALSE(std::filesystem::exists(oldShortcut));
  EXPECT_EQ(ReadBytes(record.entries()[0].backupPath), "link");
  DeleteFileW(record.entries()[0].backupPath.c_str());
}

TEST(InstallationRecord, PreviousInstallationQueries) {
  Scratch scratch;
  const std::filesystem::path file = scratch / L"Uninstall.ulog";
  WriteBytes(file, Utf16(RecordText(L"", L"", L"0000:0103:1 -- C:\\App\\user.lib\r\n"
                                                L"0001:0103:0 -- C:\\App\\failed.lib\r\n"
                                                L"0002:07ff:0 -- DirectX failed\r\n")));
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.Read(Str(file));
  EXPECT_TRUE(record.WasFileInstalled(L"C:\\App\\user.lib"));
  EXPECT_FALSE(record.WasFileInstalled(L"C:\\App\\USER.lib")) << "letter case counts";
  EXPECT_FALSE(record.WasFileInstalled(L"C:\\App\\failed.lib"));
  EXPECT_FALSE(record.HasDirectXRuntime());

  WriteBytes(file, Utf16(RecordText(L"", L"", L"0000:07ff:0 -- failed\r\n0001:07ff:1 -- done\r\n")));
  InstallationRecord second(L"Gradivo 7.17a", L"Gradivo 7");
  second.Read(Str(file));
  EXPECT_TRUE(second.HasDirectXRuntime());
}

}  // namespace
