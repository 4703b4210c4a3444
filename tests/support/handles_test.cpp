#include <gtest/gtest.h>

#include "support/handles.h"

namespace {

TEST(UniqueResource, ClosesOnResetAndKeepsLastError) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  kv::unique_handle owner(event);
  SetLastError(ERROR_FILE_NOT_FOUND);
  owner.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(owner);
  // The handle is gone: waiting on it fails.
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
}

TEST(UniqueResource, FileHandleInvalidValue) {
  kv::unique_file file(CreateFileW(L"Z:\\no\\such\\folder\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
  EXPECT_FALSE(file);
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
}

TEST(UniqueResource, MoveTransfersOwnership) {
  kv::unique_handle a(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE raw = a.get();
  kv::unique_handle b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.get(), raw);
  EXPECT_EQ(WaitForSingleObject(raw, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
