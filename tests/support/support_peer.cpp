// support_peer.exe: the second process of the tests of named objects and security checks. It runs
// one command of the support library and reports through its exit code:
//
//   support_peer COMMAND ARGUMENT [READY QUIT]
//
//   join APPID           joins the instance counter of APPID, then holds (see below)   exit 0
//   count APPID          joins the instance counter of APPID                            exit kv::instance_count()
//   lock NAME            try-locks the machine-wide mutex NAME, then holds              exit 1 when it owned it
//   open NAME            opens the machine-wide mutex NAME without locking it, holds    exit 0
//   try-lock NAME        try-locks the machine-wide mutex NAME                          exit 1 when it took it
//   abandon NAME         locks the mutex NAME and ends without releasing it            exit 3
//   is-admin -           kv::is_user_admin                                               exit 1 when true
//   is-admin-fallback -  kv::is_user_admin without CheckTokenMembership                 exit 1 when true
//   set-privilege NAME   kv::set_privilege(NAME, true)                                   exit 1 when true
//   hold-file PATH       opens the existing file PATH sharing nothing, then holds       exit 0
//   hold-unreadable PATH opens or creates the file PATH letting others write it but not
//                        read, move or delete it (as a virus scanner may), then holds   exit 0
//
// The two file commands exit with 1, without signalling READY, when the file cannot be opened.
//
// A command that holds signals the named event READY once it has done its work, then waits for
// the named event QUIT (at most two minutes, so a forgotten peer ends by itself). Usage errors
// exit with 200.
#include <windows.h>

#include <string>

#include "support/handles.h"
#include "support/security.h"
#include "support/security_functions.h"
#include "support/sync_objects.h"

namespace {

constexpr int usage_error = 200;
constexpr DWORD longest_hold_ms = 120000;

// Signals ready, then waits for quit.
void hold(const wchar_t* ready, const wchar_t* quit) {
  kv::unique_handle quitEvent(OpenEventW(SYNCHRONIZE, FALSE, quit));
  kv::unique_handle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
  if (readyEvent) SetEvent(readyEvent.get());
  if (quitEvent) WaitForSingleObject(quitEvent.get(), longest_hold_ms);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return usage_error;
  const std::wstring command = argv[1];
  const std::wstring argument = argv[2];
  const wchar_t* ready = argc > 3 ? argv[3] : L"";
  const wchar_t* quit = argc > 4 ? argv[4] : L"";

  if (command == L"join") {
    kv::join_instance_counter(argument);
    hold(ready, quit);
    return 0;
  }
  if (command == L"count") {
    kv::join_instance_counter(argument);
    return static_cast<int>(kv::instance_count());
  }
  if (command == L"lock" || command == L"open" || command == L"try-lock" || command == L"abandon") {
    kv::named_mutex mutex(argument, false, true);
    if (command == L"open") {
      hold(ready, quit);
      return 0;
    }
    const bool locked = mutex.try_lock();
    if (command == L"abandon") TerminateProcess(GetCurrentProcess(), locked ? 3 : 0);
    if (command == L"lock") hold(ready, quit);
    return locked ? 1 : 0;
  }
  if (command == L"is-admin") return kv::is_user_admin() ? 1 : 0;
  if (command == L"is-admin-fallback") {
    const kv::details::security_entry_override missing(kv::details::security_function::check_token_membership,
                                                       nullptr);
    return kv::is_user_admin() ? 1 : 0;
  }
  if (command == L"set-privilege") return kv::set_privilege(argument.c_str(), true) ? 1 : 0;
  if (command == L"hold-file" || command == L"hold-unreadable") {
    const bool unreadable = command == L"hold-unreadable";
    const kv::unique_file file(CreateFileW(argument.c_str(), GENERIC_READ, unreadable ? FILE_SHARE_WRITE : 0, nullptr,
                                           unreadable ? OPEN_ALWAYS : OPEN_EXISTING, 0, nullptr));
    if (!file) return 1;
    hold(ready, quit);
    return 0;
  }
  return usage_error;
}
