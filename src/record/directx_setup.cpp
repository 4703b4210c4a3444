#include "record/directx_setup.h"

#include <exception>
#include <utility>

#include "ui/message_pump.h"

namespace {

// The library's published interface.
using GetVersionFunction = INT(WINAPI*)(DWORD* version, DWORD* revision);
using SetupCallback = DWORD(WINAPI*)(DWORD reason, DWORD messageType, LPSTR message, LPSTR name, void* info);
using SetCallbackFunction = INT(WINAPI*)(SetupCallback callback);
using SetupFunction = INT(WINAPI*)(HWND window, LPWSTR sourceFolder, DWORD flags);

constexpr DWORD progressReason = 18;

// An exception that a window's handler raised while the library was running: it must not unwind
// through the library's frames, so it waits here until the library has returned.
std::exception_ptr pendingFailure;

// Answers OK to everything; on progress the windows are kept alive while the library works.
DWORD WINAPI OnSetupCallback(DWORD reason, DWORD, LPSTR, LPSTR, void*) {
  if (reason == progressReason && !pendingFailure) {
    try {
      ui::PumpWaitingMessages();
    } catch (...) {
      pendingFailure = std::current_exception();
    }
  }
  return 1;
}

template <typename Function>
Function Export(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

DirectXSetup::DirectXSetup(std::wstring folder) : folder_(std::move(folder)) {
  std::wstring path = folder_;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  path += L"DSetup.dll";
  library_.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
  if (!library_) library_.reset(LoadLibraryExW(path.c_str(), nullptr, 0));
  if (!library_) return;
  const auto getVersion = Export<GetVersionFunction>(library_.get(), "DirectXSetupGetVersion");
  DWORD version = 0, revision = 0;
  if (!getVersion || !getVersion(&version, &revision) || version < minimumVersion || revision < minimumRevision)
    library_.reset();
}

bool DirectXSetup::Run(HWND owner) {
  if (!library_) return false;
  const auto setCallback = Export<SetCallbackFunction>(library_.get(), "DirectXSetupSetCallback");
  const auto setup = Export<SetupFunction>(library_.get(), "DirectXSetupW");
  if (!setCallback || !setup) return false;
  setCallback(&OnSetupCallback);
  pendingFailure = nullptr;
  const INT result = setup(owner, folder_.data(), setupFlags);
  if (pendingFailure) std::rethrow_exception(std::exchange(pendingFailure, nullptr));
  return result == 0 || result == 1;
}
