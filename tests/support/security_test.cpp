// The security wrappers and the composite operations, against the system's real security functions:
// access lists built from descriptors in memory, files and folders on disk, tokens of this process,
// of a thread and of peer processes started with restricted tokens.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/peer_process.h"
#include "common/test_environment.h"
#include "support/handles.h"
#include "support/security.h"
#include "support/security_functions.h"
#include "support/sid.h"

namespace {

using kv::details::security_entry_override;
using kv::details::security_function;

// The HRESULT that fn throws, or S_OK when it throws nothing.
template <typename Function>
HRESULT thrown_by(Function fn) {
  try {
    fn();
  } catch (HRESULT error) {
    return error;
  }
  return S_OK;
}

// A self-relative descriptor parsed from its SDDL form.
kv::unique_hlocal descriptor_from(const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
      << "cannot parse " << std::string(sddl.begin(), sddl.end());
  return kv::unique_hlocal(descriptor);
}

// The access list of a descriptor, with its control flags, in SDDL form.
std::wstring dacl_text(PSECURITY_DESCRIPTOR descriptor) {
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            &text, nullptr))
    return L"<" + std::to_wstring(GetLastError()) + L">";
  const kv::unique_hlocal owner(text);
  return text;
}

// The SDDL text the system gives for an access list written as sddl (the same spelling as
// dacl_text gives).
std::wstring normal_dacl_text(const std::wstring& sddl) { return dacl_text(descriptor_from(sddl).get()); }

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring sid_text(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"<invalid>";
  const kv::unique_hlocal owner(text);
  return text;
}

// The groups of a token.
std::vector<BYTE> token_groups(HANDLE token) {
  DWORD needed = 0;
  GetTokenInformation(token, TokenGroups, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed)) buffer.clear();
  return buffer;
}

// Whether the process's own token holds Administrators as an enabled group that is not only for
// deny: what the administrator check must find for this process.
bool process_token_is_administrator() {
  kv::unique_handle token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
  const std::vector<BYTE> buffer = token_groups(token.get());
  if (buffer.empty()) return false;
  const kv::sid administrators(kv::well_known_sid::administrators);
  const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
  for (DWORD i = 0; i < groups->GroupCount; ++i) {
    const DWORD attributes = groups->Groups[i].Attributes;
    if (EqualSid(groups->Groups[i].Sid, administrators.get()))
      return (attributes & SE_GROUP_ENABLED) && !(attributes & SE_GROUP_USE_FOR_DENY_ONLY);
  }
  return false;
}

// A primary token like the process's, but with Administrators for deny only.
kv::unique_handle token_without_administrators() {
  kv::unique_handle process;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put());
  const kv::sid administrators(kv::well_known_sid::administrators);
  SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
  kv::unique_handle restricted;
  CreateRestrictedToken(process.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, restricted.put());
  return restricted;
}

// A primary token like the process's, without the privilege name.
kv::unique_handle token_without_privilege(const wchar_t* name) {
  kv::unique_handle process;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put());
  LUID_AND_ATTRIBUTES removed{};
  LookupPrivilegeValueW(nullptr, name, &removed.Luid);
  kv::unique_handle restricted;
  CreateRestrictedToken(process.get(), 0, 0, nullptr, 1, &removed, 0, nullptr, restricted.put());
  return restricted;
}

// The attributes of a privilege in the process's token; nothing when the token lacks it.
std::optional<DWORD> privilege_attributes(const wchar_t* name) {
  LUID id{};
  LookupPrivilegeValueW(nullptr, name, &id);
  kv::unique_handle token;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put());
  DWORD needed = 0;
  GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), needed, &needed)) return std::nullopt;
  const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const LUID& luid = privileges->Privileges[i].Luid;
    if (luid.LowPart == id.LowPart && luid.HighPart == id.HighPart) return privileges->Privileges[i].Attributes;
  }
  return std::nullopt;
}

BOOL WINAPI failing_set_control(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL) {
  SetLastError(ERROR_INVALID_SECURITY_DESCR);
  return FALSE;
}

TEST(SecurityErrors, HresultOfWin32Errors) {
  const struct {
    DWORD error;
    HRESULT expected;
  } cases[] = {
      {ERROR_SUCCESS, S_OK},
      {ERROR_ACCESS_DENIED, static_cast<HRESULT>(0x80070005)},
      {ERROR_NOT_ALL_ASSIGNED, static_cast<HRESULT>(0x80070514)},
      {0x00012345, static_cast<HRESULT>(0x80072345)},
      {0x80004005, static_cast<HRESULT>(0x80004005)},
  };
  for (const auto& c : cases) EXPECT_EQ(kv::hresult_from_error(c.error), c.expected) << c.error;
}

TEST(SecurityErrors, MissingExportsAndInvalidSids) {
  {
    const security_entry_override missing(security_function::allocate_and_initialize_sid, nullptr);
    EXPECT_EQ(thrown_by([] { kv::sid everyone(kv::well_known_sid::everyone); }), E_NOTIMPL);
  }
  EXPECT_EQ(thrown_by([] { kv::sid everyone(kv::well_known_sid::everyone); }), S_OK) << "the override is undone";

  EXPECT_EQ(thrown_by([] { kv::advapi::get_length_sid(nullptr); }), E_INVALIDARG);
  BYTE garbage[16] = {7, 99};
  const kv::sid users(kv::well_known_sid::users);
  EXPECT_EQ(thrown_by([&] { kv::advapi::equal_sid(users.get(), garbage); }), E_INVALIDARG);
  EXPECT_EQ(thrown_by([&] { kv::advapi::equal_sid(garbage, users.get()); }), E_INVALIDARG);

  // A failing call throws the HRESULT of its last error.
  EXPECT_EQ(thrown_by([] { kv::advapi::lookup_privilege_value(L"SeNoSuchPrivilege"); }),
            kv::hresult_from_error(ERROR_NO_SUCH_PRIVILEGE));
}

TEST(SecurityErrors, FunctionsThatNeverThrow) {
  PSID sid = kv::advapi::allocate_and_initialize_sid(SECURITY_WORLD_SID_AUTHORITY, {SECURITY_WORLD_RID});
  {
    const security_entry_override missing(security_function::free_sid, nullptr);
    EXPECT_FALSE(kv::advapi::free_sid(sid)) << "the SID is left alone";
  }
  EXPECT_TRUE(IsValidSid(sid));
  EXPECT_TRUE(kv::advapi::free_sid(sid));

  const security_entry_override noRevert(security_function::revert_to_self, nullptr);
  SetLastError(0);
  EXPECT_FALSE(kv::advapi::revert_to_self());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));

  const security_entry_override noCheck(security_function::is_valid_security_descriptor, nullptr);
  const kv::unique_security_descriptor descriptor = kv::advapi::initialize_security_descriptor();
  EXPECT_FALSE(kv::advapi::is_valid_security_descriptor(descriptor.get()));
}

TEST(Sid, WellKnownGroups) {
  const struct {
    kv::well_known_sid which;
    const wchar_t* text;
  } cases[] = {
      {kv::well_known_sid::everyone, L"S-1-1-0"},
      {kv::well_known_sid::administrators, L"S-1-5-32-544"},
      {kv::well_known_sid::users, L"S-1-5-32-545"},
      {kv::well_known_sid::authenticated_users, L"S-1-5-11"},
  };
  for (const auto& c : cases) {
    const kv::sid group(c.which);
    EXPECT_EQ(sid_text(group.get()), c.text);
    EXPECT_EQ(group.length(), GetLengthSid(group.get()));
  }
  kv::sid moved(kv::well_known_sid::users);
  kv::sid target(std::move(moved));
  EXPECT_EQ(moved.get(), nullptr);
  EXPECT_EQ(sid_text(target.get()), L"S-1-5-32-545");
}

TEST(Sid, CurrentUserFromTheTokenAndByName) {
  kv::unique_handle token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
  BYTE buffer[256] = {};
  DWORD needed = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &needed));
  const std::wstring expected = sid_text(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);

  const kv::sid fromToken(kv::well_known_sid::current_user);
  EXPECT_EQ(sid_text(fromToken.get()), expected);
  const kv::sid byName(kv::well_known_sid::current_user_by_name);
  EXPECT_EQ(sid_text(byName.get()), expected);
}

TEST(SecurityWrappers, ThreadWithoutTokenGivesTheProcessToken) {
  const kv::unique_handle token = kv::advapi::open_thread_token(GetCurrentThread(), true);
  ASSERT_TRUE(token);
  TOKEN_TYPE type{};
  DWORD needed = 0;
  ASSERT_TRUE(GetTokenInformation(token.get(), TokenType, &type, sizeof(type), &needed));
  EXPECT_EQ(type, TokenPrimary);
}

TEST(SecurityWrappers, InheritanceFlagsOfTheAllowedEntry) {
  const kv::sid users(kv::well_known_sid::users);
  const auto entry_flags = [&](BYTE flags) {
    BYTE buffer[64] = {};
    auto* acl = reinterpret_cast<PACL>(buffer);
    kv::advapi::initialize_acl(acl, sizeof(buffer));
    kv::advapi::add_access_allowed_ace_ex(acl, flags, FILE_ALL_ACCESS, users.get());
    const auto* entry = static_cast<ACE_HEADER*>(kv::advapi::get_ace(acl, 0));
    EXPECT_EQ(entry->AceType, ACCESS_ALLOWED_ACE_TYPE);
    return entry->AceFlags;
  };
  EXPECT_EQ(entry_flags(0), 0);
  EXPECT_EQ(entry_flags(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  const security_entry_override missing(security_function::add_access_allowed_ace_ex, nullptr);
  EXPECT_EQ(entry_flags(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), 0) << "without the export the flags are dropped";
}

TEST(EveryoneDacl, OneEntryForEveryone) {
  const kv::unique_acl dacl = kv::everyone_dacl(SEMAPHORE_ALL_ACCESS);
  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(dacl.get(), &size, sizeof(size), AclSizeInformation));
  EXPECT_EQ(size.AceCount, 1u);
  EXPECT_EQ(dacl.get()->AclRevision, ACL_REVISION);
  EXPECT_EQ(dacl.get()->AclSize, 16 + GetLengthSid(kv::sid(kv::well_known_sid::everyone).get()));
  ACCESS_ALLOWED_ACE* entry = nullptr;
  ASSERT_TRUE(GetAce(dacl.get(), 0, reinterpret_cast<void**>(&entry)));
  EXPECT_EQ(entry->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(entry->Header.AceFlags, 0);
  EXPECT_EQ(entry->Mask, static_cast<ACCESS_MASK>(SEMAPHORE_ALL_ACCESS));
  EXPECT_EQ(sid_text(&entry->SidStart), L"S-1-1-0");

  const security_entry_override missing(security_function::add_access_allowed_ace, nullptr);
  EXPECT_EQ(thrown_by([] { kv::everyone_dacl(MUTEX_ALL_ACCESS); }), E_NOTIMPL);
}

// The access list that grant_users_access writes, for descriptors of every shape.
TEST(UsersAccess, NewAccessList) {
  constexpr DWORD fileAccess = 0x13019F;
  constexpr BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  const struct {
    const char* what;
    const wchar_t* before;
    DWORD mask;
    BYTE flags;
    const wchar_t* after;
  } cases[] = {
      {"an explicit deny entry for Users is replaced by one allow entry", L"D:(D;OICI;FA;;;BU)(A;OICI;FA;;;BA)",
       FILE_ALL_ACCESS, inherit, L"D:(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)"},
      {"inherited entries follow the new entry; auto-inherited state kept",
       L"D:AI(A;;FA;;;SY)(A;ID;FA;;;BA)(A;ID;FR;;;BU)(A;ID;0x1200a9;;;WD)", fileAccess, 0,
       L"D:ARAI(A;;FA;;;SY)(A;;0x13019f;;;BU)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;WD)"},
      {"a null access list", L"D:NO_ACCESS_CONTROL", FILE_ALL_ACCESS, inherit, L"D:(A;OICI;FA;;;BU)"},
      {"no access list at all", L"O:BA", FILE_ALL_ACCESS, inherit, L"D:(A;OICI;FA;;;BU)"},
      {"an empty access list", L"D:", fileAccess, 0, L"D:(A;;0x13019f;;;BU)"},
      {"protected state kept", L"D:P(A;;FA;;;SY)(A;;FR;;;BU)", FILE_ALL_ACCESS, inherit,
       L"D:P(A;;FA;;;SY)(A;OICI;FA;;;BU)"},
      {"every Users entry goes, explicit and inherited, allow and deny",
       L"D:(A;;FR;;;BU)(D;;FW;;;BU)(A;;FA;;;SY)(A;ID;FA;;;BU)(D;ID;FX;;;BU)(A;ID;FA;;;BA)", fileAccess, 0,
       L"D:(A;;FA;;;SY)(A;;0x13019f;;;BU)(A;ID;FA;;;BA)"},
      {"entries for other accounts stay in order", L"D:(A;;FA;;;SY)(A;;FR;;;AU)(D;;FW;;;WD)", FILE_ALL_ACCESS,
       inherit, L"D:(A;;FA;;;SY)(A;;FR;;;AU)(D;;FW;;;WD)(A;OICI;FA;;;BU)"},
  };
  for (const auto& c : cases) {
    const kv::unique_hlocal before = descriptor_from(c.before);
    const kv::details::users_access_descriptor after = kv::details::build_users_access(before.get(), c.mask, c.flags);
    EXPECT_TRUE(IsValidSecurityDescriptor(after.descriptor.get())) << c.what;
    EXPECT_EQ(narrow(dacl_text(after.descriptor.get())), narrow(normal_dacl_text(c.after))) << c.what;
  }
}

TEST(UsersAccess, WithoutTheControlFunctionsTheInheritanceStateIsLeft) {
  const kv::unique_hlocal before = descriptor_from(L"D:AI(A;ID;FA;;;BA)");
  {
    const security_entry_override missing(security_function::get_security_descriptor_control, nullptr);
    const auto after = kv::details::build_users_access(before.get(), FILE_ALL_ACCESS, 0);
    EXPECT_EQ(narrow(dacl_text(after.descriptor.get())), narrow(normal_dacl_text(L"D:(A;;FA;;;BU)(A;ID;FA;;;BA)")));
  }
  // Any other failure of the control functions ends the operation.
  const security_entry_override failing(security_function::set_security_descriptor_control,
                                        reinterpret_cast<FARPROC>(&failing_set_control));
  EXPECT_EQ(thrown_by([&] { kv::details::build_users_access(before.get(), FILE_ALL_ACCESS, 0); }),
            kv::hresult_from_error(ERROR_INVALID_SECURITY_DESCR));
}

TEST(UsersAccess, FilesAndFolders) {
  test::scratch_folder scratch;
  const std::filesystem::path folder = scratch.path() / L"Shared";
  std::filesystem::create_directory(folder);
  const std::filesystem::path file = folder / L"texture.dat";
  std::ofstream(file) << "data";

  EXPECT_TRUE(kv::grant_users_access(folder.wstring(), FILE_ALL_ACCESS, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE));
  EXPECT_TRUE(kv::grant_users_access(file.wstring(), 0x13019F, 0));

  const std::filesystem::path missing = folder / L"missing";
  EXPECT_FALSE(kv::grant_users_access(missing.wstring(), FILE_ALL_ACCESS, 0));
  EXPECT_FALSE(std::filesystem::exists(missing));

  if (test::running_under_wine())
    GTEST_SKIP() << "Wine keeps a file's access list only as its Unix permission bits, so the Users entry "
                    "cannot be read back";
  const kv::unique_security_descriptor written = kv::advapi::get_file_security(file.wstring());
  const std::wstring text = dacl_text(written.get());
  EXPECT_NE(text.find(L"(A;;0x13019f;;;BU)"), std::wstring::npos) << narrow(text);
}

TEST(UsersAccess, AFailureBeforeWritingChangesNothing) {
  test::scratch_folder scratch;
  const std::filesystem::path path = scratch.path() / L"file.dat";
  std::ofstream(path) << "data";
  const std::wstring file = path.wstring();
  const std::wstring before = dacl_text(kv::advapi::get_file_security(file).get());

  const security_entry_override missing(security_function::add_access_allowed_ace, nullptr);
  EXPECT_FALSE(kv::grant_users_access(file, 0x13019F, 0));
  EXPECT_EQ(narrow(dacl_text(kv::advapi::get_file_security(file).get())), narrow(before));
}

TEST(AdministratorCheck, ProcessToken) {
  const bool expected = process_token_is_administrator();
  EXPECT_EQ(kv::is_user_admin(), expected);
  EXPECT_EQ(kv::details::administrators_access_check(), expected) << "the access check agrees";
  const security_entry_override missing(security_function::check_token_membership, nullptr);
  EXPECT_EQ(kv::is_user_admin(), expected) << "the fallback decides";
}

TEST(AdministratorCheck, ThreadWithFilteredToken) {
  const kv::unique_handle primary = token_without_administrators();
  ASSERT_TRUE(primary);
  kv::unique_handle impersonation;
  ASSERT_TRUE(DuplicateTokenEx(primary.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                               impersonation.put()));
  ASSERT_TRUE(SetThreadToken(nullptr, impersonation.get()));
  const bool admin = kv::is_user_admin();
  RevertToSelf();
  EXPECT_FALSE(admin);
}

// The check in processes of their own: one with this process's token and one whose token has
// Administrators for deny only, through CheckTokenMembership and through the fallback.
TEST(AdministratorCheck, PeerProcesses) {
  const DWORD expected = process_token_is_administrator() ? 1 : 0;
  EXPECT_EQ(test::run_peer(L"is-admin", L"-"), expected);
  EXPECT_EQ(test::run_peer(L"is-admin-fallback", L"-"), expected);

  const kv::unique_handle restricted = token_without_administrators();
  ASSERT_TRUE(restricted);
  EXPECT_EQ(test::run_peer(L"is-admin", L"-", restricted.get()), 0u);
  EXPECT_EQ(test::run_peer(L"is-admin-fallback", L"-", restricted.get()), 0u);
}

TEST(Privileges, EnableAndDisable) {
  if (!privilege_attributes(L"SeBackupPrivilege")) GTEST_SKIP() << "this process's token lacks SeBackupPrivilege";
  ASSERT_TRUE(kv::set_privilege(L"SeBackupPrivilege", true));
  EXPECT_TRUE(*privilege_attributes(L"SeBackupPrivilege") & SE_PRIVILEGE_ENABLED);
  ASSERT_TRUE(kv::set_privilege(L"SeBackupPrivilege", false));
  EXPECT_FALSE(*privilege_attributes(L"SeBackupPrivilege") & SE_PRIVILEGE_ENABLED);
}

TEST(Privileges, PrivilegesTheTokenLacks) {
  ASSERT_FALSE(privilege_attributes(L"SeCreateTokenPrivilege"));
  EXPECT_FALSE(kv::set_privilege(L"SeCreateTokenPrivilege", true)) << "ERROR_NOT_ALL_ASSIGNED is a failure";
  EXPECT_FALSE(kv::set_privilege(L"SeNoSuchPrivilege", true));

  if (!privilege_attributes(L"SeBackupPrivilege")) GTEST_SKIP() << "this process's token lacks SeBackupPrivilege";
  EXPECT_EQ(test::run_peer(L"set-privilege", L"SeBackupPrivilege"), 1u);
  const kv::unique_handle restricted = token_without_privilege(L"SeBackupPrivilege");
  ASSERT_TRUE(restricted);
  EXPECT_EQ(test::run_peer(L"set-privilege", L"SeBackupPrivilege", restricted.get()), 0u);
}

}  // namespace
