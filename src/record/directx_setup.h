#pragma once
// The DirectX runtime update: the DirectX setup library "DSetup.dll" that the payload places in the
// run's temporary folder, loaded and run on the user-interface thread.

#include <windows.h>

#include <string>

#include "support/handles.h"

class DirectXSetup {
 public:
  // The lowest library this program runs: DirectX 9 (version 0x00040009), revision 903.
  static constexpr unsigned long minimumVersion = 0x00040009;
  static constexpr unsigned long minimumRevision = 903;
  // Install the runtime with both driver flags (DSETUP_DIRECTX).
  static constexpr unsigned long setupFlags = 0x10018;

  // Loads "<folder>\DSetup.dll" and keeps it only when it reports a usable version.
  explicit DirectXSetup(std::wstring folder);

  bool available() const noexcept { return static_cast<bool>(library_); }
  // Runs the update with owner as the library's parent window; true for the library's results 0
  // and 1 (1: a restart is needed, which is not reported).
  bool Run(HWND owner);

 private:
  std::wstring folder_;
  kv::unique_hmodule library_;
};
