#include "record/shortcuts.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "support/handles.h"

namespace {

// COM for the calling thread, for as long as the object lives, when it could be initialised.
class ComApartment {
 public:
  ComApartment() {
    const HRESULT result = CoInitialize(nullptr);
    initialised_ = result == S_OK || result == S_FALSE;
  }
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool initialised() const noexcept { return initialised_; }

 private:
  bool initialised_ = false;
};

bool SaveShellLink(const std::wstring& target, const wchar_t* workingFolder, const wchar_t* shortcutPath) {
  kv::com_ptr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
    return false;
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(workingFolder);
  kv::com_ptr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return false;
  return SUCCEEDED(file->Save(shortcutPath, TRUE));
}

}  // namespace

bool CreateShortcut(const std::wstring& target, const std::wstring& folder, const std::optional<std::wstring>& name,
                    std::wstring* shortcutPath) {
  wchar_t workingFolder[MAX_PATH] = {};
  lstrcpynW(workingFolder, target.c_str(), MAX_PATH);
  if (!PathRemoveFileSpecW(workingFolder)) return false;

  std::wstring linkName;
  if (name) {
    linkName = *name;
  } else {
    wchar_t fileName[MAX_PATH] = {};
    const wchar_t* found = PathFindFileNameW(target.c_str());
    if (!found || !*found) return false;
    lstrcpynW(fileName, found, MAX_PATH);
    PathRemoveExtensionW(fileName);
    linkName = fileName;
  }

  wchar_t path[MAX_PATH] = {};
  lstrcpynW(path, folder.c_str(), MAX_PATH);
  if (!PathAppendW(path, linkName.c_str())) return false;
  const std::wstring linkPath = std::wstring(path) + L".lnk";

  const ComApartment apartment;
  if (!apartment.initialised()) return false;
  if (!SaveShellLink(target, workingFolder, linkPath.c_str())) return false;
  if (shortcutPath) *shortcutPath = linkPath;
  return true;
}

std::wstring DesktopFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE)) return folder;
  if (SHGetSpecialFolderPathW(nullptr, folder, CSIDL_DESKTOPDIRECTORY, FALSE)) return folder;
  return {};
}
