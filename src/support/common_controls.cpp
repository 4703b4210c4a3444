#include "support/common_controls.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "support/handles.h"

namespace kv {

namespace {

unsigned long reported_major_version() {
  HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  if (!comctl) comctl = LoadLibraryW(L"comctl32.dll");
  const auto get_version =
      comctl ? reinterpret_cast<DLLGETVERSIONPROC>(GetProcAddress(comctl, "DllGetVersion")) : nullptr;
  DLLVERSIONINFO version{};
  version.cbSize = sizeof(version);
  return get_version && SUCCEEDED(get_version(&version)) ? version.dwMajorVersion : 0;
}

// The major version in an encoded assembly identity such as
// Microsoft.Windows.Common-Controls,processorArchitecture="amd64",...,version="6.0.2600.2982".
unsigned long identity_major_version(std::wstring_view identity) {
  constexpr std::wstring_view key = L"version=\"";
  const std::size_t at = identity.find(key);
  if (at == std::wstring_view::npos) return 0;
  return std::wcstoul(std::wstring(identity.substr(at + key.size())).c_str(), nullptr, 10);
}

unsigned long assembly_major_version() {
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof(data);
  if (!FindActCtxSectionStringW(FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX, nullptr,
                                ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &data))
    return 0;
  const unique_actctx context(data.hActCtx);
  DWORD index = data.ulAssemblyRosterIndex;
  SIZE_T needed = 0;
  QueryActCtxW(0, context.get(), &index, AssemblyDetailedInformationInActivationContext, nullptr, 0, &needed);
  if (needed < sizeof(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION)) return 0;
  std::vector<std::byte> buffer(needed);
  if (!QueryActCtxW(0, context.get(), &index, AssemblyDetailedInformationInActivationContext, buffer.data(),
                    buffer.size(), &needed))
    return 0;
  const auto* info = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
  if (!info->lpAssemblyEncodedAssemblyIdentity) return 0;
  return identity_major_version(
      std::wstring_view(info->lpAssemblyEncodedAssemblyIdentity, info->ulEncodedAssemblyIdentityLength / sizeof(wchar_t)));
}

}  // namespace

unsigned long common_controls_major_version() { return std::max(reported_major_version(), assembly_major_version()); }

}  // namespace kv
