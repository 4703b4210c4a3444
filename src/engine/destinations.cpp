#include "engine/destinations.h"

#include <windows.h>
#include <shlobj.h>

#include <system_error>

#include "engine/payload_archive.h"
#include "record/same_path.h"
#include "support/paths.h"
#include "support/wow64.h"

namespace {

// How a macro finds its base folder.
enum class BaseSource { InstallFolder, SampleFolder, ShellFolder, TemporaryFolder };

struct Macro {
  const wchar_t* name;
  BaseSource source;
  int csidl;
  int fallback;
  bool registers;  // the folders below the base are shared
};

// In the order in which they are tested.
const Macro macros[] = {
    {L"<InstallPath>", BaseSource::InstallFolder, -1, -1, false},
    {L"<SamplePath>", BaseSource::SampleFolder, -1, -1, false},
    {L"<ProgramFiles>", BaseSource::ShellFolder, kv::program_files_csidl(), -1, false},
    {L"<ProgramCommon>", BaseSource::ShellFolder, kv::program_files_common_csidl(), -1, false},
    {L"<CommonData>", BaseSource::ShellFolder, CSIDL_COMMON_APPDATA, CSIDL_APPDATA, true},
    {L"<UserData>", BaseSource::ShellFolder, CSIDL_APPDATA, -1, false},
    {L"<CommonDocuments>", BaseSource::ShellFolder, CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL, true},
    {L"<Documents>", BaseSource::ShellFolder, CSIDL_PERSONAL, -1, false},
    {L"<CommonDesktop>", BaseSource::ShellFolder, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true},
    {L"<Desktop>", BaseSource::ShellFolder, CSIDL_DESKTOPDIRECTORY, -1, false},
    {L"<WinDir>", BaseSource::ShellFolder, CSIDL_WINDOWS, -1, false},
    {L"<System>", BaseSource::ShellFolder, CSIDL_SYSTEM, -1, false},
    {L"<Temporary>", BaseSource::TemporaryFolder, -1, -1, false},
};

[[noreturn]] void FailUnexpected(const char* what) {
  throw std::system_error(make_error_code(compress_error::unexpected), what);
}

// The elements of a path: the texts between "\" and "/" separators, empty ones left out.
std::vector<std::wstring> SplitElements(const std::wstring& path) {
  std::vector<std::wstring> elements;
  std::wstring current;
  for (wchar_t c : path) {
    if (c == L'\\' || c == L'/') {
      if (!current.empty()) elements.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) elements.push_back(std::move(current));
  return elements;
}

// An element made of dots and blanks only ("..", ".", "...", ".. "): the system trims trailing
// dots and blanks from path elements, so such an element names its own folder or the one above,
// never a folder below the base.
bool LeavesItsFolder(const std::wstring& element) { return element.find_first_not_of(L". ") == std::wstring::npos; }

std::wstring Join(const std::wstring& base, const std::wstring& element) {
  if (base.empty()) return element;
  if (base.back() == L'\\' || base.back() == L'/') return base + element;
  return base + L'\\' + element;
}

// The sample folder: an absolute one as it is; a relative one below the all-users desktop, and
// then it is shared; none at all means the all-users desktop itself.
std::wstring SampleBase(DestinationFolders& folders) {
  const std::wstring& sample = folders.sampleFolder;
  if (kv::is_rooted_path(sample)) return sample;
  const std::wstring desktop = GetSystemFolder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY);
  if (sample.empty()) return desktop;
  std::wstring base = desktop;
  for (const std::wstring& element : SplitElements(sample)) {
    if (LeavesItsFolder(element)) FailUnexpected("sample folder leaves the desktop");
    base = Join(base, element);
  }
  AddSharedFolder(folders.sharedFolders, base);
  return base;
}

std::wstring MacroBase(const Macro& macro, DestinationFolders& folders) {
  switch (macro.source) {
    case BaseSource::InstallFolder:
      return folders.installFolder;
    case BaseSource::SampleFolder:
      return SampleBase(folders);
    case BaseSource::TemporaryFolder:
      return folders.temporaryFolder.empty() ? folders.installFolder : folders.temporaryFolder;
    case BaseSource::ShellFolder:
      break;
  }
  for (const auto& [csidl, path] : folders.shellFolders)
    if (csidl == macro.csidl) return path;
  std::wstring path = GetSystemFolder(macro.csidl, macro.fallback);
  folders.shellFolders.emplace_back(macro.csidl, path);
  return path;
}

}  // namespace

std::wstring GetSystemFolder(int csidl, int fallbackCsidl) {
  for (int id : {csidl, fallbackCsidl}) {
    if (id < 0) continue;
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(kv::owner_window(), id, nullptr, 0, path);
    if (path[0] != L'\0') return path;
  }
  FailUnexpected("system folder not found");
}

void AddSharedFolder(std::vector<SharedFolder>& list, const std::wstring& folder) {
  // Most destinations repeat a folder word for word; only a new text needs the look at the disk.
  for (const SharedFolder& shared : list)
    if (shared.path == folder) return;
  for (const SharedFolder& shared : list)
    if (IsSamePath(shared.path, folder)) return;
  list.push_back({folder, false});
}

std::wstring ResolveDestination(const std::wstring& destination, DestinationFolders& folders) {
  const std::vector<std::wstring> elements = SplitElements(destination);
  const bool isMacro = !elements.empty() && elements[0].size() >= 2 && elements[0].front() == L'<' &&
                       elements[0].back() == L'>';
  if (!isMacro) {
    // A plain folder is used as it stands; one relative to the current folder is never written to.
    if (!kv::is_rooted_path(destination)) FailUnexpected("destination without a base folder");
    for (const std::wstring& element : elements)
      if (LeavesItsFolder(element)) FailUnexpected("destination leaves its folder");
    return destination;
  }
  const Macro* macro = nullptr;
  for (const Macro& candidate : macros)
    if (elements[0] == candidate.name) {
      macro = &candidate;
      break;
    }
  if (!macro) FailUnexpected("unknown destination macro");
  std::wstring path = MacroBase(*macro, folders);
  if (path.empty()) FailUnexpected("destination folder is empty");
  for (std::size_t i = 1; i < elements.size(); ++i) {
    if (LeavesItsFolder(elements[i])) FailUnexpected("destination leaves its folder");
    path = Join(path, elements[i]);
    if (macro->registers) AddSharedFolder(folders.sharedFolders, path);
  }
  return path;
}
