#pragma once
// What the installer decides about access: whether it runs with administrator rights, access for
// the Users group on what it creates, token privileges around registry snapshots, and the access
// list of the named objects shared with other processes.

#include <windows.h>

#include <string>

#include "support/handles.h"

namespace kv {

// True when the caller's effective token is a member of Administrators (CheckTokenMembership).
// When that check cannot be made (any failure of the security functions), an access check decides
// instead: a copy of the process's token may open a descriptor that admits only Administrators.
// Any failure there gives false.
bool is_user_admin();

// Gives the Users group exactly one access-allowed entry, with mask and the inheritance flags, on
// the file or folder at path: placed after the other explicit entries and before the inherited
// ones, every other entry for Users (allow or deny, explicit or inherited) removed, and the
// descriptor's auto-inherited or protected state carried over. False on any failure, and then
// the path's access list is unchanged.
bool grant_users_access(const std::wstring& path, DWORD mask, BYTE flags);

// Enables or disables one privilege (such as L"SeBackupPrivilege") in the process's token. False
// on any failure, also when the token lacks the privilege.
bool set_privilege(const wchar_t* name, bool enable);

// An access list with one entry that allows Everyone mask. Throws the HRESULT of a failing
// security function.
unique_acl everyone_dacl(DWORD mask);

namespace details {

// The new descriptor of grant_users_access, built from a file's current descriptor (absolute or
// self-relative); it references the access list that it owns beside it. Throws the HRESULT of a
// failing security function.
struct users_access_descriptor {
  unique_acl dacl;
  unique_security_descriptor descriptor;
};
users_access_descriptor build_users_access(PSECURITY_DESCRIPTOR current, DWORD mask, BYTE flags);

// The fallback of is_user_admin: under ImpersonateSelf, AccessCheck of a descriptor whose only
// entry allows Administrators. False on any failure.
bool administrators_access_check() noexcept;

}  // namespace details

}  // namespace kv
