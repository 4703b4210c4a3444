#include "app/process_startup.h"

#include <windows.h>
#include <commctrl.h>

#include <clocale>
#include <filesystem>

#include "app/runtime_locale.h"
#include "support/common_controls.h"
#include "support/encoding.h"
#include "support/paths.h"
#include "support/sync_objects.h"
#include "support/version_info.h"

namespace {

// The two texts shown before the application object exists, in the three languages of the maker's
// first markets; no catalogue text can be trusted at that point.
constexpr const wchar_t* incompatibleProcessorText =
    L"This Version is not compatible with your Configuration.\n\n"
    L"Cette version n'est pas compatible avec votre configuration.\n\n"
    L"Diese Version ist nicht mit Ihrer Konfiguration kompatibel.";
constexpr const wchar_t* initializationErrorText = L"Initialization Error";

constexpr int incompatibleProcessorExitCode = 1;
constexpr int initializationErrorExitCode = -11;

bool ProcessorSupportsSse2() { return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != FALSE; }

void AddErrorMode() {
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

// The runtime's locale (all categories) and the standard library's global locale become those of
// the user's default locale.
bool SetProcessLocale() {
  _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (LCIDToLocaleName(LOCALE_USER_DEFAULT, name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return false;
  const std::string localeName = kv::w2a(name);
  SetGlobalLocale(localeName);
  return SetRuntimeLocale(LC_ALL, localeName);
}

bool InitializeFramework() {
  // The known folders are computed once here; a folder that cannot be found now is looked up again
  // when it is needed.
  try {
    kv::documents_folder();
    kv::common_data_folder();
    kv::user_data_folder();
  } catch (const std::system_error&) {
  }
  // The manifest selects the Common Controls 6.0; the dialogs need nothing older.
  if (kv::common_controls_major_version() < 6) return false;
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
  InitCommonControlsEx(&classes);
  // This process counts among the running copies of its application from here until it exits.
  kv::join_instance_counter(GetApplicationId());
  return true;
}

int FailInitialization() {
  MessageBoxW(nullptr, initializationErrorText, nullptr, MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
  return initializationErrorExitCode;
}

}  // namespace

std::optional<int> InitializeProcess() {
  if (!ProcessorSupportsSse2()) {
    MessageBoxW(nullptr, incompatibleProcessorText, nullptr, MB_ICONERROR);
    return incompatibleProcessorExitCode;
  }
  AddErrorMode();
  if (!SetProcessLocale()) return FailInitialization();
  if (!InitializeFramework()) return FailInitialization();
  return std::nullopt;
}

const std::wstring& GetApplicationId() {
  static const std::wstring applicationId = [] {
    const kv::version_info program;
    std::wstring id = program.value(L"ApplicationId");
    if (id.empty()) id = program.product_name();
    if (id.empty()) id = std::filesystem::path(kv::module_path()).stem().wstring();
    return id;
  }();
  return applicationId;
}
