// A drive that fills up while the payload is placed: wine-scenario.sh gives each test a machine of
// its own with a small drive (GRADIVO_SCENARIO_TINY_DRIVE), named in GRADIVO_TINY_DRIVE. The
// extraction fails with the system's disk-full code, and the installation run shows that code and
// leaves the machine as it found it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <fstream>
#include <string>
#include <vector>

#include "engine/payload_archive.h"
#include "faults/extraction_run.h"
#include "faults/install_page_run.h"
#include "faults/sample_archive.h"
#include "support/encoding.h"
#include "support/handles.h"
#include "support/memory_stream.h"

namespace faults {
namespace {

// Disk full, as the system reports it for a write or for the file's last flush.
bool IsDiskFull(const std::error_code& code) {
  return code.category() == std::system_category() &&
         (code.value() == ERROR_DISK_FULL || code.value() == ERROR_HANDLE_DISK_FULL);
}

std::uint64_t Pages(std::uint64_t size) { return (size + 4095) / 4096 * 4096; }

class DiskFull : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t drive[8] = {};
    const DWORD length = GetEnvironmentVariableW(L"GRADIVO_TINY_DRIVE", drive, 8);
    if (length == 0 || length >= 8) GTEST_SKIP() << "no small drive: wine-scenario.sh could not mount one here";
    drive_ = drive;
    ASSERT_TRUE(Names(root()).empty()) << "the small drive is not empty";
  }

  std::filesystem::path root() const { return drive_ + L"\\"; }

  std::uint64_t FreeBytes() const {
    ULARGE_INTEGER free{}, total{}, totalFree{};
    GetDiskFreeSpaceExW(root().c_str(), &free, &total, &totalFree);
    return free.QuadPart;
  }

  // Fills the drive with one file of the test's own so that room bytes stay free.
  void FillLeaving(std::uint64_t room) {
    ASSERT_GT(FreeBytes(), room);
    const std::uint64_t size = (FreeBytes() - room) / 4096 * 4096;
    std::ofstream filler(root() / L"filler", std::ios::binary);
    const std::string block(4096, '\0');
    for (std::uint64_t written = 0; written < size; written += block.size()) filler.write(block.data(), block.size());
    filler.close();
    ASSERT_TRUE(filler) << "could not fill the drive";
  }

  // The names in a folder, sorted. Read with FindFirstFileW: a drive's empty root has no entry at
  // all, not even "." and "..", which std::filesystem's iterator here takes for a missing folder.
  static std::vector<std::wstring> Names(const std::filesystem::path& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder / L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << folder.string();
      return names;
    }
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
  }

  // The installation run into the small drive's installation folder; the drive's room is the
  // payload's files up to the given one, whose writing then fails halfway.
  void RunInstallationFailingAt(InstallPageRun& run, const std::vector<PayloadEntry>& entries, std::size_t failing) {
    run.options().installFolder = drive_ + L"\\Gradivo 7";
    std::uint64_t room = Pages(entries[failing].size) / 2 / 4096 * 4096;
    for (std::size_t i = 0; i < failing; ++i)
      if (OnTheDrive(entries[i])) room += Pages(entries[i].size);
    ASSERT_NO_FATAL_FAILURE(FillLeaving(room));
    ASSERT_TRUE(run.Open());
    EXPECT_FALSE(run.DoInstall());
    const std::wstring status = run.Status();
    EXPECT_TRUE(status == L"Installation failed (Error Code 1:00000070)." ||
                status == L"Installation failed (Error Code 1:00000027).")
        << kv::wide_to_utf8(status);
    // The log ends with the failing file's line.
    const std::wstring log = run.Log();
    const std::wstring last = LastLogLine(log);
    EXPECT_NE(last.find(SourceFileName(entries[failing])), std::wstring::npos) << kv::wide_to_utf8(last);
    EXPECT_TRUE(last.size() >= 11 && last.compare(last.size() - 11, 11, L"...Failed\r\n") == 0) << kv::wide_to_utf8(last);
    EXPECT_EQ(PlacedFileLines(log), static_cast<int>(failing)) << "every earlier file was placed";
    ExpectNoTraceOfTheProduct(run);
  }

  // Whether an entry's file goes to the small drive: the installation folder's, and the
  // temporary ones while the user's temporary folder is there.
  bool OnTheDrive(const PayloadEntry& entry) const {
    return entry.destination.rfind(L"<InstallPath>", 0) == 0 ||
           (temporaryOnTheDrive_ && entry.kind == TemporaryFileKind);
  }

  std::wstring drive_;
  bool temporaryOnTheDrive_ = false;
};

TEST_F(DiskFull, ExtractionFailsWithTheDiskFullCodeAndItsRollbackEmptiesTheDrive) {
  ExtractionRun run(root());
  ASSERT_TRUE(run.redirected());
  kv::basic_imemstream payload = kv::load_resource_stream(MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134));
  ASSERT_GT(payload.contents().size(), 0u);
  const ExtractionOutcome outcome = run.Extract(payload);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_TRUE(IsDiskFull(outcome.failure)) << outcome.failure.category().name() << " " << outcome.failure.value();
  std::cout << "disk full: " << outcome.failure.category().name() << " " << outcome.failure.value() << " after "
            << outcome.ended << " files, at " << kv::wide_to_utf8(outcome.failurePath) << std::endl;
  EXPECT_GT(outcome.ended, 0u) << "files were placed before the drive filled";
  ASSERT_FALSE(outcome.begun.empty());
  EXPECT_EQ(outcome.failurePath, outcome.begun.back().path);
  EXPECT_TRUE(run.StrangersInRoot().empty());
  run.Finish();
  const std::vector<std::wstring> left = run.EverythingBelowRoot();
  EXPECT_TRUE(left.empty()) << kv::wide_to_utf8(left.front());
}

// The installation folder on the small drive: the run fails on a file of the installation folder
// after the ones before it, shows the disk-full code and rolls every change back.
TEST_F(DiskFull, InstallationFolderOnAFullDriveFailsTheRunWhichLeavesNothing) {
  const std::vector<PayloadEntry> entries = ReadEntries(LinkedPayload());
  std::size_t failing = 0;
  for (std::size_t i = 0, seen = 0; i < entries.size(); ++i)
    if (OnTheDrive(entries[i]) && ++seen == 5) failing = i;
  ASSERT_GT(failing, 0u);
  InstallPageRun run;
  ASSERT_NO_FATAL_FAILURE(RunInstallationFailingAt(run, entries, failing));
  EXPECT_EQ(Names(root()), std::vector<std::wstring>{L"filler"});
}

// The user's temporary folder on the small drive too: the run fails on the largest of the files it
// writes there for its own use, after almost every file of the payload has been placed on both
// drives, and rolls all of them back.
TEST_F(DiskFull, TemporaryFolderOnAFullDriveFailsTheRunLateWhichLeavesNothing) {
  const std::filesystem::path temporary = root() / L"Temp";
  std::filesystem::create_directories(temporary);
  SetEnvironmentVariableW(L"TMP", (temporary.wstring() + L"\\").c_str());
  SetEnvironmentVariableW(L"TEMP", (temporary.wstring() + L"\\").c_str());
  temporaryOnTheDrive_ = true;
  const std::vector<PayloadEntry> entries = ReadEntries(LinkedPayload());
  std::size_t failing = 0;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].kind == TemporaryFileKind && (failing == 0 || entries[i].size > entries[failing].size)) failing = i;
  ASSERT_GT(failing, 0u);
  InstallPageRun run;
  ASSERT_NO_FATAL_FAILURE(RunInstallationFailingAt(run, entries, failing));
  EXPECT_EQ(Names(root()), (std::vector<std::wstring>{L"Temp", L"filler"}));
  EXPECT_TRUE(Names(temporary).empty()) << "no backup and no temporary file is left";
}

}  // namespace
}  // namespace faults
