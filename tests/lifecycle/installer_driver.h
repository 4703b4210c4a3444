#pragma once
// Drives the built installer (BUILD\bin\InstallGradivo7.17a.exe, with the sample payload inside)
// from the test program, as a person would: it starts the program, finds its wizard and its
// message boxes among the windows of that process, reads what they show, and clicks their
// buttons. Every wait has a time limit; a wait that runs out, or an action a person could not do
// (a click on a disabled button, a page that is not shown), throws DriverError with a message that
// says what was expected and what was found. GoogleTest reports such an exception as the test's
// failure, so a test simply calls the driver and checks what it returns.
//
// A typical quick installation:
//   lifecycle::Installer installer({{L"GRADIVO_PRODUCT_LOG", log}});
//   installer.WaitForWizard();                        // the Start page
//   installer.Next(lifecycle::Page::Mode);
//   installer.ChooseMode(false);
//   installer.Next(lifecycle::Page::Installation);
//   ASSERT_TRUE(installer.Install());                  // waits for the run's end
//   installer.Next(lifecycle::Page::End);
//   installer.Exit();                                  // no question after an installation
//   EXPECT_EQ(installer.WaitForExit(), 0u);
// or, the same in one call: lifecycle::InstallQuickly(installer).

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/languages.h"
#include "support/handles.h"

namespace lifecycle {

using namespace std::chrono_literals;

// How long the driver waits, unless a call is given another limit.
inline constexpr std::chrono::milliseconds defaultWait = 30s;
// How long an installation run may take.
inline constexpr std::chrono::milliseconds installationWait = 180s;

// A wait ran out, or the installer was not in the state the action needs.
class DriverError : public std::runtime_error {
 public:
  explicit DriverError(const std::string& what) : std::runtime_error(what) {}
};

// The build tree (the folder above the test program's folder) and the installer in it.
std::filesystem::path BuildFolder();
std::filesystem::path InstallerPath();

// The wizard's pages, in their order.
enum class Page { Start, Mode, Folder, Shortcut, Installation, End };
// "Start", "Mode", ... for messages.
const char* PageName(Page page);

// What a message box of the installer shows.
struct MessageBoxView {
  HWND window = nullptr;
  std::wstring caption;
  // Its static texts that are not empty, in window order, joined by line feeds.
  std::wstring text;
  // The ids of its push buttons, in window order (IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, ...).
  std::vector<int> buttons;
  // The window that owns it; null for a box of the start-up, which has no owner.
  HWND owner = nullptr;

  bool HasButton(int id) const;
};

// What a message box (of any process) shows now.
MessageBoxView ReadMessageBox(HWND box);
// "a message box "CAPTION": "TEXT"", for failure messages.
std::string DescribeBox(const MessageBoxView& box);

// Environment variables that the installer gets besides the test program's own: name and value.
using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

// The full path of a file in the test's scratch area, for the stand-ins' logs
// (GRADIVO_PRODUCT_LOG, GRADIVO_DSETUP_LOG): "<temporary folder>\gradivo-lifecycle\<name>".
// The folder is created; the file is not.
std::wstring ScratchFile(const std::wstring& name);

// One run of the installer program.
class Installer {
 public:
  // Starts the installer with the test program's environment plus the given variables (which
  // override variables of the same name). Throws when it cannot be started.
  // program names another copy of the installer (one with another payload, for example).
  explicit Installer(const Environment& environment = {}, const std::filesystem::path& program = InstallerPath());
  // An installer still running when the test ends is terminated.
  ~Installer();
  Installer(const Installer&) = delete;
  Installer& operator=(const Installer&) = delete;

  DWORD ProcessId() const { return processId_; }
  HANDLE Process() const { return process_.get(); }
  bool Running() const;

  // ---- The wizard ----
  // Waits until the wizard frame of this process is shown (with a page visible) and returns it.
  HWND WaitForWizard(std::chrono::milliseconds limit = defaultWait);
  // The wizard frame found by WaitForWizard; throws before that.
  HWND Wizard() const;
  // The caption of the wizard ("Installer – Gradivo 7.17a" in English).
  std::wstring Caption() const;
  // The page shown now; throws when none is visible.
  Page CurrentPage() const;
  // The window of the page shown now.
  HWND PageWindow() const;
  // Waits until the given page is shown.
  void WaitForPage(Page page, std::chrono::milliseconds limit = defaultWait) const;

  // The text of a control of the frame (IDOK, IDC_BACK, IDCANCEL) or, for any other id, of the
  // shown page (IDC_INFO, IDC_STATUS, IDC_FOLDER, IDC_LOG, ...).
  std::wstring ItemText(int id) const;
  // Whether a control of the frame or of the shown page is enabled.
  bool ItemEnabled(int id) const;
  // Whether a check box or radio button of the shown page is ticked.
  bool ItemChecked(int id) const;
  // The installation page's log, whole.
  std::wstring LogText() const;
  // The index of the item selected in the Start page's language box, -1 for none.
  int SelectedLanguageIndex() const;

  // ---- Actions (a click on a disabled button throws) ----
  // Clicks a button of the frame (IDOK, IDC_BACK, IDCANCEL) and returns at once.
  void Click(int id);
  // Clicks Next (or Back) and waits until the expected page is shown.
  void Next(Page expected);
  void Back(Page expected);
  // Clicks Exit (Cancel before the installation) and returns at once: whether a question comes
  // or the program ends is for the caller to wait for (WaitForMessageBox, WaitForExit).
  void Exit();
  // Start page: selects the language in the box, as a person picking it from the list does
  // (the page hears CBN_SELCHANGE). A language that needs a notice (no installer texts) shows
  // it in a message box, which the caller answers.
  void ChooseLanguage(Language language);
  // Mode page: ticks quick (false) or advanced (true) installation.
  void ChooseMode(bool advanced);
  // Folder page: replaces the folder text as a person typing it.
  void TypeFolder(const std::wstring& folder);
  // Shortcut page: sets the two check boxes (as clicks, so the page follows its Start-menu box).
  void SetShortcuts(bool startMenu, bool desktop);
  // Installation page: clicks Install and waits until the run has ended. True when it succeeded
  // (button 1 then reads Next instead of Install), false when it failed.
  bool Install(std::chrono::milliseconds limit = installationWait);

  // ---- Message boxes ----
  // A visible message box of this process now (any top-level dialog but the wizard), or nothing.
  std::optional<MessageBoxView> FindMessageBox() const;
  // Waits for a message box of this process.
  MessageBoxView WaitForMessageBox(std::chrono::milliseconds limit = defaultWait) const;
  // Clicks one of the box's buttons and waits until the box is gone.
  void Answer(const MessageBoxView& box, int button);

  // ---- The end ----
  // Waits for the process to end and returns its exit code. Throws when it does not end in
  // time, or when it shows a message box meanwhile (the box's text is in the message).
  DWORD WaitForExit(std::chrono::milliseconds limit = defaultWait);

 private:
  HWND FrameItem(int id) const;
  // A button of the frame that a person could click now; throws when it is disabled.
  HWND ClickableButton(int id) const;
  HWND Item(int id) const;

  kv::unique_handle process_;
  DWORD processId_ = 0;
  HWND wizard_ = nullptr;
};

// The text of a window of another process (WM_GETTEXT, with a time limit).
std::wstring WindowText(HWND window);

// Clicks through a whole quick installation from the Start page in the wizard's current
// language: Mode (quick), Install, the End page, Exit; then waits for the program to end.
// Throws when the run fails or the program shows anything unexpected.
void InstallQuickly(Installer& installer);

// Starts the installer with the environment and does InstallQuickly.
void InstallQuickly(const Environment& environment = {});

}  // namespace lifecycle
