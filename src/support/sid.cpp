#include "support/sid.h"

#define SECURITY_WIN32
#include <secext.h>

#include <string>
#include <utility>
#include <vector>

#include "support/handles.h"
#include "support/security_functions.h"

namespace kv {

namespace {

constexpr SID_IDENTIFIER_AUTHORITY world_authority = SECURITY_WORLD_SID_AUTHORITY;
constexpr SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;

// A copy of source in a new LocalAlloc block.
unique_hlocal copy_to_heap(PSID source) {
  const DWORD length = advapi::get_length_sid(source);
  unique_hlocal copy(LocalAlloc(LPTR, length));
  if (!copy) throw E_OUTOFMEMORY;
  advapi::copy_sid(length, copy.get(), source);
  return copy;
}

// The user SID of the current thread's token, or of the process's when the thread has none.
unique_hlocal current_user_sid() {
  const unique_handle token = advapi::open_thread_token(GetCurrentThread(), true);
  DWORD needed = 0;
  advapi::get_token_information(token.get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  advapi::get_token_information(token.get(), buffer.data(), needed, &needed);
  return copy_to_heap(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// The logged-on account's name in the form "DOMAIN\user".
std::wstring logged_on_account_name() {
  ULONG length = 0;
  GetUserNameExW(NameSamCompatible, nullptr, &length);
  if (length == 0) throw hresult_from_error(GetLastError());
  std::wstring name(length, L'\0');
  if (!GetUserNameExW(NameSamCompatible, name.data(), &length)) throw hresult_from_error(GetLastError());
  name.resize(length);
  return name;
}

// The SID of the logged-on account, found by its name on the local system; it must name a user.
unique_hlocal logged_on_user_sid() {
  const std::wstring account = logged_on_account_name();
  DWORD sidLength = 0;
  DWORD domainLength = 0;
  SID_NAME_USE use = SidTypeInvalid;
  advapi::lookup_account_name(account.c_str(), nullptr, &sidLength, nullptr, &domainLength, &use);
  unique_hlocal found(LocalAlloc(LPTR, sidLength));
  if (!found) throw E_OUTOFMEMORY;
  std::wstring domain(domainLength + 1, L'\0');
  advapi::lookup_account_name(account.c_str(), found.get(), &sidLength, domain.data(), &domainLength, &use);
  if (use != SidTypeUser) throw E_UNEXPECTED;
  return found;
}

}  // namespace

sid::sid(well_known_sid which) {
  switch (which) {
    case well_known_sid::everyone:
      sid_ = advapi::allocate_and_initialize_sid(world_authority, {SECURITY_WORLD_RID});
      break;
    case well_known_sid::administrators:
      sid_ = advapi::allocate_and_initialize_sid(nt_authority,
                                                 {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
      break;
    case well_known_sid::users:
      sid_ = advapi::allocate_and_initialize_sid(nt_authority,
                                                 {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS});
      break;
    case well_known_sid::authenticated_users:
      sid_ = advapi::allocate_and_initialize_sid(nt_authority, {SECURITY_AUTHENTICATED_USER_RID});
      break;
    case well_known_sid::current_user_by_name:
      sid_ = logged_on_user_sid().release();
      return;
    case well_known_sid::current_user:
      sid_ = current_user_sid().release();
      return;
    default:
      throw E_INVALIDARG;
  }
  from_system_ = true;
}

sid::~sid() { free(); }

sid::sid(sid&& other) noexcept
    : sid_(std::exchange(other.sid_, nullptr)), from_system_(std::exchange(other.from_system_, false)) {}

sid& sid::operator=(sid&& other) noexcept {
  if (this != &other) {
    free();
    sid_ = std::exchange(other.sid_, nullptr);
    from_system_ = std::exchange(other.from_system_, false);
  }
  return *this;
}

DWORD sid::length() const { return advapi::get_length_sid(sid_); }

void sid::free() noexcept {
  if (!sid_) return;
  if (from_system_)
    advapi::free_sid(sid_);
  else
    LocalFree(sid_);
  sid_ = nullptr;
}

}  // namespace kv
