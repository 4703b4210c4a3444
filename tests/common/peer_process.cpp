#include "common/peer_process.h"

#include "common/test_environment.h"

namespace test {

namespace {

// Long enough for a loaded machine; a peer that takes longer is broken.
constexpr DWORD peer_wait_ms = 60000;

std::wstring peer_path() { return (test_program_folder() / L"support_peer.exe").wstring(); }

DWORD exit_code_after_wait(HANDLE process) {
  if (WaitForSingleObject(process, peer_wait_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process, peer_failed);
    WaitForSingleObject(process, peer_wait_ms);
    return peer_failed;
  }
  DWORD code = peer_failed;
  GetExitCodeProcess(process, &code);
  return code;
}

}  // namespace

std::wstring unique_object_name(const std::wstring& prefix) {
  static LONG counter = 0;
  return prefix + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(InterlockedIncrement(&counter));
}

peer_process::peer_process(const std::wstring& command, const std::wstring& argument, HANDLE token) {
  const std::wstring readyName = unique_object_name(L"Local\\gradivo-peer-ready");
  const std::wstring quitName = unique_object_name(L"Local\\gradivo-peer-quit");
  ready_.reset(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
  quit_.reset(CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
  std::wstring commandLine =
      L"\"" + peer_path() + L"\" " + command + L" \"" + argument + L"\" " + readyName + L" " + quitName;
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION process{};
  const BOOL created =
      token ? CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process)
            : CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process);
  if (!created) {
    startError_ = GetLastError();
    return;
  }
  CloseHandle(process.hThread);
  process_.reset(process.hProcess);
}

peer_process::~peer_process() {
  if (process_) finish();
}

bool peer_process::wait_ready() {
  if (!process_) return false;
  HANDLE handles[] = {ready_.get(), process_.get()};
  return WaitForMultipleObjects(2, handles, FALSE, peer_wait_ms) == WAIT_OBJECT_0;
}

DWORD peer_process::finish() {
  if (!process_) return peer_failed;
  SetEvent(quit_.get());
  const DWORD code = exit_code_after_wait(process_.get());
  process_.reset();
  return code;
}

DWORD run_peer(const std::wstring& command, const std::wstring& argument, HANDLE token) {
  peer_process peer(command, argument, token);
  return peer.finish();
}

}  // namespace test
