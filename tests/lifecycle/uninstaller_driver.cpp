#include "lifecycle/uninstaller_driver.h"

#include <algorithm>
#include <optional>
#include <thread>

#include "lifecycle/machine_checks.h"
#include "support/encoding.h"

namespace lifecycle {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto pollInterval = std::chrono::milliseconds(50);

std::string Narrow(const std::wstring& text) { return kv::wide_to_utf8(text); }

template <typename Condition>
bool WaitUntil(std::chrono::milliseconds limit, Condition done) {
  const auto end = Clock::now() + limit;
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(pollInterval);
  }
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// A visible dialog window (a message box) of a process other than this one, or nothing.
std::optional<MessageBoxView> FindForeignMessageBox() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() || !IsWindowVisible(window) || ClassName(window) != L"#32770") return TRUE;
        reinterpret_cast<Search*>(param)->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (!search.found) return std::nullopt;
  return ReadMessageBox(search.found);
}

// Sets the variables for the lifetime of the object; what they held before comes back after.
class EnvironmentChange {
 public:
  explicit EnvironmentChange(const Environment& environment) {
    for (const auto& [name, value] : environment) {
      wchar_t old[32767];
      const DWORD length = GetEnvironmentVariableW(name.c_str(), old, 32767);
      saved_.push_back({name, length ? std::optional<std::wstring>(old) : std::nullopt});
      SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
  }
  ~EnvironmentChange() {
    for (const auto& [name, value] : saved_) SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
  }
  EnvironmentChange(const EnvironmentChange&) = delete;
  EnvironmentChange& operator=(const EnvironmentChange&) = delete;

 private:
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

}  // namespace

Uninstaller::Uninstaller(const std::wstring& commandLine, const Environment& environment) {
  const EnvironmentChange change(environment);
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    throw DriverError("cannot start " + Narrow(commandLine) + ": error " + std::to_string(GetLastError()));
  processes_.emplace_back(started.hProcess);
  processIds_.push_back(started.dwProcessId);
  const kv::unique_handle thread(started.hThread);
}

Uninstaller::~Uninstaller() {
  for (const kv::unique_handle& process : processes_) {
    if (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), 10000);
    }
  }
}

bool Uninstaller::Running() const {
  return std::any_of(processes_.begin(), processes_.end(),
                     [](const kv::unique_handle& process) { return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT; });
}

MessageBoxView Uninstaller::WaitForMessageBox(std::chrono::milliseconds limit) {
  std::optional<MessageBoxView> box;
  WaitUntil(limit, [&] {
    box = FindForeignMessageBox();
    // A copy that the first process started runs on after it: the box may still come.
    return box.has_value() || (!Running() && processIds_.size() > 1);
  });
  if (!box) throw DriverError("the uninstaller showed no message box within " + std::to_string(limit.count()) + " ms");
  DWORD id = 0;
  GetWindowThreadProcessId(box->window, &id);
  if (std::find(processIds_.begin(), processIds_.end(), id) == processIds_.end()) {
    if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)) {
      processes_.emplace_back(process);
      processIds_.push_back(id);
    }
  }
  return *box;
}

void Uninstaller::Answer(const MessageBoxView& box, int button) {
  if (!box.HasButton(button)) throw DriverError(DescribeBox(box) + " has no button " + std::to_string(button));
  SendNotifyMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
  if (!WaitUntil(defaultWait, [&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }))
    throw DriverError(DescribeBox(box) + " did not close on button " + std::to_string(button));
}

DWORD Uninstaller::WaitForEnd(std::chrono::milliseconds limit) {
  std::optional<MessageBoxView> box;
  const bool ended = WaitUntil(limit, [&] {
    box = FindForeignMessageBox();
    return box.has_value() || !Running();
  });
  if (box) throw DriverError("instead of ending, the uninstaller showed " + DescribeBox(*box));
  if (!ended) throw DriverError("the uninstaller did not end within " + std::to_string(limit.count()) + " ms");
  DWORD code = 0;
  GetExitCodeProcess(processes_.back().get(), &code);
  return code;
}

std::wstring StoredUninstallCommand() {
  const std::optional<std::wstring> command = RegistryString(HKEY_LOCAL_MACHINE, uninstallKey, L"UninstallString");
  if (!command || command->empty()) throw DriverError("the Uninstall key stores no UninstallString");
  return *command;
}

}  // namespace lifecycle
