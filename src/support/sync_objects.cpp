#include "support/sync_objects.h"

#include <optional>

#include "support/security.h"
#include "support/security_functions.h"

namespace kv {

namespace {

constexpr LONG maximum_instances = 0x7FFFFFFF;

// Creates a named object in the machine-wide namespace, protected by an access list that gives
// Everyone fullAccess; create receives the security attributes and the full name. The last error
// after the call is create's, or ERROR_CAN_NOT_COMPLETE when the access list cannot be built.
template <typename Create>
unique_handle create_global_object(DWORD fullAccess, const std::wstring& name, Create create) {
  const std::wstring fullName = L"Global\\" + name;
  try {
    unique_acl dacl = everyone_dacl(fullAccess);
    unique_security_descriptor descriptor = advapi::initialize_security_descriptor();
    advapi::set_security_descriptor_dacl(descriptor.get(), dacl.get());
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    unique_handle object(create(&attributes, fullName.c_str()));
    const DWORD error = GetLastError();
    descriptor.reset();
    dacl.reset();
    SetLastError(error);
    return object;
  } catch (HRESULT) {
    SetLastError(ERROR_CAN_NOT_COMPLETE);
    return unique_handle();
  }
}

bool acquired(DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED; }

std::optional<instance_counter>& process_instance_counter() {
  static std::optional<instance_counter> counter;
  return counter;
}

}  // namespace

unique_handle create_global_mutex(bool initialOwner, const std::wstring& name) {
  return create_global_object(MUTEX_ALL_ACCESS, name, [&](SECURITY_ATTRIBUTES* attributes, const wchar_t* fullName) {
    return CreateMutexW(attributes, initialOwner, fullName);
  });
}

unique_handle create_global_semaphore(LONG initialCount, LONG maximumCount, const std::wstring& name) {
  return create_global_object(SEMAPHORE_ALL_ACCESS, name,
                              [&](SECURITY_ATTRIBUTES* attributes, const wchar_t* fullName) {
                                return CreateSemaphoreW(attributes, initialCount, maximumCount, fullName);
                              });
}

named_mutex::named_mutex(const std::wstring& name, bool initialOwner, bool machineWide) {
  if (machineWide)
    handle_ = create_global_mutex(initialOwner, name);
  else
    handle_.reset(CreateMutexW(nullptr, initialOwner, name.empty() ? nullptr : name.c_str()));
  if (handle_ && initialOwner && GetLastError() == ERROR_ALREADY_EXISTS)
    owned_ = acquired(WaitForSingleObject(handle_.get(), INFINITE));
  else
    owned_ = handle_ && initialOwner;
}

named_mutex::~named_mutex() {
  if (handle_ && owned_) ReleaseMutex(handle_.get());
}

bool named_mutex::try_lock() {
  // A second wait by the owner would count the mutex twice, and one release would not free it.
  if (owned_) return true;
  owned_ = handle_ && acquired(WaitForSingleObject(handle_.get(), 0));
  return owned_;
}

void named_mutex::release() {
  if (handle_) ReleaseMutex(handle_.get());
  owned_ = false;
}

instance_counter::instance_counter(const std::wstring& applicationId)
    : semaphore_(create_global_semaphore(0, maximum_instances, applicationId + instance_semaphore_suffix)) {
  if (semaphore_ && ReleaseSemaphore(semaphore_.get(), 1, nullptr)) held_ = 1;
}

instance_counter::~instance_counter() {
  if (!semaphore_) return;
  if (held_ > 0) {
    std::int32_t taken = 0;
    while (taken < held_ && WaitForSingleObject(semaphore_.get(), 0) == WAIT_OBJECT_0) ++taken;
    if (taken < held_) {
      if (taken > 0) ReleaseSemaphore(semaphore_.get(), taken, nullptr);
    } else {
      held_ = 0;
    }
  } else if (held_ < 0) {
    if (ReleaseSemaphore(semaphore_.get(), -held_, nullptr)) held_ = 0;
  }
}

std::uint32_t instance_counter::count() const {
  LONG previous = 0;
  if (!semaphore_ || !ReleaseSemaphore(semaphore_.get(), 1, &previous)) return 0;
  WaitForSingleObject(semaphore_.get(), 0);
  return static_cast<std::uint32_t>(previous);
}

void join_instance_counter(const std::wstring& applicationId) {
  std::optional<instance_counter>& counter = process_instance_counter();
  if (!counter) counter.emplace(applicationId);
}

std::uint32_t instance_count() {
  const std::optional<instance_counter>& counter = process_instance_counter();
  return counter ? counter->count() : 0;
}

}  // namespace kv
