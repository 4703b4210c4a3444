#include "lifecycle/machine_files.h"

#include <shlobj.h>

#include "lifecycle/installer_driver.h"
#include "support/encoding.h"

namespace lifecycle {

namespace {

// The folder of ScratchFile: the test's own logs and programs, not the machine's state.
bool IsScratch(const std::wstring& path) {
  static const std::wstring scratch = std::filesystem::path(ScratchFile(L"x")).parent_path().wstring();
  return path.size() >= scratch.size() && _wcsnicmp(path.c_str(), scratch.c_str(), scratch.size()) == 0 &&
         (path.size() == scratch.size() || path[scratch.size()] == L'\\');
}

}  // namespace

MachineFiles ReadMachineFiles() {
  // The users' folder holds every profile with its data, desktop, Start menu and temporary folder.
  const std::filesystem::path publicDesktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::wstring users = publicDesktop.parent_path().parent_path().wstring();
  MachineFiles files;
  const std::wstring roots[] = {ShellFolder(CSIDL_PROGRAM_FILESX86), ShellFolder(CSIDL_PROGRAM_FILES),
                                ShellFolder(CSIDL_COMMON_APPDATA), users};
  for (const std::wstring& root : roots) {
    for (const auto& [relative, stamp] : ReadFileTree(root)) {
      const std::wstring path = root + L"\\" + relative;
      if (!IsScratch(path)) files[path] = stamp;
    }
  }
  return files;
}

std::vector<std::wstring> FileChanges(const MachineFiles& before, const MachineFiles& after) {
  std::vector<std::wstring> changes;
  auto old = before.begin();
  auto now = after.begin();
  while (old != before.end() || now != after.end()) {
    if (now == after.end() || (old != before.end() && old->first < now->first)) {
      changes.push_back(L"removed " + (old++)->first);
    } else if (old == before.end() || now->first < old->first) {
      changes.push_back(L"added " + (now++)->first);
    } else {
      if (!(old->second == now->second)) changes.push_back(L"changed " + now->first);
      ++old;
      ++now;
    }
  }
  return changes;
}

std::string Describe(const std::vector<std::wstring>& changes) {
  std::string text;
  for (const std::wstring& change : changes) text += "\n  " + kv::wide_to_utf8(change);
  return text;
}

}  // namespace lifecycle
