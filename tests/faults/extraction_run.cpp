#include "faults/extraction_run.h"

#include <windows.h>

#include <shlobj.h>

#include <utility>

#include <fstream>
#include <iterator>
#include <variant>

#include "archive_writer.h"
#include "engine/destinations.h"
#include "engine/payload_extractor.h"
#include "faults/sample_archive.h"
#include "support/handles.h"
#include "support/memory_stream.h"

namespace faults {

namespace {

const wchar_t* const destinationFolders[] = {L"install", L"samples", L"common", L"user", L"tmp"};

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? value : L"";
}

void SetEnvironment(const wchar_t* name, const std::wstring& value) {
  SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// path lies below base (letter case aside), and no element after base is made of dots and blanks
// only: such an element names the folder itself or its parent once the system trims it.
bool StaysBelow(const std::wstring& path, const std::wstring& base) {
  if (path.size() <= base.size() + 1 || !IsSeparator(path[base.size()])) return false;
  if (CompareStringOrdinal(path.c_str(), static_cast<int>(base.size()), base.c_str(), static_cast<int>(base.size()),
                           TRUE) != CSTR_EQUAL)
    return false;
  std::wstring element;
  for (std::size_t i = base.size() + 1; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      if (element.empty() || element.find_first_not_of(L". ") == std::wstring::npos) return false;
      element.clear();
    } else {
      element += path[i];
    }
  }
  return true;
}

}  // namespace

std::uint32_t FileContentCrc(const std::filesystem::path& path, std::uint64_t& size) {
  std::ifstream in(path, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size = content.size();
  return PayloadCrc32(content);
}

ExtractionRun::ExtractionRun(std::filesystem::path root)
    : root_(std::move(root)), savedTmp_(Environment(L"TMP")), savedTemp_(Environment(L"TEMP")) {
  std::filesystem::create_directories(root_ / L"tmp");
  const std::wstring tmp = (root_ / L"tmp").wstring() + L"\\";
  SetEnvironment(L"TMP", tmp);
  SetEnvironment(L"TEMP", tmp);
  RedirectRegistryRoots();
}

ExtractionRun::~ExtractionRun() {
  if (!finished_) Finish();
  RestoreRegistryRoots();
  SetEnvironment(L"TMP", savedTmp_);
  SetEnvironment(L"TEMP", savedTemp_);
}

// Keys of this process below the user's real key stand for the user's and the machine's roots;
// their "User Shell Folders" name the run's data folders.
void ExtractionRun::RedirectRegistryRoots() {
  redirectKey_ = L"Software\\Gradivo fault tests\\" + std::to_wstring(GetCurrentProcessId());
  const std::pair<HKEY, std::pair<const wchar_t*, std::wstring>> roots[] = {
      {HKEY_CURRENT_USER, {L"AppData", (root_ / L"user").wstring()}},
      {HKEY_LOCAL_MACHINE, {L"Common AppData", (root_ / L"common").wstring()}},
  };
  std::vector<kv::unique_hkey> standIns;
  for (const auto& [predefined, folder] : roots) {
    const std::wstring standIn = redirectKey_ + (predefined == HKEY_CURRENT_USER ? L"\\user" : L"\\machine");
    HKEY key = nullptr, shellFolders = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, standIn.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    standIns.emplace_back(key);
    RegCreateKeyExW(key, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0, nullptr,
                    0, KEY_ALL_ACCESS, nullptr, &shellFolders, nullptr);
    const kv::unique_hkey owned(shellFolders);
    const std::wstring& path = folder.second;
    RegSetValueExW(shellFolders, folder.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }
  RegOverridePredefKey(HKEY_CURRENT_USER, standIns[0].get());
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, standIns[1].get());
}

void ExtractionRun::RestoreRegistryRoots() {
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  RegDeleteTreeW(HKEY_CURRENT_USER, redirectKey_.c_str());
  const std::size_t parent = redirectKey_.rfind(L'\\');
  RegDeleteKeyW(HKEY_CURRENT_USER, redirectKey_.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, redirectKey_.substr(0, parent).c_str());  // stays while another run uses it
}

bool ExtractionRun::redirected() const {
  try {
    return GetSystemFolder(CSIDL_COMMON_APPDATA, CSIDL_APPDATA) == (root_ / L"common").wstring() &&
           GetSystemFolder(CSIDL_APPDATA) == (root_ / L"user").wstring();
  } catch (const std::system_error&) {
    return false;
  }
}

ExtractionOutcome ExtractionRun::Extract(std::string_view compressed) {
  kv::basic_imemstream source(compressed.data(), compressed.size());
  return Extract(source);
}

ExtractionOutcome ExtractionRun::Extract(std::istream& compressed) {
  outcome_ = {};
  finished_ = false;
  options_.installFolder = installFolder();
  options_.temporaryFolder = (root_ / L"tmp" / L"run").wstring();
  temporaryFiles_ = std::make_unique<TemporaryFileList>(options_.temporaryFolder);
  placement_ = std::make_unique<FilePlacement>(options_, *temporaryFiles_);
  outcome_.succeeded = ExtractPayload(compressed, options_.installFolder, (root_ / L"samples").wstring(),
                                      options_.temporaryFolder,
                                      [this](notification message) { return OnNotification(message); });
  return outcome_;
}

bool ExtractionRun::StaysInDestinations(const std::wstring& destination) const {
  for (const wchar_t* folder : {L"install", L"samples", L"common", L"user"})
    if (StaysBelow(destination, (root_ / folder).wstring())) return true;
  return StaysBelow(destination, options_.temporaryFolder);
}

notification::result ExtractionRun::OnNotification(const notification& message) {
  if (const auto* begin = std::get_if<notification::file_begin>(&message)) {
    const PayloadEntry& entry = begin->entry;
    if (!StaysInDestinations(entry.destination)) {
      outcome_.escapes.push_back(entry.destination);
      return notification::result::abort;
    }
    outcome_.begun.push_back({entry.destination, entry.size, entry.crc});
    return placement_->OnFileBegin(entry).result;
  }
  if (const auto* end = std::get_if<notification::file_end>(&message)) {
    placement_->OnFileEnd(end->entry);
    ++outcome_.ended;
  }
  if (const auto* failure = std::get_if<notification::failure>(&message)) {
    if (options_.record.entryOpen()) options_.record.CloseEntry(false);
    outcome_.failure = std::error_code(failure->value, failure->category);
    outcome_.failurePath = failure->path;
    return notification::result::abort;
  }
  return notification::result::proceed;
}

void ExtractionRun::Finish(bool undoSuccess) {
  if (!outcome_.succeeded || undoSuccess) options_.record.Rollback();
  placement_.reset();
  temporaryFiles_.reset();
  finished_ = true;
}

std::vector<std::wstring> ExtractionRun::StrangersInRoot() const {
  std::vector<std::wstring> strangers;
  std::error_code ignored;
  for (const auto& item : std::filesystem::directory_iterator(root_, ignored)) {
    const std::wstring name = item.path().filename().wstring();
    bool known = false;
    for (const wchar_t* folder : destinationFolders) known = known || name == folder;
    if (!known) strangers.push_back(item.path().wstring());
  }
  return strangers;
}

std::vector<std::wstring> ExtractionRun::EverythingBelowRoot() const {
  std::vector<std::wstring> items;
  std::error_code ignored;
  const std::filesystem::path tmp = root_ / L"tmp";
  for (const auto& item : std::filesystem::recursive_directory_iterator(root_, ignored))
    if (item.path() != tmp) items.push_back(item.path().wstring());
  return items;
}

std::wstring ExtractionRun::CompareWithEntries(const std::vector<PayloadEntry>& entries) const {
  if (outcome_.begun.size() != entries.size())
    return L"files begun: " + std::to_wstring(outcome_.begun.size()) + L" of " + std::to_wstring(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const BegunFile& file = outcome_.begun[i];
    const std::filesystem::path path(file.path);
    std::uint64_t size = 0;
    const std::uint32_t crc = FileContentCrc(path, size);
    if (path.filename().wstring() != SourceFileName(entries[i]) || file.size != entries[i].size ||
        file.crc != entries[i].crc || size != entries[i].size || crc != entries[i].crc)
      return L"entry " + std::to_wstring(i) + L" differs: " + file.path;
  }
  return {};
}

}  // namespace faults
