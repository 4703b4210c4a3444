#include "support/security_functions.h"

#include <algorithm>
#include <array>

namespace kv {

HRESULT hresult_from_error(DWORD error) noexcept {
  if (static_cast<HRESULT>(error) <= 0) return static_cast<HRESULT>(error);
  return static_cast<HRESULT>((error & 0x0000FFFF) | 0x80070000);
}

namespace details {

namespace {

constexpr std::size_t function_count = static_cast<std::size_t>(security_function::count);

// The exported names, in the order of security_function.
constexpr std::array<const char*, function_count> function_names = {
    "OpenProcessToken",
    "OpenThreadToken",
    "GetTokenInformation",
    "AllocateAndInitializeSid",
    "IsValidSid",
    "GetLengthSid",
    "EqualSid",
    "FreeSid",
    "CopySid",
    "LookupAccountNameW",
    "InitializeAcl",
    "AddAccessAllowedAce",
    "AddAccessAllowedAceEx",
    "GetAce",
    "AddAce",
    "GetAclInformation",
    "InitializeSecurityDescriptor",
    "IsValidSecurityDescriptor",
    "GetSecurityDescriptorDacl",
    "SetSecurityDescriptorDacl",
    "SetSecurityDescriptorOwner",
    "SetSecurityDescriptorGroup",
    "GetSecurityDescriptorControl",
    "SetSecurityDescriptorControl",
    "GetFileSecurityW",
    "SetFileSecurityW",
    "ImpersonateSelf",
    "RevertToSelf",
    "AccessCheck",
    "CheckTokenMembership",
    "LookupPrivilegeValueW",
    "AdjustTokenPrivileges",
};

// The process's entry-point table: filled one slot at a time and never emptied. The module is
// kept loaded for the life of the process.
struct entry_point_table {
  HMODULE module = nullptr;
  std::array<FARPROC, function_count> address{};
  std::array<bool, function_count> resolved{};
};

entry_point_table& table() {
  static entry_point_table entries;
  return entries;
}

HMODULE advapi_module() {
  entry_point_table& entries = table();
  if (!entries.module) {
    HMODULE module = GetModuleHandleW(L"advapi32.dll");
    if (!module) module = LoadLibraryExW(L"advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module) module = LoadLibraryExW(L"advapi32.dll", nullptr, 0);
    if (!module) throw E_UNEXPECTED;
    entries.module = module;
  }
  return entries.module;
}

std::size_t slot(security_function function) { return static_cast<std::size_t>(function); }

}  // namespace

FARPROC security_entry_point(security_function function) {
  entry_point_table& entries = table();
  const std::size_t index = slot(function);
  if (!entries.resolved[index]) {
    entries.address[index] = GetProcAddress(advapi_module(), function_names[index]);
    entries.resolved[index] = true;
  }
  if (!entries.address[index]) throw E_NOTIMPL;
  return entries.address[index];
}

security_entry_override::security_entry_override(security_function function, FARPROC address)
    : function_(function),
      previous_address_(table().address[slot(function)]),
      previous_resolved_(table().resolved[slot(function)]) {
  table().address[slot(function)] = address;
  table().resolved[slot(function)] = true;
}

security_entry_override::~security_entry_override() {
  table().address[slot(function_)] = previous_address_;
  table().resolved[slot(function_)] = previous_resolved_;
}

}  // namespace details

namespace advapi {

namespace {

using details::security_function;

// The entry point of function as a pointer of the Windows function's own type.
template <typename Function>
Function resolve(security_function function) {
  return reinterpret_cast<Function>(details::security_entry_point(function));
}

[[noreturn]] void throw_last_error() { throw hresult_from_error(GetLastError()); }

// Throws the last error unless the call succeeded.
void check(BOOL succeeded) {
  if (!succeeded) throw_last_error();
}

void require_valid_sid(PSID sid) {
  if (!sid || !resolve<decltype(&::IsValidSid)>(security_function::is_valid_sid)(sid)) throw E_INVALIDARG;
}

}  // namespace

unique_handle open_process_token(HANDLE process, DWORD access) {
  unique_handle token;
  check(resolve<decltype(&::OpenProcessToken)>(security_function::open_process_token)(process, access, token.put()));
  return token;
}

unique_handle open_thread_token(HANDLE thread, bool openAsSelf) {
  unique_handle token;
  const auto open = resolve<decltype(&::OpenThreadToken)>(security_function::open_thread_token);
  if (open(thread, TOKEN_QUERY, openAsSelf, token.put())) return token;
  if (GetLastError() != ERROR_NO_TOKEN) throw_last_error();
  return open_process_token(GetCurrentProcess(), TOKEN_QUERY);
}

void get_token_information(HANDLE token, void* buffer, DWORD length, DWORD* returnLength) {
  const auto get = resolve<decltype(&::GetTokenInformation)>(security_function::get_token_information);
  if (get(token, TokenUser, buffer, length, returnLength)) return;
  if (!buffer && GetLastError() == ERROR_INSUFFICIENT_BUFFER) return;
  throw_last_error();
}

PSID allocate_and_initialize_sid(SID_IDENTIFIER_AUTHORITY authority, std::initializer_list<DWORD> subAuthorities) {
  if (subAuthorities.size() > 8) throw E_INVALIDARG;
  std::array<DWORD, 8> parts{};
  std::copy(subAuthorities.begin(), subAuthorities.end(), parts.begin());
  PSID sid = nullptr;
  check(resolve<decltype(&::AllocateAndInitializeSid)>(security_function::allocate_and_initialize_sid)(
      &authority, static_cast<BYTE>(subAuthorities.size()), parts[0], parts[1], parts[2], parts[3], parts[4],
      parts[5], parts[6], parts[7], &sid));
  return sid;
}

DWORD get_length_sid(PSID sid) {
  require_valid_sid(sid);
  return resolve<decltype(&::GetLengthSid)>(security_function::get_length_sid)(sid);
}

bool equal_sid(PSID first, PSID second) {
  require_valid_sid(first);
  require_valid_sid(second);
  return resolve<decltype(&::EqualSid)>(security_function::equal_sid)(first, second) != FALSE;
}

bool free_sid(PSID sid) noexcept {
  try {
    resolve<decltype(&::FreeSid)>(security_function::free_sid)(sid);
    return true;
  } catch (HRESULT) {
    return false;
  }
}

void copy_sid(DWORD destinationLength, PSID destination, PSID source) {
  check(resolve<decltype(&::CopySid)>(security_function::copy_sid)(destinationLength, destination, source));
}

void lookup_account_name(const wchar_t* accountName, PSID sid, DWORD* sidLength, wchar_t* domain,
                         DWORD* domainLength, SID_NAME_USE* use) {
  const auto lookup = resolve<decltype(&::LookupAccountNameW)>(security_function::lookup_account_name);
  if (lookup(nullptr, accountName, sid, sidLength, domain, domainLength, use)) return;
  if (!sid && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    *use = SidTypeInvalid;
    return;
  }
  throw_last_error();
}

void initialize_acl(PACL acl, DWORD length) {
  check(resolve<decltype(&::InitializeAcl)>(security_function::initialize_acl)(acl, length, ACL_REVISION));
}

void add_access_allowed_ace(PACL acl, DWORD mask, PSID sid) {
  check(resolve<decltype(&::AddAccessAllowedAce)>(security_function::add_access_allowed_ace)(acl, ACL_REVISION,
                                                                                             mask, sid));
}

void add_access_allowed_ace_ex(PACL acl, DWORD flags, DWORD mask, PSID sid) {
  if (flags != 0) {
    try {
      const auto add = resolve<decltype(&::AddAccessAllowedAceEx)>(security_function::add_access_allowed_ace_ex);
      check(add(acl, ACL_REVISION, flags, mask, sid));
      return;
    } catch (HRESULT error) {
      if (error != E_NOTIMPL) throw;
    }
  }
  add_access_allowed_ace(acl, mask, sid);
}

void* get_ace(PACL acl, DWORD index) {
  void* ace = nullptr;
  check(resolve<decltype(&::GetAce)>(security_function::get_ace)(acl, index, &ace));
  return ace;
}

void add_ace(PACL acl, DWORD startIndex, void* entries, DWORD length) {
  check(resolve<decltype(&::AddAce)>(security_function::add_ace)(acl, ACL_REVISION, startIndex, entries, length));
}

ACL_SIZE_INFORMATION get_acl_size_information(PACL acl) {
  ACL_SIZE_INFORMATION information{};
  check(resolve<decltype(&::GetAclInformation)>(security_function::get_acl_information)(
      acl, &information, sizeof(information), AclSizeInformation));
  return information;
}

unique_security_descriptor initialize_security_descriptor() {
  const auto initialize =
      resolve<decltype(&::InitializeSecurityDescriptor)>(security_function::initialize_security_descriptor);
  unique_security_descriptor descriptor(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
  if (!descriptor) throw E_OUTOFMEMORY;
  check(initialize(descriptor.get(), SECURITY_DESCRIPTOR_REVISION));
  return descriptor;
}

bool is_valid_security_descriptor(PSECURITY_DESCRIPTOR descriptor) noexcept {
  try {
    return resolve<decltype(&::IsValidSecurityDescriptor)>(security_function::is_valid_security_descriptor)(
               descriptor) != FALSE;
  } catch (HRESULT) {
    return false;
  }
}

void get_security_descriptor_dacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* dacl, BOOL* defaulted) {
  check(resolve<decltype(&::GetSecurityDescriptorDacl)>(security_function::get_security_descriptor_dacl)(
      descriptor, present, dacl, defaulted));
}

void set_security_descriptor_dacl(PSECURITY_DESCRIPTOR descriptor, PACL dacl) {
  check(resolve<decltype(&::SetSecurityDescriptorDacl)>(security_function::set_security_descriptor_dacl)(
      descriptor, TRUE, dacl, FALSE));
}

void set_security_descriptor_owner(PSECURITY_DESCRIPTOR descriptor, PSID owner) {
  check(resolve<decltype(&::SetSecurityDescriptorOwner)>(security_function::set_security_descriptor_owner)(
      descriptor, owner, FALSE));
}

void set_security_descriptor_group(PSECURITY_DESCRIPTOR descriptor, PSID group) {
  check(resolve<decltype(&::SetSecurityDescriptorGroup)>(security_function::set_security_descriptor_group)(
      descriptor, group, FALSE));
}

SECURITY_DESCRIPTOR_CONTROL get_security_descriptor_control(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  check(resolve<decltype(&::GetSecurityDescriptorControl)>(security_function::get_security_descriptor_control)(
      descriptor, &control, &revision));
  return control;
}

void set_security_descriptor_control(PSECURITY_DESCRIPTOR descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                     SECURITY_DESCRIPTOR_CONTROL bits) {
  check(resolve<decltype(&::SetSecurityDescriptorControl)>(security_function::set_security_descriptor_control)(
      descriptor, mask, bits));
}

unique_security_descriptor get_file_security(const std::wstring& path) {
  const auto get = resolve<decltype(&::GetFileSecurityW)>(security_function::get_file_security);
  DWORD needed = 0;
  if (!get(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    throw_last_error();
  unique_security_descriptor descriptor(LocalAlloc(LPTR, needed));
  if (!descriptor) throw E_OUTOFMEMORY;
  check(get(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.get(), needed, &needed));
  return descriptor;
}

void set_file_security(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
  check(resolve<decltype(&::SetFileSecurityW)>(security_function::set_file_security)(
      path.c_str(), DACL_SECURITY_INFORMATION, descriptor));
}

void impersonate_self() {
  check(resolve<decltype(&::ImpersonateSelf)>(security_function::impersonate_self)(SecurityImpersonation));
}

bool revert_to_self() noexcept {
  try {
    return resolve<decltype(&::RevertToSelf)>(security_function::revert_to_self)() != FALSE;
  } catch (HRESULT) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
}

bool access_check(PSECURITY_DESCRIPTOR descriptor, HANDLE token, GENERIC_MAPPING* mapping,
                  PRIVILEGE_SET* privileges, DWORD* privilegesLength, DWORD* grantedAccess) {
  BOOL status = FALSE;
  check(resolve<decltype(&::AccessCheck)>(security_function::access_check)(
      descriptor, token, 1, mapping, privileges, privilegesLength, grantedAccess, &status));
  return status != FALSE;
}

bool check_token_membership(PSID sid) {
  BOOL member = FALSE;
  check(resolve<decltype(&::CheckTokenMembership)>(security_function::check_token_membership)(nullptr, sid, &member));
  return member != FALSE;
}

LUID lookup_privilege_value(const wchar_t* name) {
  LUID value{};
  check(resolve<decltype(&::LookupPrivilegeValueW)>(security_function::lookup_privilege_value)(nullptr, name, &value));
  return value;
}

void adjust_token_privileges(HANDLE token, TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                             TOKEN_PRIVILEGES* previousState, DWORD* returnLength) {
  check(resolve<decltype(&::AdjustTokenPrivileges)>(security_function::adjust_token_privileges)(
      token, FALSE, newState, bufferLength, previousState, returnLength));
}

}  // namespace advapi

}  // namespace kv
