// Uninstallation: after a real installation, the uninstaller started as the system's list of
// programs starts it (the Uninstall key's "UninstallString") and answered as a person answers.
// Yes removes everything of the product but a library the user changed since (and the folders
// that hold it), also when the record was written as narrow text; No changes nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"
#include "lifecycle/machine_files.h"
#include "lifecycle/uninstaller_driver.h"
#include "support/encoding.h"

namespace lifecycle {
namespace {

using namespace std::chrono_literals;

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// The machine after a quick installation on which the user then changed a parts library.
struct InstalledMachine {
  MachineFiles beforeInstallation;
  Destinations destinations;
  std::wstring changedLibrary;
  std::string changedBytes = "the user's own parts";
};

InstalledMachine InstallAndChangeALibrary() {
  InstalledMachine machine;
  machine.beforeInstallation = ReadMachineFiles();
  InstallQuickly();
  for (const PayloadFile& file : PayloadFiles()) {
    if (file.kind != 3) continue;
    machine.changedLibrary = machine.destinations.PathOf(file);
    break;
  }
  WriteFileBytes(machine.changedLibrary, machine.changedBytes);
  return machine;
}

// Rewrites the record without byte-order mark in the ANSI code page, as narrow text, keeping its
// attributes.
void MakeRecordNarrow(const std::wstring& path) {
  const DWORD attributes = FileAttributes(path);
  const std::optional<std::string> bytes = FileBytes(path);
  ASSERT_TRUE(bytes && bytes->size() >= 2 && bytes->compare(0, 2, "\xFF\xFE") == 0);
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes->size(); i += 2)
    text += static_cast<wchar_t>(static_cast<unsigned char>((*bytes)[i]) |
                                 (static_cast<unsigned char>((*bytes)[i + 1]) << 8));
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, &lossy);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, &lossy);
  ASSERT_FALSE(lossy) << "the record holds characters outside the ANSI code page " << GetACP();
  WriteFileBytes(path, narrow);
  SetFileAttributesW(path.c_str(), attributes);
}

// The files the system deletes at its next start (PendingFileRenameOperations: pairs of a path in
// "\??\" form and an empty target).
std::vector<std::wstring> FilesRemovedAtRestart() {
  std::vector<std::wstring> files;
  const auto values = RegistryValues(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager");
  const auto found = values.find(L"PendingFileRenameOperations");
  if (found == values.end() || found->second.type != REG_MULTI_SZ) return files;
  const auto& data = found->second.data;
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(text.size() * sizeof(wchar_t)),
            reinterpret_cast<BYTE*>(text.data()));
  std::vector<std::wstring> strings;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(L'\0', start), text.size());
    strings.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    std::wstring source = strings[i];
    if (source.rfind(L"\\??\\", 0) == 0) source.erase(0, 4);
    if (!source.empty() && strings[i + 1].empty()) files.push_back(source);
  }
  return files;
}

bool RemovedAtRestart(const std::wstring& path, const std::vector<std::wstring>& pending) {
  return std::any_of(pending.begin(), pending.end(),
                     [&](const std::wstring& file) { return _wcsicmp(file.c_str(), path.c_str()) == 0; });
}

// Whether the key exists in either view of the registry.
bool KeyExistsInAnyView(HKEY root, const std::wstring& subkey) {
  for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
      RegCloseKey(key);
      return true;
    }
  }
  return false;
}

std::string Lines(const std::vector<std::wstring>& lines) {
  std::string text;
  for (const std::wstring& line : lines) text += "\n  " + kv::wide_to_utf8(line);
  return text;
}

enum class RecordText { Utf16, Narrow };

void PrintTo(RecordText text, std::ostream* out) { *out << (text == RecordText::Utf16 ? "UTF-16 record" : "narrow record"); }

class UninstallYes : public testing::TestWithParam<RecordText> {};

TEST_P(UninstallYes, RemovesEverythingButTheLibraryTheUserChanged) {
  const InstalledMachine machine = InstallAndChangeALibrary();
  if (GetParam() == RecordText::Narrow) {
    ASSERT_NO_FATAL_FAILURE(MakeRecordNarrow(machine.destinations.RecordPath()));
  }
  const std::wstring log = ScratchFile(L"uninstall.log");

  Uninstaller uninstaller(StoredUninstallCommand(), {{L"GRADIVO_UNINSTALL_LOG", log}});
  const MessageBoxView question = uninstaller.WaitForMessageBox();
  EXPECT_TRUE(question.HasButton(IDYES) && question.HasButton(IDNO)) << testing::PrintToString(question.text);
  EXPECT_TRUE(Contains(question.text, L"Gradivo 7.17a")) << testing::PrintToString(question.text);
  uninstaller.Answer(question, IDYES);
  const MessageBoxView done = uninstaller.WaitForMessageBox(60s);
  EXPECT_EQ(done.buttons, std::vector<int>{IDOK}) << testing::PrintToString(done.text);
  uninstaller.Answer(done, IDOK);
  EXPECT_EQ(uninstaller.WaitForEnd(), 0u) << "the uninstaller's actions:" << Lines(TextLines(log));

  // Compared with the machine before the installation, only the changed library and the folders
  // that hold it were added; the uninstaller's own copy in the temporary folder may wait for the
  // next start of the system, which deletes it.
  std::vector<std::wstring> expected;
  const std::wstring commonData = ShellFolder(CSIDL_COMMON_APPDATA);
  for (std::wstring path = machine.changedLibrary; path != commonData && !machine.beforeInstallation.count(path);
       path = Parent(path))
    expected.push_back(L"added " + path);
  std::sort(expected.begin(), expected.end());
  const std::vector<std::wstring> pending = FilesRemovedAtRestart();
  std::vector<std::wstring> changes;
  for (const std::wstring& change : FileChanges(machine.beforeInstallation, ReadMachineFiles()))
    if (!(change.rfind(L"added ", 0) == 0 && RemovedAtRestart(change.substr(6), pending))) changes.push_back(change);
  EXPECT_EQ(changes, expected) << "the uninstaller's actions:" << Lines(TextLines(log));
  EXPECT_TRUE(FileBytes(machine.changedLibrary) == machine.changedBytes);

  EXPECT_FALSE(KeyExistsInAnyView(HKEY_LOCAL_MACHINE, uninstallKey));
  EXPECT_FALSE(RegistryString(HKEY_LOCAL_MACHINE, makerKey, productPathValue).has_value());
  EXPECT_FALSE(KeyExistsInAnyView(HKEY_CLASSES_ROOT, L".gvp"));
  EXPECT_FALSE(KeyExistsInAnyView(HKEY_CLASSES_ROOT, L"Gradivo.Project"));
}

INSTANTIATE_TEST_SUITE_P(Record, UninstallYes, testing::Values(RecordText::Utf16, RecordText::Narrow),
                         [](const testing::TestParamInfo<RecordText>& parameter) {
                           return parameter.param == RecordText::Utf16 ? "Utf16" : "NarrowAnsi";
                         });

// What an installation keeps in the registry, in the installer's view.
struct ProductRegistry {
  std::map<std::wstring, RegistryValue> uninstallEntry = RegistryValues(HKEY_LOCAL_MACHINE, uninstallKey);
  std::map<std::wstring, RegistryValue> makerValues = RegistryValues(HKEY_LOCAL_MACHINE, makerKey);
  std::optional<std::wstring> projectType = RegistryString(HKEY_CLASSES_ROOT, L".gvp", L"");
  std::optional<std::wstring> openCommand = RegistryString(HKEY_CLASSES_ROOT, L"Gradivo.Project\\shell\\open\\command", L"");
  bool operator==(const ProductRegistry&) const = default;
};

TEST(UninstallNo, LeavesTheInstallationAsItWas) {
  const InstalledMachine machine = InstallAndChangeALibrary();
  const MachineFiles installed = ReadMachineFiles();
  const ProductRegistry registry;
  ASSERT_FALSE(registry.uninstallEntry.empty());
  const std::wstring log = ScratchFile(L"uninstall.log");

  Uninstaller uninstaller(StoredUninstallCommand(), {{L"GRADIVO_UNINSTALL_LOG", log}});
  const MessageBoxView question = uninstaller.WaitForMessageBox();
  uninstaller.Answer(question, IDNO);
  uninstaller.WaitForEnd();

  const std::vector<std::wstring> changes = FileChanges(installed, ReadMachineFiles());
  EXPECT_TRUE(changes.empty()) << "No changed the machine:" << Describe(changes);
  EXPECT_TRUE(ProductRegistry() == registry) << "No changed the registry";
}

}  // namespace
}  // namespace lifecycle
