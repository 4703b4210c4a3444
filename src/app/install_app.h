#pragma once
// The application object: the program's entry after the process-level start-up, and the owner of
// the state that the wizard, the engine and the record share.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "app/install_options.h"
#include "app/languages.h"
#include "app/product.h"
#include "support/handles.h"
#include "support/sync_objects.h"
#include "ui/application.h"

class CInstallApp : public ui::ApplicationBase {
 public:
  // Takes the starting values of the options, the product's constants (with the application
  // identifier found by the process start-up) and loads the program icon.
  CInstallApp();

  // Start-up: the single-instance mutex, the language, the administrator and running-copy checks,
  // the installed product, the default folders, then the wizard. Always false, so the program ends
  // when it returns.
  bool InitInstance() override;

  // "Gradivo" when nameOnly, else "Gradivo 7.17a".
  std::wstring GetProductName(bool nameOnly) const;
  // The product's key name for a product code ("Gradivo 7" for 0x0407); throws std::logic_error
  // for an unknown code.
  std::wstring GetProductKeyName(std::uint16_t productCode) const;
  // Message 0 of the current language, followed by " – Gradivo 7.17a" when withProduct.
  std::wstring GetInstallerTitle(bool withProduct) const;
  // The detected state; for an older or newer installation, versionText (when given) receives its
  // name and version.
  PreviousInstallState GetPreviousInstallState(std::wstring* versionText = nullptr) const;
  // The installed product's executable, named by "<key name> Path" under the maker's key, when that
  // file exists; else empty. Computed on the first call and kept.
  const std::wstring& GetInstalledProductPath();
  // Names the run's temporary folder (not created): the user's temporary folder, then
  // "veltram_{<random UUID>}". On failure returns false with errorText set; the folder is unchanged.
  bool PrepareTemporaryFolder(std::wstring& errorText);
  // The user picked a language on the Start page: it becomes current (English instead, after a
  // notice, when the installer has no texts in it); the title and the wizard's texts follow.
  void OnLanguageSelected(Language language);
  // The language the product is installed in, stored as "KvLanguage": the one the user chose on
  // the Start page, also when the installer itself runs in English because it has no texts in
  // that language; otherwise the current language.
  Language GetInstalledLanguage() const;
  // Shows the system's text for a Windows error code, captioned with the program's name and version.
  void ReportStartupError(DWORD code) const;

  // Start-up, step by step (InitInstance runs them in this order).
  // Takes the single-instance mutex; when another copy holds it, reports ERROR_BUSY and is false.
  bool TakeSingleInstanceMutex();
  // The language: the user's if the product exists in it, else English; then "KvLanguage" of an
  // earlier installation; English when the installer has no texts in the result. Sets the title.
  void ResolveLanguage();
  // True with administrator rights; otherwise shows message 126 and is false.
  bool CheckAdministratorRights();
  // While another process of the application identifier runs (the product or another copy),
  // asks to close it (message 127, Retry and Cancel). False when the user cancels.
  bool WaitForRunningCopies();
  // Compares the installed product's file version with the one this program installs.
  void DetectInstalledProduct();
  // Fills empty folders with their defaults and sets the starting choices.
  // The same or an older version is installed: its record file, when one is found, is read and
  // its folders proposed again.
  void ReadPreviousRecord();
  void ApplyDefaultFolders();

  ProductDefinition product;
  InstallOptions options;
  kv::unique_hicon programIcon;
  // Keeps a second copy of the installer out: owned from the start-up until the program ends,
  // except while the installed product's registration run executes.
  kv::named_mutex singleInstanceMutex;

 private:
  std::optional<std::wstring> installedProductPath_;
  std::optional<Language> chosenLanguage_;
};

// The program's application object.
CInstallApp& GetInstallApp();
