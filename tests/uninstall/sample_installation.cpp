#include "uninstall/sample_installation.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/test_environment.h"
#include "engine/product_registration.h"
#include "record/installation_record.h"
#include "record/shortcuts.h"
#include "support/handles.h"
#include "support/wow64.h"

namespace uninstall_test {

namespace {

// Places a copy of source at destination as the file placement does: recorded first (creating and
// recording the missing folders), written, closed.
void PlaceFile(InstallationRecord& record, const std::filesystem::path& source, const std::filesystem::path& destination,
               int kind) {
  record.AddFile(destination.wstring(), kind, kind == 3);
  const bool copied = CopyFileW(source.c_str(), destination.c_str(), FALSE) != FALSE;
  EXPECT_TRUE(copied) << "placing " << destination.string() << ": error " << GetLastError();
  record.CloseEntry(copied);
}

void MakeShortcut(InstallationRecord& record, int which, const std::filesystem::path& target,
                  const std::filesystem::path& folder, const std::wstring& name, std::filesystem::path* made = nullptr) {
  record.AddShortcut(which, folder.wstring());
  std::wstring path;
  const bool created = CreateShortcut(target.wstring(), folder.wstring(), name, &path);
  EXPECT_TRUE(created) << "shortcut " << Narrow(name);
  record.CloseEntry(created, created ? std::optional<std::wstring>(path) : std::nullopt);
  if (made) *made = path;
}

LSTATUS SetDefault(const std::wstring& subkey, const std::wstring& text) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const kv::unique_hkey owned(key);
  return RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The product's own registration run, or the keys it would write.
bool RegisterAssociations(const std::filesystem::path& product, const uninstall::ProductNames& names, bool runProduct) {
  if (!runProduct)
    return SetDefault(names.fileExtension, names.fileType) == ERROR_SUCCESS &&
           SetDefault(names.fileType + L"\\shell\\open\\command", L"\"" + product.wstring() + L"\" \"%1\"") ==
               ERROR_SUCCESS;
  std::wstring commandLine = RegistrationCommandLine(product.wstring(), 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      product.parent_path().c_str(), &startup, &process))
    return false;
  const kv::unique_handle processHandle(process.hProcess);
  const kv::unique_handle threadHandle(process.hThread);
  DWORD exitCode = 0;
  return WaitForSingleObject(process.hProcess, 60'000) == WAIT_OBJECT_0 &&
         GetExitCodeProcess(process.hProcess, &exitCode) && exitCode == registrationSucceeded;
}

}  // namespace

std::filesystem::path PayloadFile(const std::wstring& relative) {
  return test::test_program_folder().parent_path() / L"payload" / L"files" / relative;
}

std::vector<uninstall::ShippedContent> LibraryContents() {
  std::vector<uninstall::ShippedContent> contents;
  for (const wchar_t* name : {L"data\\Libraries\\Parts\\Standard.gvl", L"data\\Libraries\\Parts\\Kitchen.gvl"}) {
    const std::optional<uninstall::ShippedContent> content = uninstall::ReadContent(PayloadFile(name).wstring());
    EXPECT_TRUE(content.has_value()) << Narrow(name);
    if (content) contents.push_back(*content);
  }
  return contents;
}

SampleInstallation InstallSample(const std::filesystem::path& scratch, const uninstall::ProductNames& names,
                                 bool runProduct) {
  SampleInstallation installed;
  installed.installFolder = scratch / L"Program Files" / L"Gradivo 7";
  installed.startMenuFolder = scratch / L"Start Menu" / L"Gradivo 7";
  installed.libraryFolder = scratch / L"Common" / L"Gradivo" / L"Libraries" / L"Parts";
  installed.product = installed.installFolder / L"Gradivo.exe";
  installed.uninstaller = installed.installFolder / L"Uninstall.exe";
  installed.language = installed.installFolder / L"Lang" / L"Gradivo.fr.dll";
  installed.library = installed.libraryFolder / L"Standard.gvl";
  installed.otherLibrary = installed.libraryFolder / L"Kitchen.gvl";
  installed.recordFile = installed.installFolder / L"Uninstall.ulog";

  InstallationRecord record(L"Gradivo 7.17a", names.productKeyName);
  PlaceFile(record, PayloadFile(L"Gradivo.exe"), installed.product, 1);
  PlaceFile(record, PayloadFile(L"Uninstall.exe"), installed.uninstaller, 2);
  PlaceFile(record, PayloadFile(L"Lang\\Gradivo.fr.dll"), installed.language, 0);
  PlaceFile(record, PayloadFile(L"data\\Libraries\\Parts\\Standard.gvl"), installed.library, 3);
  PlaceFile(record, PayloadFile(L"data\\Libraries\\Parts\\Kitchen.gvl"), installed.otherLibrary, 3);
  // The installation run leaves its two programs read-only.
  SetFileAttributesW(installed.product.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(installed.uninstaller.c_str(), FILE_ATTRIBUTE_READONLY);

  MakeShortcut(record, 0, installed.product, installed.startMenuFolder, L"Gradivo 7.17a", &installed.programShortcut);
  MakeShortcut(record, 1, installed.uninstaller, installed.startMenuFolder, L"Uninstall Gradivo");
  record.AddDirectXRuntime();
  record.CloseEntry(true, L"DirectX runtime updated");

  // The list of uninstallable programs, which every Windows has, may be missing from a new prefix.
  HKEY list = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, nullptr,
                            0, KEY_READ | kv::registry_view(), nullptr, &list, nullptr),
            ERROR_SUCCESS);
  const kv::unique_hkey listKey(list);
  UninstallEntry entry;
  entry.keyName = names.productKeyName;
  entry.displayName = L"Gradivo 7.17a";
  entry.uninstaller = installed.uninstaller.wstring();
  entry.productExePath = installed.product.wstring();
  entry.displayVersion = L"7.17.1.1";
  entry.publisher = L"Veltram & Ruziruzu";
  EXPECT_TRUE(WriteUninstallEntry(record, entry));
  const std::wstring maker = names.makerKey.substr(names.makerKey.find(L'\\') + 1);
  EXPECT_TRUE(WriteProductPath(maker, names.productKeyName, installed.product.wstring()));
  record.AddFileAssociations();
  const bool registered = RegisterAssociations(installed.product, names, runProduct);
  EXPECT_TRUE(registered);
  record.CloseEntry(registered);

  EXPECT_TRUE(record.Write(installed.recordFile.wstring(), installed.installFolder.wstring(),
                           installed.startMenuFolder.wstring()));
  return installed;
}

void DeleteProductRegistry(const uninstall::ProductNames& names) {
  test::delete_registry_tree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                                     names.productKeyName);
  test::delete_registry_tree(HKEY_LOCAL_MACHINE, names.makerKey);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, names.fileExtension.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, names.fileExtension.c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, names.fileType.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, names.fileType.c_str());
}

bool KeyExists(HKEY root, const std::wstring& subkey, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

}  // namespace uninstall_test
