#pragma once
// The Windows security functions the installer uses, called through entry points looked up in
// advapi32.dll at run time, so that a function a system lacks is a reportable error instead of a
// load failure. Every wrapper throws a bare HRESULT (the thrown object is the HRESULT value
// itself) when the function cannot be resolved or fails:
//   E_UNEXPECTED   advapi32.dll cannot be loaded;
//   E_NOTIMPL      advapi32.dll does not export the function;
//   E_INVALIDARG   a SID given to get_length_sid or equal_sid is null or not valid;
//   E_OUTOFMEMORY  a buffer cannot be allocated;
//   otherwise      the HRESULT of the function's last error (hresult_from_error).
// The composite operations of security.h catch these values.

#include <windows.h>

#include <initializer_list>
#include <string>

#include "support/handles.h"

namespace kv {

// The HRESULT of a Win32 error code: the code itself when it is 0 or negative as a signed value,
// otherwise 0x80070000 combined with its low 16 bits.
HRESULT hresult_from_error(DWORD error) noexcept;

namespace details {

// The functions of the entry-point table, one slot each.
enum class security_function : unsigned {
  open_process_token,
  open_thread_token,
  get_token_information,
  allocate_and_initialize_sid,
  is_valid_sid,
  get_length_sid,
  equal_sid,
  free_sid,
  copy_sid,
  lookup_account_name,
  initialize_acl,
  add_access_allowed_ace,
  add_access_allowed_ace_ex,
  get_ace,
  add_ace,
  get_acl_information,
  initialize_security_descriptor,
  is_valid_security_descriptor,
  get_security_descriptor_dacl,
  set_security_descriptor_dacl,
  set_security_descriptor_owner,
  set_security_descriptor_group,
  get_security_descriptor_control,
  set_security_descriptor_control,
  get_file_security,
  set_file_security,
  impersonate_self,
  revert_to_self,
  access_check,
  check_token_membership,
  lookup_privilege_value,
  adjust_token_privileges,
  count
};

// The address of a function in advapi32.dll, looked up on first use and kept for the process.
// Throws E_UNEXPECTED when the module cannot be loaded, E_NOTIMPL when it lacks the function.
FARPROC security_entry_point(security_function function);

// For tests: while it lives, the table answers address for function (null: as if advapi32.dll
// did not export it); destruction restores what the table held before.
class security_entry_override {
 public:
  security_entry_override(security_function function, FARPROC address);
  ~security_entry_override();
  security_entry_override(const security_entry_override&) = delete;
  security_entry_override& operator=(const security_entry_override&) = delete;

 private:
  security_function function_;
  FARPROC previous_address_;
  bool previous_resolved_;
};

}  // namespace details

// Thin wrappers of the advapi32 functions: the same arguments less the fixed ones named here;
// they return on success and throw as described above.
namespace advapi {

// OpenProcessToken; the token is owned by the result.
unique_handle open_process_token(HANDLE process, DWORD access);
// OpenThreadToken with TOKEN_QUERY. A thread without a token (ERROR_NO_TOKEN) gives the current
// process's token, opened with TOKEN_QUERY.
unique_handle open_thread_token(HANDLE thread, bool openAsSelf);
// GetTokenInformation for TokenUser. With a null buffer it asks for the size: returnLength
// receives it and ERROR_INSUFFICIENT_BUFFER is not a failure.
void get_token_information(HANDLE token, void* buffer, DWORD length, DWORD* returnLength);

// AllocateAndInitializeSid; the sub-authorities not given (up to eight) are 0. More than eight
// throw E_INVALIDARG. The caller frees the SID with free_sid.
PSID allocate_and_initialize_sid(SID_IDENTIFIER_AUTHORITY authority, std::initializer_list<DWORD> subAuthorities);
// GetLengthSid of a SID that IsValidSid accepts; E_INVALIDARG otherwise.
DWORD get_length_sid(PSID sid);
// EqualSid of two SIDs that IsValidSid accepts; E_INVALIDARG otherwise.
bool equal_sid(PSID first, PSID second);
// FreeSid. Never throws: when the function cannot be resolved the SID is left alone (false).
bool free_sid(PSID sid) noexcept;
// CopySid.
void copy_sid(DWORD destinationLength, PSID destination, PSID source);
// LookupAccountNameW on the local system. With a null SID buffer it asks for the sizes:
// ERROR_INSUFFICIENT_BUFFER is not a failure and use is set to SidTypeInvalid.
void lookup_account_name(const wchar_t* accountName, PSID sid, DWORD* sidLength, wchar_t* domain,
                         DWORD* domainLength, SID_NAME_USE* use);

// InitializeAcl, revision 2.
void initialize_acl(PACL acl, DWORD length);
// AddAccessAllowedAce, revision 2.
void add_access_allowed_ace(PACL acl, DWORD mask, PSID sid);
// AddAccessAllowedAceEx, revision 2. With flags 0, or when advapi32.dll does not export the
// function, the entry is added by add_access_allowed_ace, without flags.
void add_access_allowed_ace_ex(PACL acl, DWORD flags, DWORD mask, PSID sid);
// GetAce: the entry at index.
void* get_ace(PACL acl, DWORD index);
// AddAce: length bytes of entries inserted before startIndex (MAXDWORD: appended).
void add_ace(PACL acl, DWORD startIndex, void* entries, DWORD length);
// GetAclInformation for AclSizeInformation.
ACL_SIZE_INFORMATION get_acl_size_information(PACL acl);

// A new absolute security descriptor, revision 1, in a zeroed block of
// SECURITY_DESCRIPTOR_MIN_LENGTH bytes (InitializeSecurityDescriptor).
unique_security_descriptor initialize_security_descriptor();
// IsValidSecurityDescriptor. Never throws: false also when the function cannot be resolved.
bool is_valid_security_descriptor(PSECURITY_DESCRIPTOR descriptor) noexcept;
// GetSecurityDescriptorDacl.
void get_security_descriptor_dacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* dacl, BOOL* defaulted);
// SetSecurityDescriptorDacl: the DACL is present (dacl may be null) and not defaulted.
void set_security_descriptor_dacl(PSECURITY_DESCRIPTOR descriptor, PACL dacl);
// SetSecurityDescriptorOwner, not defaulted.
void set_security_descriptor_owner(PSECURITY_DESCRIPTOR descriptor, PSID owner);
// SetSecurityDescriptorGroup, not defaulted.
void set_security_descriptor_group(PSECURITY_DESCRIPTOR descriptor, PSID group);
// GetSecurityDescriptorControl.
SECURITY_DESCRIPTOR_CONTROL get_security_descriptor_control(PSECURITY_DESCRIPTOR descriptor);
// SetSecurityDescriptorControl.
void set_security_descriptor_control(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                     SECURITY_DESCRIPTOR_CONTROL bits);

// GetFileSecurityW for DACL_SECURITY_INFORMATION: asks for the size, allocates it and reads the
// descriptor (self-relative) into the result.
unique_security_descriptor get_file_security(const std::wstring& path);
// SetFileSecurityW for DACL_SECURITY_INFORMATION.
void set_file_security(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor);

// ImpersonateSelf at SecurityImpersonation level.
void impersonate_self();
// RevertToSelf. Never throws: when the function cannot be resolved the result is false with the
// last error ERROR_CALL_NOT_IMPLEMENTED.
bool revert_to_self() noexcept;
// AccessCheck for desired access 1; the result is the access status.
bool access_check(PSECURITY_DESCRIPTOR descriptor, HANDLE token, GENERIC_MAPPING* mapping,
                  PRIVILEGE_SET* privileges, DWORD* privilegesLength, DWORD* grantedAccess);
// CheckTokenMembership of the caller's effective token (null token); the result is the
// membership.
bool check_token_membership(PSID sid);

// LookupPrivilegeValueW on the local system.
LUID lookup_privilege_value(const wchar_t* name);
// AdjustTokenPrivileges without disabling all. A call that returns leaves the function's own last
// error in place, ERROR_NOT_ALL_ASSIGNED included.
void adjust_token_privileges(HANDLE token, TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                             TOKEN_PRIVILEGES* previousState, DWORD* returnLength);

}  // namespace advapi

}  // namespace kv
