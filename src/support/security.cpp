#include "support/security.h"

#include "support/security_functions.h"
#include "support/sid.h"

namespace kv {

namespace {

// The size of an access list's header, which an empty or missing list counts as in use.
constexpr DWORD acl_header_size = sizeof(ACL);
// The part of an access-allowed or access-denied entry before its SID: header and mask.
constexpr DWORD ace_sid_offset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);

// A zeroed access list of size bytes, initialised (revision 2).
unique_acl new_acl(DWORD size) {
  unique_acl acl(static_cast<PACL>(LocalAlloc(LPTR, size)));
  if (!acl) throw E_OUTOFMEMORY;
  advapi::initialize_acl(acl.get(), size);
  return acl;
}

// The access list of a descriptor, or null when it has none or a null one.
PACL dacl_of(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  advapi::get_security_descriptor_dacl(descriptor, &present, &dacl, &defaulted);
  return present ? dacl : nullptr;
}

// True when the entry names sid: the SID that follows its header and mask equals it. An entry too
// short to hold sid there names another account.
bool names(const ACE_HEADER* entry, const sid& account) {
  if (entry->AceSize < ace_sid_offset + account.length()) return false;
  const auto* bytes = reinterpret_cast<const BYTE*>(entry);
  return advapi::equal_sid(const_cast<BYTE*>(bytes + ace_sid_offset), account.get());
}

// Appends the entries [first, end) of source to target, leaving out those for account; returns
// the index of the first inherited entry when stopAtInherited, else end.
DWORD copy_entries(PACL source, DWORD first, DWORD end, bool stopAtInherited, const sid& account, PACL target) {
  for (DWORD index = first; index < end; ++index) {
    auto* entry = static_cast<ACE_HEADER*>(advapi::get_ace(source, index));
    if (stopAtInherited && (entry->AceFlags & INHERITED_ACE)) return index;
    if (names(entry, account)) continue;
    advapi::add_ace(target, MAXDWORD, entry, entry->AceSize);
  }
  return end;
}

// Carries the auto-inherited state, or else the protected state, of one descriptor's access list
// over to another's. Systems without the control functions keep the defaults.
void carry_inheritance_state(PSECURITY_DESCRIPTOR from, PSECURITY_DESCRIPTOR to) {
  try {
    const SECURITY_DESCRIPTOR_CONTROL control = advapi::get_security_descriptor_control(from);
    if (control & SE_DACL_AUTO_INHERITED) {
      constexpr SECURITY_DESCRIPTOR_CONTROL autoInherit = SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
      advapi::set_security_descriptor_control(to, autoInherit, autoInherit);
    } else if (control & SE_DACL_PROTECTED) {
      advapi::set_security_descriptor_control(to, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    }
  } catch (HRESULT error) {
    if (error != E_NOTIMPL) throw;
  }
}

// AdjustTokenPrivileges that must assign every privilege it names: ERROR_NOT_ALL_ASSIGNED fails.
void adjust_all(HANDLE token, TOKEN_PRIVILEGES* state, DWORD length, TOKEN_PRIVILEGES* previous,
                DWORD* previousLength) {
  advapi::adjust_token_privileges(token, state, length, previous, previousLength);
  const DWORD error = GetLastError();
  if (error != ERROR_SUCCESS) throw hresult_from_error(error);
}

// Undoes ImpersonateSelf when it goes out of scope.
class impersonation {
 public:
  impersonation() { advapi::impersonate_self(); }
  ~impersonation() { advapi::revert_to_self(); }
  impersonation(const impersonation&) = delete;
  impersonation& operator=(const impersonation&) = delete;
};

// Whether token may open a descriptor owned by Administrators whose only entry allows them.
bool administrators_admit(HANDLE token) {
  const sid administrators(well_known_sid::administrators);
  const unique_acl dacl = new_acl(16 + administrators.length());
  advapi::add_access_allowed_ace(dacl.get(), 3, administrators.get());
  const unique_security_descriptor descriptor = advapi::initialize_security_descriptor();
  advapi::set_security_descriptor_dacl(descriptor.get(), dacl.get());
  advapi::set_security_descriptor_owner(descriptor.get(), administrators.get());
  advapi::set_security_descriptor_group(descriptor.get(), administrators.get());
  if (!advapi::is_valid_security_descriptor(descriptor.get())) throw E_UNEXPECTED;

  GENERIC_MAPPING mapping{1, 2, 0, 3};
  alignas(PRIVILEGE_SET) BYTE privileges[20] = {};
  DWORD privilegesLength = sizeof(privileges);
  DWORD granted = 0;
  return advapi::access_check(descriptor.get(), token, &mapping, reinterpret_cast<PRIVILEGE_SET*>(privileges),
                              &privilegesLength, &granted);
}

}  // namespace

namespace details {

users_access_descriptor build_users_access(PSECURITY_DESCRIPTOR current, DWORD mask, BYTE flags) {
  const sid users(well_known_sid::users);
  PACL old = dacl_of(current);
  ACL_SIZE_INFORMATION size{};
  size.AclBytesInUse = acl_header_size;
  if (old) size = advapi::get_acl_size_information(old);

  users_access_descriptor result;
  result.dacl = new_acl(size.AclBytesInUse + ace_sid_offset + users.length());
  const DWORD firstInherited = old ? copy_entries(old, 0, size.AceCount, true, users, result.dacl.get()) : 0;
  advapi::add_access_allowed_ace_ex(result.dacl.get(), flags, mask, users.get());
  if (old) copy_entries(old, firstInherited, size.AceCount, false, users, result.dacl.get());

  result.descriptor = advapi::initialize_security_descriptor();
  advapi::set_security_descriptor_dacl(result.descriptor.get(), result.dacl.get());
  carry_inheritance_state(current, result.descriptor.get());
  return result;
}

bool administrators_access_check() noexcept {
  try {
    const impersonation self;
    const unique_handle token = advapi::open_thread_token(GetCurrentThread(), false);
    return administrators_admit(token.get());
  } catch (HRESULT) {
    return false;
  }
}

}  // namespace details

bool is_user_admin() {
  try {
    const sid administrators(well_known_sid::administrators);
    return advapi::check_token_membership(administrators.get());
  } catch (HRESULT) {
  }
  return details::administrators_access_check();
}

bool grant_users_access(const std::wstring& path, DWORD mask, BYTE flags) {
  try {
    const unique_security_descriptor current = advapi::get_file_security(path);
    const details::users_access_descriptor granted = details::build_users_access(current.get(), mask, flags);
    advapi::set_file_security(path, granted.descriptor.get());
    return true;
  } catch (HRESULT) {
    return false;
  }
}

bool set_privilege(const wchar_t* name, bool enable) {
  try {
    const unique_handle token = advapi::open_process_token(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY);
    const LUID privilege = advapi::lookup_privilege_value(name);
    TOKEN_PRIVILEGES disabled{1, {{privilege, 0}}};
    TOKEN_PRIVILEGES previous{};
    DWORD previousLength = sizeof(previous);
    adjust_all(token.get(), &disabled, sizeof(disabled), &previous, &previousLength);

    previous.PrivilegeCount = 1;
    previous.Privileges[0].Luid = privilege;
    if (enable)
      previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else
      previous.Privileges[0].Attributes &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
    adjust_all(token.get(), &previous, 0, nullptr, nullptr);
    return true;
  } catch (HRESULT) {
    return false;
  }
}

unique_acl everyone_dacl(DWORD mask) {
  const sid everyone(well_known_sid::everyone);
  unique_acl dacl = new_acl(16 + everyone.length());
  advapi::add_access_allowed_ace(dacl.get(), mask, everyone.get());
  return dacl;
}

}  // namespace kv
