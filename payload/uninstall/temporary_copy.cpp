#include "uninstall/temporary_copy.h"

#include <shellapi.h>

#include <cstdint>
#include <cwchar>

#include "support/handles.h"

namespace uninstall {

namespace {

constexpr DWORD originalEndWaitMs = 60'000;

// The argument in quotation marks, read back whole by CommandLineToArgvW: backslashes in front of
// the closing mark are doubled ("C:\" would otherwise swallow it).
std::wstring Quoted(const std::wstring& argument) {
  std::wstring quoted = L"\"" + argument;
  for (std::size_t i = argument.size(); i > 0 && argument[i - 1] == L'\\'; --i) quoted += L'\\';
  return quoted + L"\"";
}

std::wstring TemporaryFolder() {
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

// A new empty file with a unique name in the temporary folder; empty on failure.
std::wstring NewTemporaryFile(const std::wstring& folder) {
  wchar_t name[MAX_PATH] = {};
  if (folder.empty() || !GetTempFileNameW(folder.c_str(), L"gun", 0, name)) return {};
  return name;
}

}  // namespace

std::optional<FinishArguments> ParseFinishArguments(const std::wstring& commandLine) {
  int count = 0;
  const kv::unique_hlocal owner(CommandLineToArgvW(commandLine.c_str(), &count));
  auto* arguments = static_cast<wchar_t**>(owner.get());
  if (!arguments || count != 4 || lstrcmpiW(arguments[1], finishSwitch) != 0) return std::nullopt;
  wchar_t* end = nullptr;
  const unsigned long long handle = std::wcstoull(arguments[2], &end, 10);
  if (end == arguments[2] || *end != L'\0' || arguments[3][0] == L'\0') return std::nullopt;
  return FinishArguments{reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)), arguments[3]};
}

std::wstring FinishCommandLine(const std::wstring& copyPath, HANDLE original, const std::wstring& folder) {
  return Quoted(copyPath) + L" " + finishSwitch + L" " +
         std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(original))) + L" " +
         Quoted(folder);
}

bool StartTemporaryCopy(const std::wstring& program, const std::wstring& folder, std::wstring* copyPath) {
  const std::wstring temporaryFolder = TemporaryFolder();
  const std::wstring copy = NewTemporaryFile(temporaryFolder);
  if (copy.empty()) return false;
  // The installed program is read-only; its copy must be deletable.
  if (!CopyFileW(program.c_str(), copy.c_str(), FALSE) || !SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL)) {
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(copy.c_str());
    return false;
  }
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0)) {
    DeleteFileW(copy.c_str());
    return false;
  }
  const kv::unique_handle inheritedSelf(self);
  std::wstring commandLine = FinishCommandLine(copy, self, folder);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // The copy runs in the temporary folder, so that it holds no folder of the installation open.
  if (!CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, temporaryFolder.c_str(),
                      &startup, &process)) {
    DeleteFileW(copy.c_str());
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (copyPath) *copyPath = copy;
  return true;
}

void WaitForOriginal(HANDLE original) {
  if (!original) return;
  // A value that is no handle of this process fails at once and is not closed.
  if (WaitForSingleObject(original, originalEndWaitMs) == WAIT_FAILED) return;
  const kv::unique_handle inherited(original);
}

bool ScheduleRemovalAtRestart(const std::wstring& path) {
  return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

}  // namespace uninstall
