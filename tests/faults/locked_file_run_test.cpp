// Installation runs that meet a file another program holds (support_peer.exe), each on a machine
// of its own (wine-scenario.sh): one held without any sharing where a file is to be placed, and
// one that another program keeps from being read right after the run has written it, as a virus
// scanner may, for a moment or for longer than the run waits.
#include <gtest/gtest.h>

#include <windows.h>

#include <share.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/peer_process.h"
#include "common/test_environment.h"
#include "faults/extraction_run.h"
#include "faults/install_page_run.h"
#include "faults/sample_archive.h"
#include "support/encoding.h"

namespace faults {
namespace {

std::string Content(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file and folder below folder, relative to it, sorted.
std::vector<std::wstring> Below(const std::filesystem::path& folder) {
  std::vector<std::wstring> items;
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
    items.push_back(std::filesystem::relative(item.path(), folder).wstring());
  std::sort(items.begin(), items.end());
  return items;
}

// Backup files ("kv" temporary names) in the user's temporary folder.
int BackupFiles() {
  int count = 0;
  for (const auto& item : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
    if (item.path().filename().wstring().rfind(L"kv", 0) == 0) ++count;
  return count;
}

// Whether reading the file is refused because another process holds it, as FileCrc32 reads.
bool ReadingIsRefused(const std::filesystem::path& path) {
  std::FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
  if (file) std::fclose(file);
  return !file && _doserrno == ERROR_SHARING_VIOLATION;
}

// The installation run into a fresh installation folder whose Lang folder exists, so that another
// program can hold one of the language libraries there before the run begins.
class HeldFileRun : public testing::Test {
 protected:
  void SetUp() override {
    run_.options().installFolder = install_.wstring();
    std::filesystem::create_directories(lang_);
    ASSERT_EQ(BackupFiles(), 0);
    entry_ = EntryNamed(L"Gradivo.hu.dll");
    ASSERT_GT(entry_.size, 0u);
  }

  static PayloadEntry EntryNamed(const std::wstring& name) {
    for (const PayloadEntry& entry : ReadEntries(LinkedPayload()))
      if (SourceFileName(entry) == name) return entry;
    return {};
  }

  test::scratch_folder scratch_;
  const std::filesystem::path install_ = scratch_.path() / L"Gradivo 7";
  const std::filesystem::path lang_ = install_ / L"Lang";
  const std::filesystem::path held_ = lang_ / L"Gradivo.hu.dll";
  PayloadEntry entry_;
  InstallPageRun run_;
};

// The placement of the held file fails with the sharing violation: the run shows its code and puts
// back everything it placed before, the earlier versions it had moved aside byte for byte.
TEST_F(HeldFileRun, AFileHeldWithoutSharingFailsTheRunWhichPutsBackWhatItReplaced) {
  std::ofstream(install_ / L"Gradivo.exe", std::ios::binary) << "the earlier product";
  SetFileAttributesW((install_ / L"Gradivo.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  std::ofstream(lang_ / L"Gradivo.fr.dll", std::ios::binary) << "the earlier French library";
  std::ofstream(held_, std::ios::binary) << "held by another program";
  test::peer_process peer(L"hold-file", held_.wstring());
  ASSERT_TRUE(peer.wait_ready()) << "the peer could not hold the file";

  ASSERT_TRUE(run_.Open());
  EXPECT_FALSE(run_.DoInstall());
  EXPECT_EQ(peer.finish(), 0u);

  EXPECT_EQ(run_.Status(), L"Installation failed (Error Code 1:00000020).");
  EXPECT_EQ(LastLogLine(run_.Log()), L"Copying File  \"" + held_.wstring() + L"\"...Failed\r\n");
  EXPECT_GT(PlacedFileLines(run_.Log()), 2) << "files were placed before";
  EXPECT_EQ(Content(install_ / L"Gradivo.exe"), "the earlier product");
  EXPECT_EQ(GetFileAttributesW((install_ / L"Gradivo.exe").c_str()) & FILE_ATTRIBUTE_READONLY,
            DWORD{FILE_ATTRIBUTE_READONLY});
  EXPECT_EQ(Content(lang_ / L"Gradivo.fr.dll"), "the earlier French library");
  EXPECT_EQ(Content(held_), "held by another program");
  EXPECT_EQ(Below(install_), (std::vector<std::wstring>{L"Gradivo.exe", L"Lang", L"Lang\\Gradivo.fr.dll",
                                                         L"Lang\\Gradivo.hu.dll"}));
  EXPECT_EQ(BackupFiles(), 0) << "no backup is left behind";
  ExpectNoTraceOfTheProduct(run_);
}

// The other program lets the file go half a second after the run has written it, while FileCrc32
// waits a second between its tries: the next try reads it, and the run succeeds.
TEST_F(HeldFileRun, AFileUnreadableForAMomentAfterItIsWrittenIsReadAndTheRunSucceeds) {
  test::peer_process peer(L"hold-unreadable", held_.wstring());
  ASSERT_TRUE(peer.wait_ready()) << "the peer could not hold the file";
  // Watches the file from a thread of the test: once the run has written it (it has the entry's
  // size), the run reads it back at once and is refused; the peer is told to let it go later.
  std::atomic<bool> refusedAtReadBack{false};
  std::thread watcher([&] {
    for (int wait = 0; wait < 12000; ++wait) {
      std::error_code ignored;
      if (std::filesystem::file_size(held_, ignored) == entry_.size) {
        refusedAtReadBack = ReadingIsRefused(held_);
        Sleep(500);
        break;
      }
      Sleep(10);
    }
    peer.finish();
  });

  ASSERT_TRUE(run_.Open());
  const bool installed = run_.DoInstall();
  watcher.join();
  EXPECT_TRUE(installed) << kv::wide_to_utf8(run_.Status());
  EXPECT_TRUE(refusedAtReadBack) << "the file was not held when the run read it back";
  EXPECT_EQ(run_.Status(), L"Click on 'Next' to continue.");
  EXPECT_NE(run_.Log().find(L"Gradivo.hu.dll\"...OK\r\n"), std::wstring::npos);
  std::uint64_t size = 0;
  EXPECT_EQ(FileContentCrc(held_, size), entry_.crc);
  EXPECT_EQ(size, entry_.size);
  EXPECT_TRUE(std::filesystem::exists(install_ / L"Uninstall.ulog"));
}

// The other program keeps the file unreadable past the three retries: the run fails with the
// sharing violation and rolls back. The held file itself stays: it was the other program's, which
// it neither let the run move aside nor delete.
TEST_F(HeldFileRun, AFileUnreadablePastTheRetriesFailsTheRunWhichRollsBack) {
  test::peer_process peer(L"hold-unreadable", held_.wstring());
  ASSERT_TRUE(peer.wait_ready()) << "the peer could not hold the file";
  ASSERT_TRUE(run_.Open());
  EXPECT_FALSE(run_.DoInstall());
  EXPECT_EQ(peer.finish(), 0u);

  EXPECT_EQ(run_.Status(), L"Installation failed (Error Code 1:00000020).");
  EXPECT_EQ(LastLogLine(run_.Log()), L"Copying File  \"" + held_.wstring() + L"\"...Failed\r\n");
  EXPECT_EQ(Below(install_), (std::vector<std::wstring>{L"Lang", L"Lang\\Gradivo.hu.dll"}));
  EXPECT_EQ(BackupFiles(), 0) << "no backup is left behind";
  ExpectNoTraceOfTheProduct(run_);
}

}  // namespace
}  // namespace faults
