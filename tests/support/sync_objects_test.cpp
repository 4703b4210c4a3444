// Named mutexes and the instance counter, shared with peer processes (support_peer.exe) as the
// installer shares them with its other copies and with the product.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <thread>

#include "common/peer_process.h"
#include "support/handles.h"
#include "support/security_functions.h"
#include "support/sync_objects.h"

namespace {

using kv::details::security_entry_override;
using kv::details::security_function;

std::wstring dacl_of_object(HANDLE object) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return L"<unreadable>";
  const kv::unique_hlocal owner(descriptor);
  wchar_t* text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                       nullptr);
  const kv::unique_hlocal textOwner(text);
  return text ? text : L"<none>";
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(GlobalObjects, CreatedInTheMachineNamespaceForEveryone) {
  const struct {
    const char* what;
    kv::unique_handle (*create)(const std::wstring&);
    HANDLE (*open)(const std::wstring&);
    const wchar_t* dacl;
  } cases[] = {
      {"mutex", [](const std::wstring& name) { return kv::create_global_mutex(false, name); },
       [](const std::wstring& name) { return OpenMutexW(SYNCHRONIZE, FALSE, (L"Global\\" + name).c_str()); },
       L"D:(A;;0x1f0001;;;WD)"},
      {"semaphore", [](const std::wstring& name) { return kv::create_global_semaphore(0, 5, name); },
       [](const std::wstring& name) { return OpenSemaphoreW(SYNCHRONIZE, FALSE, (L"Global\\" + name).c_str()); },
       L"D:(A;;0x1f0003;;;WD)"},
  };
  for (const auto& c : cases) {
    const std::wstring name = test::unique_object_name(L"GradivoTest.Global");
    SetLastError(ERROR_INVALID_FUNCTION);
    const kv::unique_handle first = c.create(name);
    ASSERT_TRUE(first) << c.what;
    EXPECT_EQ(GetLastError(), 0u) << c.what << ": created";
    const kv::unique_handle second = c.create(name);
    ASSERT_TRUE(second) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << c.what << ": opened";
    const kv::unique_handle opened(c.open(name));
    EXPECT_TRUE(opened) << c.what << ": found under Global\\";

    // The DACL in the SDDL spelling of the system: one entry, Everyone with full access.
    PSECURITY_DESCRIPTOR expected = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(c.dacl, SDDL_REVISION_1, &expected, nullptr);
    const kv::unique_hlocal expectedOwner(expected);
    wchar_t* expectedText = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(expected, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                         &expectedText, nullptr);
    const kv::unique_hlocal expectedTextOwner(expectedText);
    EXPECT_EQ(narrow(dacl_of_object(first.get())), narrow(expectedText)) << c.what;
  }
}

TEST(GlobalObjects, NothingIsCreatedWithoutTheAccessList) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.NoDescriptor");
  const security_entry_override missing(security_function::allocate_and_initialize_sid, nullptr);

  const kv::unique_handle semaphore = kv::create_global_semaphore(0, 5, name);
  EXPECT_FALSE(semaphore);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE));
  const kv::unique_handle mutex = kv::create_global_mutex(true, name);
  EXPECT_FALSE(mutex);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CAN_NOT_COMPLETE));
  EXPECT_EQ(OpenSemaphoreW(SYNCHRONIZE, FALSE, (L"Global\\" + name).c_str()), nullptr);

  kv::named_mutex holder(name, false, true);
  EXPECT_EQ(holder.handle(), nullptr);
  EXPECT_FALSE(holder.try_lock());
  EXPECT_FALSE(holder.owned());

  const kv::instance_counter counter(name);
  EXPECT_EQ(counter.held(), 0);
  EXPECT_EQ(counter.count(), 0u);
}

TEST(NamedMutex, ASecondCopyFailsAtOnceWhileTheFirstOwnsIt) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.Mutex");
  kv::named_mutex first(name, false, true);
  EXPECT_FALSE(first.owned()) << "not acquired at creation";
  EXPECT_EQ(test::run_peer(L"try-lock", name), 1u) << "free before the first copy locks it";
  ASSERT_TRUE(first.try_lock());
  EXPECT_TRUE(first.owned());
  EXPECT_EQ(test::run_peer(L"try-lock", name), 0u);
  first.release();
  EXPECT_FALSE(first.owned());
  EXPECT_EQ(test::run_peer(L"try-lock", name), 1u) << "free again after the release";
}

TEST(NamedMutex, TheFirstCopyLocksAfterASecondOpenedIt) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.Mutex");
  kv::named_mutex first(name, false, true);
  test::peer_process second(L"open", name);
  ASSERT_TRUE(second.wait_ready());
  EXPECT_TRUE(first.try_lock());
  EXPECT_EQ(second.finish(), 0u);
}

TEST(NamedMutex, OwnedByAnotherProcess) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.Mutex");
  test::peer_process owner(L"lock", name);
  ASSERT_TRUE(owner.wait_ready());
  kv::named_mutex second(name, false, true);
  EXPECT_FALSE(second.try_lock());
  EXPECT_FALSE(second.owned());
  EXPECT_EQ(owner.finish(), 1u) << "the peer owned the mutex";
  EXPECT_TRUE(second.try_lock()) << "released when its owner ended";
}

TEST(NamedMutex, AnAbandonedMutexCountsAsTaken) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.Mutex");
  kv::named_mutex holder(name, false, true);
  ASSERT_EQ(test::run_peer(L"abandon", name), 3u) << "the peer ended while owning the mutex";
  EXPECT_TRUE(holder.try_lock());
  EXPECT_TRUE(holder.owned());
}

TEST(NamedMutex, InitialOwnerWaitsForTheOwner) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.Mutex");
  test::peer_process owner(L"lock", name);
  ASSERT_TRUE(owner.wait_ready());
  bool owned = false;
  std::thread waiter([&] {
    kv::named_mutex holder(name, true, true);
    owned = holder.owned();
  });
  EXPECT_EQ(owner.finish(), 1u);
  waiter.join();
  EXPECT_TRUE(owned);
}

TEST(NamedMutex, OneReleaseFreesAfterRepeatedLocks) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.Mutex");
  kv::named_mutex holder(name, false, true);
  ASSERT_TRUE(holder.try_lock());
  ASSERT_TRUE(holder.try_lock());
  holder.release();
  EXPECT_EQ(test::run_peer(L"try-lock", name), 1u);
}

TEST(NamedMutex, DestructionReleases) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.Mutex");
  kv::named_mutex keeper(name, false, true);  // keeps the object alive, never owns it
  {
    kv::named_mutex holder(name, true, true);
    ASSERT_TRUE(holder.owned());
    EXPECT_EQ(test::run_peer(L"try-lock", name), 0u);
  }
  EXPECT_EQ(test::run_peer(L"try-lock", name), 1u);
}

TEST(NamedMutex, SessionNamespace) {
  const std::wstring name = test::unique_object_name(L"GradivoTest.LocalMutex");
  kv::named_mutex holder(name, true, false);
  EXPECT_TRUE(holder.owned());
  const kv::unique_handle opened(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  EXPECT_TRUE(opened) << "created under the name as given";
}

TEST(InstanceCounter, EachCounterAddsOne) {
  const std::wstring id = test::unique_object_name(L"GradivoTest.Counter");
  const kv::instance_counter first(id);
  EXPECT_EQ(first.held(), 1);
  EXPECT_EQ(first.count(), 1u);
  EXPECT_EQ(first.count(), 1u) << "counting leaves the count as it was";
  {
    const kv::instance_counter second(id);
    EXPECT_EQ(first.count(), 2u);
    EXPECT_EQ(second.count(), 2u);
  }
  EXPECT_EQ(first.count(), 1u) << "a counter takes its count back";

  const kv::unique_handle semaphore(
      OpenSemaphoreW(SYNCHRONIZE, FALSE, (L"Global\\" + id + kv::instance_semaphore_suffix).c_str()));
  EXPECT_TRUE(semaphore) << "the semaphore's name";
}

// Two copies started one after the other: the second counts 2 while the first runs, 1 after it ended.
TEST(InstanceCounter, CopiesInOtherProcesses) {
  const std::wstring id = test::unique_object_name(L"GradivoTest.Copies");
  test::peer_process first(L"join", id);
  ASSERT_TRUE(first.wait_ready());
  EXPECT_EQ(test::run_peer(L"count", id), 2u);
  EXPECT_EQ(first.finish(), 0u);
  EXPECT_EQ(test::run_peer(L"count", id), 1u);
}

TEST(InstanceCounter, ThisProcessJoinsOnce) {
  EXPECT_EQ(kv::instance_count(), 0u) << "not counted before joining";
  const std::wstring id = test::unique_object_name(L"GradivoTest.Process");
  kv::join_instance_counter(id);
  EXPECT_EQ(kv::instance_count(), 1u);
  kv::join_instance_counter(test::unique_object_name(L"GradivoTest.Other"));
  test::peer_process peer(L"join", id);
  ASSERT_TRUE(peer.wait_ready());
  EXPECT_EQ(kv::instance_count(), 2u) << "still the first application";
  EXPECT_EQ(peer.finish(), 0u);
  EXPECT_EQ(kv::instance_count(), 1u);
}

}  // namespace
