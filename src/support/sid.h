#pragma once
// Security identifiers of the accounts and groups the installer names in access lists and checks.

#include <windows.h>

namespace kv {

// The identifiers a kv::sid can be built for.
enum class well_known_sid : int {
  everyone = 0,              // S-1-1-0
  administrators = 1,        // S-1-5-32-544
  users = 2,                 // S-1-5-32-545
  authenticated_users = 3,   // S-1-5-11
  current_user_by_name = 4,  // the logged-on account, looked up by its name
  current_user = 5,          // the user of the current thread's token (else the process's)
};

// Owns one SID. The groups come from AllocateAndInitializeSid and are released with FreeSid; the
// users' SIDs are copied into a heap block of their own. Construction throws the HRESULT of the
// failing security function (security_functions.h) after releasing what it allocated; an account
// name that does not resolve to a user account throws E_UNEXPECTED.
class sid {
 public:
  explicit sid(well_known_sid which);
  ~sid();
  sid(sid&& other) noexcept;
  sid& operator=(sid&& other) noexcept;
  sid(const sid&) = delete;
  sid& operator=(const sid&) = delete;

  // The SID, owned by this object.
  PSID get() const noexcept { return sid_; }
  // Its length in bytes (GetLengthSid).
  DWORD length() const;

 private:
  void free() noexcept;

  PSID sid_ = nullptr;
  bool from_system_ = false;  // allocated by AllocateAndInitializeSid, else a LocalAlloc block
};

}  // namespace kv
