// FileCrc32 reading back a file that another process holds without letting others read it: it
// tries again three times, a second apart, and then passes the sharing violation on.
#include <gtest/gtest.h>

#include <windows.h>

#include <share.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "archive_writer.h"
#include "common/peer_process.h"
#include "common/test_environment.h"
#include "engine/payload_extractor.h"

namespace {

// A file that support_peer holds open sharing nothing, until the test lets it go.
class HeldFile : public testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(path_, std::ios::binary) << content_;
    ASSERT_TRUE(peer_.started()) << peer_.start_error();
    ASSERT_TRUE(peer_.wait_ready()) << "the peer could not open the file";
    // The first reading is refused as FileCrc32's will be.
    std::FILE* file = _wfsopen(path_.c_str(), L"rb", _SH_DENYWR);
    ASSERT_EQ(file, nullptr);
    ASSERT_EQ(_doserrno, static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
  }

  // Tells the peer to let the file go delayMs after the call, from a thread of the test, while the
  // test's own thread is inside FileCrc32.
  std::thread ReleaseAfter(DWORD delayMs) {
    return std::thread([this, delayMs] {
      Sleep(delayMs);
      peerExit_ = peer_.finish();
    });
  }

  test::scratch_folder scratch_;
  const std::filesystem::path path_ = scratch_.path() / L"held.dat";
  const std::string content_ = "a file held by another program";
  test::peer_process peer_{L"hold-file", path_.wstring()};
  DWORD peerExit_ = test::peer_failed;
};

// Released half a second before the third retry: that retry reads it.
TEST_F(HeldFile, ReleasedBeforeTheThirdRetryIsRead) {
  std::thread release = ReleaseAfter(2500);
  std::uint32_t crc = 0;
  EXPECT_NO_THROW(crc = FileCrc32(path_.wstring()));
  release.join();
  EXPECT_EQ(crc, PayloadCrc32(content_));
  EXPECT_EQ(peerExit_, 0u);
}

// Released half a second after the third retry: there is no fourth, the sharing violation is
// what the extraction reports.
TEST_F(HeldFile, HeldPastTheThirdRetryFailsWithTheSharingViolation) {
  std::thread release = ReleaseAfter(3500);
  std::error_code failure;
  try {
    FileCrc32(path_.wstring());
    ADD_FAILURE() << "the held file was read";
  } catch (const std::ios_base::failure&) {
    failure = ClassifyPayloadFailure(std::current_exception());
  }
  release.join();
  EXPECT_EQ(failure, std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
  EXPECT_EQ(peerExit_, 0u);
}

}  // namespace
