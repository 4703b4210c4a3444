#pragma once
// Named kernel objects that running copies of the installer, and of the product it installs, share
// across processes and logons: a mutex that one copy at a time may own, and a semaphore whose
// count tells how many copies are running. The names are formed from an application identifier
// and the fixed suffixes below, so every program that uses the same identifier takes part.

#include <windows.h>

#include <cstdint>
#include <string>

#include "support/handles.h"

namespace kv {

// Appended to the application identifier: the name of the single-instance mutex.
inline constexpr wchar_t instance_mutex_suffix[] = L".{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
// Appended to the application identifier: the name of the instance-count semaphore.
inline constexpr wchar_t instance_semaphore_suffix[] = L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}";

// Creates or opens the mutex "Global\" + name, with an access list that gives Everyone full
// access. Null on failure. The last error is that of CreateMutexW (ERROR_ALREADY_EXISTS tells
// that the mutex existed), or ERROR_CAN_NOT_COMPLETE when the access list could not be built.
unique_handle create_global_mutex(bool initialOwner, const std::wstring& name);

// Creates or opens the semaphore "Global\" + name, as create_global_mutex does; the last error is
// that of CreateSemaphoreW, or ERROR_CAN_NOT_COMPLETE.
unique_handle create_global_semaphore(LONG initialCount, LONG maximumCount, const std::wstring& name);

// Owns one named mutex and, after a successful lock, its ownership.
class named_mutex {
 public:
  // Creates or opens the mutex: machine-wide through create_global_mutex, else under name as it
  // is with default security. With initialOwner the holder owns the mutex on return, waiting for
  // it (without time-out) when another holder owns it. A failed creation leaves a holder without
  // a mutex, whose locks fail.
  named_mutex(const std::wstring& name, bool initialOwner, bool machineWide);
  // Releases the mutex if this holder owns it and closes it.
  ~named_mutex();
  named_mutex(const named_mutex&) = delete;
  named_mutex& operator=(const named_mutex&) = delete;

  // Takes the mutex without waiting. True when the holder owns it now: it was free, or it was
  // left abandoned by a thread or process that ended while owning it. A holder that already owns
  // the mutex keeps it without taking it a second time.
  bool try_lock();
  // Gives up the ownership (ReleaseMutex), so another copy may take the mutex.
  void release();

  bool owned() const noexcept { return owned_; }
  // The mutex handle, null when creation failed.
  HANDLE handle() const noexcept { return handle_.get(); }

 private:
  unique_handle handle_;
  bool owned_ = false;
};

// One process's share of the running copies of an application: a count added to the semaphore
// "Global\" + applicationId + instance_semaphore_suffix for as long as the object lives.
class instance_counter {
 public:
  // Creates or opens the semaphore (initial count 0, maximum 0x7FFFFFFF) and adds one count.
  explicit instance_counter(const std::wstring& applicationId);
  // Takes back the counts this object added. If they cannot all be taken back, the ones taken are
  // given back and the count stays as it was.
  ~instance_counter();
  instance_counter(const instance_counter&) = delete;
  instance_counter& operator=(const instance_counter&) = delete;

  // The number of counts in the semaphore now: the copies running, this one included. 0 without
  // a semaphore, or when the count cannot be read.
  std::uint32_t count() const;
  // The counts this object has added and not taken back.
  std::int32_t held() const noexcept { return held_; }

 private:
  unique_handle semaphore_;
  std::int32_t held_ = 0;
};

// Counts this process among the running copies of applicationId until it exits: the first call
// creates the process's instance counter; later calls change nothing.
void join_instance_counter(const std::wstring& applicationId);

// The number of running copies of the application this process joined, this one included; 0
// when the process has not joined or its semaphore could not be created.
std::uint32_t instance_count();

}  // namespace kv
