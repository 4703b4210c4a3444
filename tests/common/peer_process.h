#pragma once
// A second process for tests of what processes share: support_peer.exe (built beside the test
// programs) running one command, with the two named events through which it tells that it has
// done its work and is told to end.

#include <windows.h>

#include <string>

#include "support/handles.h"

namespace test {

class peer_process {
 public:
  // Starts support_peer.exe with command and argument. With a token, the peer runs under that
  // primary token (CreateProcessAsUserW); started() tells whether it runs.
  peer_process(const std::wstring& command, const std::wstring& argument, HANDLE token = nullptr);
  // Tells a holding peer to end and waits for it; a peer that does not end is terminated.
  ~peer_process();
  peer_process(const peer_process&) = delete;
  peer_process& operator=(const peer_process&) = delete;

  bool started() const noexcept { return static_cast<bool>(process_); }
  // The Windows error of a failed start, 0 after a start.
  DWORD start_error() const noexcept { return startError_; }
  // Waits until the peer has done its work and holds (true), or has ended first (false).
  bool wait_ready();
  // Tells the peer to end and returns its exit code (a large value when it does not end).
  DWORD finish();

 private:
  kv::unique_handle process_;
  kv::unique_handle ready_;
  kv::unique_handle quit_;
  DWORD startError_ = 0;
};

// Runs a command of support_peer.exe to its end and returns its exit code; a large value when it
// could not be started or did not end.
DWORD run_peer(const std::wstring& command, const std::wstring& argument, HANDLE token = nullptr);

// A name for named objects of one test, unique on the machine: prefix, this process's id and a
// counter.
std::wstring unique_object_name(const std::wstring& prefix);

// The exit code finish and run_peer give for a peer that could not be started or did not end.
inline constexpr DWORD peer_failed = 0xFFFFFFF0;

}  // namespace test
