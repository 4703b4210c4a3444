#include "engine/product_registration.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <boost/format.hpp>

#include "app/product.h"
#include "support/handles.h"
#include "support/wow64.h"
#include "ui/wait_cursor.h"

namespace {

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  // The stored size counts the terminating NUL.
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS SetNumber(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Gives the mutex back to this installer: held again when the wait succeeds or finds it abandoned.
void TakeBack(kv::named_mutex& mutex) { mutex.try_lock(); }

}  // namespace

bool WriteUninstallEntry(InstallationRecord& record, const UninstallEntry& entry) {
  HKEY rawList = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallListKey, 0, KEY_ALL_ACCESS | kv::registry_view(), &rawList) !=
      ERROR_SUCCESS)
    return false;
  const kv::unique_hkey list(rawList);
  HKEY rawKey = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExW(list.get(), entry.keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS | kv::registry_view(), nullptr, &rawKey, &disposition) != ERROR_SUCCESS)
    return false;
  kv::unique_hkey key(rawKey);
  // A key of an earlier installation is saved first, so that a rollback can restore it.
  record.AddUninstallKey(disposition == REG_OPENED_EXISTING_KEY ? key.get() : nullptr);

  const bool named = SetString(key.get(), L"DisplayName", entry.displayName) == ERROR_SUCCESS;
  const bool uninstallable = SetString(key.get(), L"UninstallString", entry.uninstaller) == ERROR_SUCCESS;
  SetString(key.get(), L"DisplayIcon", entry.productExePath + L",0");
  SetString(key.get(), L"DisplayVersion", entry.displayVersion);
  SetString(key.get(), L"Publisher", entry.publisher);
  SetString(key.get(), L"URLInfoAbout", entry.webAddress);
  SetString(key.get(), L"HelpLink", entry.webAddress);
  SetString(key.get(), L"URLUpdateInfo", entry.webAddress);
  SetString(key.get(), L"HelpTelephone", entry.supportTelephone);
  SetNumber(key.get(), L"NoModify", 1);
  SetNumber(key.get(), L"NoRepair", 1);
  SetNumber(key.get(), L"KvLanguage", entry.language);
  key.reset();

  const bool written = named && uninstallable;
  record.CloseEntry(written);
  return written;
}

bool WriteProductPath(const std::wstring& maker, const std::wstring& keyName, const std::wstring& productExePath) {
  HKEY rawKey = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\" + maker).c_str(), 0, nullptr, 0,
                      MAXIMUM_ALLOWED | kv::registry_view(), nullptr, &rawKey, nullptr) != ERROR_SUCCESS)
    return false;
  const kv::unique_hkey key(rawKey);
  return SetString(key.get(), (keyName + L" Path").c_str(), productExePath) == ERROR_SUCCESS;
}

std::wstring RegistrationCommandLine(const std::wstring& productExePath, std::uint64_t previousVersion) {
  wchar_t program[MAX_PATH + 2] = {};
  lstrcpynW(program, productExePath.c_str(), MAX_PATH);
  PathQuoteSpacesW(program);
  std::wstring commandLine = std::wstring(program) + L" /Register /Background";
  if (previousVersion != 0) commandLine += (boost::wformat(L" /update=%|1$016x|") % previousVersion).str();
  return commandLine;
}

bool RunProductRegistration(InstallationRecord& record, kv::named_mutex& singleInstanceMutex,
                            const std::wstring& productExePath, std::uint64_t previousVersion, bool entryWritten) {
  record.AddFileAssociations();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNOACTIVATE;
  std::wstring commandLine = RegistrationCommandLine(productExePath, previousVersion);
  wchar_t folder[MAX_PATH] = {};
  lstrcpynW(folder, productExePath.c_str(), MAX_PATH);
  PathRemoveFileSpecW(folder);

  // The product refuses to start while an installer holds the mutex.
  singleInstanceMutex.release();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr, folder,
                      &startup, &process)) {
    record.CloseEntry(false);
    TakeBack(singleInstanceMutex);
    return false;
  }
  const kv::unique_handle processHandle(process.hProcess);
  const kv::unique_handle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.hProcess, &exitCode)) exitCode = 0;
  TakeBack(singleInstanceMutex);

  const bool registered = exitCode == registrationSucceeded;
  record.CloseEntry(registered);
  if (registered) {
    const ui::WaitCursor waiting;
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  }
  return entryWritten && registered;
}
