#include "common/installation_removal.h"

#include <windows.h>

#include "common/test_environment.h"
#include "record/installation_record.h"

namespace test {

void remove_installation(const std::wstring& recordFile) {
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.Read(recordFile);
  // The record file lies in the installation folder, which goes with the other folders.
  SetFileAttributesW(recordFile.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(recordFile.c_str());
  const auto& entries = record.previousEntries();
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    if (entry->kind == RecordEntryKind::CreatedFolder) {
      RemoveDirectoryW(entry->text.c_str());
    } else if (entry->kind <= RecordEntryKind::DesktopShortcut) {
      SetFileAttributesW(entry->text.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(entry->text.c_str());
    }
  }
  delete_registry_tree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7");
  delete_registry_tree(HKEY_LOCAL_MACHINE, L"Software\\Veltram & Ruziruzu");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".gvp");
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Gradivo.Project");
}

}  // namespace test
