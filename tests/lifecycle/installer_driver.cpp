#include "lifecycle/installer_driver.h"

#include <algorithm>
#include <map>
#include <thread>

#include "dialog_ids.h"
#include "support/encoding.h"
#include "wizard/start_page.h"

namespace lifecycle {

namespace {

using Clock = std::chrono::steady_clock;

// How long one message sent to the installer may take to be answered (the machine may be busy).
constexpr std::chrono::milliseconds answerLimit = 30s;
constexpr UINT answerLimitMs = static_cast<UINT>(answerLimit.count());
// How often a wait looks again.
constexpr auto pollInterval = 50ms;

std::string Narrow(const std::wstring& text) { return kv::wide_to_utf8(text); }

std::string Seconds(std::chrono::milliseconds limit) { return std::to_string(limit.count() / 1000) + " s"; }

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool IsDialog(HWND window) { return ClassName(window) == L"#32770"; }

// The wizard frame is the dialog with the separator and the Back button.
bool IsWizardFrame(HWND window) {
  return IsDialog(window) && GetDlgItem(window, IDC_SEPARATOR) && GetDlgItem(window, IDC_BACK);
}

// The visible top-level windows of a process.
std::vector<HWND> TopLevelWindows(DWORD processId) {
  struct Search {
    DWORD processId;
    std::vector<HWND> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->processId && IsWindowVisible(window)) s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Waits until done() holds or the limit runs out; whether it held.
template <typename Condition>
bool WaitUntil(std::chrono::milliseconds limit, Condition done) {
  const auto end = Clock::now() + limit;
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(pollInterval);
  }
}

// Sends a message that needs no data copied between the processes and returns its result.
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, answerLimitMs, &result))
    throw DriverError("the installer did not answer message " + std::to_string(message) + " within " +
                      Seconds(answerLimit) + " (window " + Narrow(ClassName(window)) + ")");
  return static_cast<LRESULT>(result);
}

// Hands a message to the window's thread as a click of a person does (processed in order with
// the messages sent to it) and returns when the thread has handled it, or when the handling has
// opened a modal loop (a message box), whose loop then answers the next message. (The installation
// run answers only once it has verified the payload: its limit is longer.)
void Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             std::chrono::milliseconds limit = answerLimit) {
  if (!SendNotifyMessageW(window, message, wParam, lParam))
    throw DriverError("cannot deliver message " + std::to_string(message) + ": error " + std::to_string(GetLastError()));
  DWORD_PTR ignored = 0;
  // A window that the message closed answers no more, and needs not to.
  if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(limit.count()), &ignored) &&
      IsWindow(window))
    throw DriverError("the installer did not handle message " + std::to_string(message) + " within " + Seconds(limit));
}

void Command(HWND target, HWND control, WORD code,
             std::chrono::milliseconds limit = answerLimit) {
  Deliver(target, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control), limit);
}

// The environment block of this process with the given variables set, sorted by name as Windows
// keeps it.
std::wstring EnvironmentBlock(const Environment& changes) {
  struct NoCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
  };
  std::map<std::wstring, std::wstring, NoCase> variables;
  std::vector<std::wstring> hidden;  // "=C:=C:\..." entries, kept as they are
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text = entry;
      const std::size_t equals = text.find(L'=', 1);
      if (text[0] == L'=' || equals == std::wstring::npos) {
        hidden.push_back(text);
        continue;
      }
      variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(strings);
  }
  for (const auto& [name, value] : changes) variables[name] = value;
  std::wstring block;
  for (const std::wstring& entry : hidden) block += entry + L'\0';
  for (const auto& [name, value] : variables) block += name + L'=' + value + L'\0';
  block += L'\0';
  return block;
}

Page IdentifyPage(HWND page) {
  if (GetDlgItem(page, IDC_LANGUAGE)) return Page::Start;
  if (GetDlgItem(page, IDC_QUICK_MODE)) return Page::Mode;
  if (GetDlgItem(page, IDC_FOLDER_GROUP)) return Page::Folder;
  if (GetDlgItem(page, IDC_START_MENU_GROUP)) return Page::Shortcut;
  if (GetDlgItem(page, IDC_LOG)) return Page::Installation;
  return Page::End;
}

// The visible page of the frame, or null (also for a moment while the frame changes pages).
HWND VisiblePage(HWND wizard) {
  for (HWND child = GetWindow(wizard, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (IsDialog(child) && IsWindowVisible(child)) return child;
  return nullptr;
}

bool IsFrameButton(int id) { return id == IDOK || id == IDCANCEL || id == IDC_BACK; }

}  // namespace

MessageBoxView ReadMessageBox(HWND box) {
  MessageBoxView view;
  view.window = box;
  view.caption = WindowText(box);
  view.owner = GetWindow(box, GW_OWNER);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const std::wstring kind = ClassName(child);
    if (kind == L"Button") {
      view.buttons.push_back(GetDlgCtrlID(child));
    } else if (kind == L"Static") {
      const std::wstring text = WindowText(child);
      if (!text.empty()) view.text += (view.text.empty() ? L"" : L"\n") + text;
    }
  }
  return view;
}

std::string DescribeBox(const MessageBoxView& box) {
  return "a message box \"" + Narrow(box.caption) + "\": \"" + Narrow(box.text) + "\"";
}

std::filesystem::path BuildFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path().parent_path();
}

std::filesystem::path InstallerPath() { return BuildFolder() / L"bin" / L"InstallGradivo7.17a.exe"; }

const char* PageName(Page page) {
  switch (page) {
    case Page::Start:
      return "Start";
    case Page::Mode:
      return "Mode";
    case Page::Folder:
      return "Folder";
    case Page::Shortcut:
      return "Shortcut";
    case Page::Installation:
      return "Installation";
    case Page::End:
      return "End";
  }
  return "?";
}

bool MessageBoxView::HasButton(int id) const { return std::find(buttons.begin(), buttons.end(), id) != buttons.end(); }

std::wstring ScratchFile(const std::wstring& name) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / L"gradivo-lifecycle";
  std::filesystem::create_directories(folder);
  return (folder / name).wstring();
}

std::wstring WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, answerLimitMs, &length)) {
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                            answerLimitMs, &copied)) {
      text.resize(std::min<std::size_t>(static_cast<std::size_t>(copied), wcslen(text.c_str())));
      return text;
    }
  }
  // A window that does not answer: the text the system keeps for it.
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

Installer::Installer(const Environment& environment, const std::filesystem::path& program) {
  if (!std::filesystem::exists(program)) throw DriverError("no installer at " + program.string());
  std::wstring commandLine = L"\"" + program.wstring() + L"\"";
  std::wstring block = EnvironmentBlock(environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, block.data(),
                      nullptr, &startup, &started))
    throw DriverError("cannot start the installer: error " + std::to_string(GetLastError()));
  process_.reset(started.hProcess);
  kv::unique_handle thread(started.hThread);
  processId_ = started.dwProcessId;
}

Installer::~Installer() {
  if (Running()) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 10000);
  }
}

bool Installer::Running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

HWND Installer::WaitForWizard(std::chrono::milliseconds limit) {
  std::optional<MessageBoxView> box;
  const bool found = WaitUntil(limit, [&] {
    for (HWND window : TopLevelWindows(processId_)) {
      if (IsWizardFrame(window) && VisiblePage(window)) {
        wizard_ = window;
        return true;
      }
    }
    box = FindMessageBox();
    return box.has_value() || !Running();
  });
  if (found && wizard_) return wizard_;
  if (box) throw DriverError("the installer showed " + DescribeBox(*box) + " instead of its wizard");
  if (!Running()) {
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    throw DriverError("the installer ended (exit code " + std::to_string(static_cast<int>(code)) +
                      ") without showing its wizard");
  }
  throw DriverError("the installer showed no wizard within " + Seconds(limit));
}

HWND Installer::Wizard() const {
  if (!wizard_) throw DriverError("the wizard has not been found yet (WaitForWizard)");
  return wizard_;
}

std::wstring Installer::Caption() const { return WindowText(Wizard()); }

HWND Installer::PageWindow() const {
  HWND page = nullptr;
  // While the frame changes pages, for a moment none is visible.
  if (!WaitUntil(2s, [&] { return (page = VisiblePage(Wizard())) != nullptr; }))
    throw DriverError("the wizard shows no page");
  return page;
}

Page Installer::CurrentPage() const { return IdentifyPage(PageWindow()); }

void Installer::WaitForPage(Page page, std::chrono::milliseconds limit) const {
  std::optional<MessageBoxView> box;
  const bool shown = WaitUntil(limit, [&] {
    const HWND window = VisiblePage(Wizard());
    if (window && IdentifyPage(window) == page) return true;
    box = FindMessageBox();
    return box.has_value();
  });
  if (shown && !box) return;
  if (box) throw DriverError(std::string("waiting for the ") + PageName(page) + " page, the installer showed " + DescribeBox(*box));
  throw DriverError(std::string("the ") + PageName(page) + " page was not shown within " + Seconds(limit) +
                    "; the wizard shows the " + PageName(CurrentPage()) + " page");
}

HWND Installer::FrameItem(int id) const {
  HWND item = GetDlgItem(Wizard(), id);
  if (!item) throw DriverError("the wizard has no control " + std::to_string(id));
  return item;
}

HWND Installer::Item(int id) const {
  if (IsFrameButton(id)) return FrameItem(id);
  HWND item = GetDlgItem(PageWindow(), id);
  if (!item)
    throw DriverError(std::string("the ") + PageName(CurrentPage()) + " page has no control " + std::to_string(id));
  return item;
}

std::wstring Installer::ItemText(int id) const { return WindowText(Item(id)); }

bool Installer::ItemEnabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

bool Installer::ItemChecked(int id) const { return Ask(Item(id), BM_GETCHECK) == BST_CHECKED; }

std::wstring Installer::LogText() const {
  WaitForPage(Page::Installation, 0ms);
  return ItemText(IDC_LOG);
}

int Installer::SelectedLanguageIndex() const {
  WaitForPage(Page::Start, 0ms);
  return static_cast<int>(Ask(Item(IDC_LANGUAGE), CB_GETCURSEL));
}

HWND Installer::ClickableButton(int id) const {
  const HWND button = FrameItem(id);
  if (!IsWindowVisible(button) || !IsWindowEnabled(button))
    throw DriverError("the button \"" + Narrow(WindowText(button)) + "\" (" + std::to_string(id) +
                      ") cannot be clicked: it is disabled");
  return button;
}

void Installer::Click(int id) { Command(Wizard(), ClickableButton(id), BN_CLICKED); }

void Installer::Next(Page expected) {
  const Page from = CurrentPage();
  Click(IDOK);
  try {
    WaitForPage(expected, 5s);
  } catch (const DriverError& error) {
    throw DriverError(std::string("Next on the ") + PageName(from) + " page: " + error.what());
  }
}

void Installer::Back(Page expected) {
  const Page from = CurrentPage();
  Click(IDC_BACK);
  try {
    WaitForPage(expected, 5s);
  } catch (const DriverError& error) {
    throw DriverError(std::string("Back on the ") + PageName(from) + " page: " + error.what());
  }
}

void Installer::Exit() {
  const HWND button = ClickableButton(IDCANCEL);
  // Not waited for: the program may end on it.
  SendNotifyMessageW(Wizard(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void Installer::ChooseLanguage(Language language) {
  WaitForPage(Page::Start, 0ms);
  const auto& offered = CDlgStart::offeredLanguages;
  const auto found = std::find(offered.begin(), offered.end(), language);
  if (found == offered.end()) throw DriverError("language " + std::to_string(language) + " is not offered");
  const HWND box = Item(IDC_LANGUAGE);
  const int index = static_cast<int>(found - offered.begin());
  if (Ask(box, CB_SETCURSEL, static_cast<WPARAM>(index)) != index)
    throw DriverError("the language box has no item " + std::to_string(index));
  Command(PageWindow(), box, CBN_SELCHANGE);
}

void Installer::ChooseMode(bool advanced) {
  WaitForPage(Page::Mode, 0ms);
  const HWND chosen = Item(advanced ? IDC_ADVANCED_MODE : IDC_QUICK_MODE);
  const HWND other = Item(advanced ? IDC_QUICK_MODE : IDC_ADVANCED_MODE);
  Ask(other, BM_SETCHECK, BST_UNCHECKED);
  Ask(chosen, BM_SETCHECK, BST_CHECKED);
  Command(PageWindow(), chosen, BN_CLICKED);
}

void Installer::TypeFolder(const std::wstring& folder) {
  WaitForPage(Page::Folder, 0ms);
  const HWND edit = Item(IDC_FOLDER);
  if (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) throw DriverError("the folder cannot be typed: it is read-only");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()), SMTO_NORMAL, answerLimitMs,
                           &result) ||
      !result)
    throw DriverError("the folder text could not be set");
}

void Installer::SetShortcuts(bool startMenu, bool desktop) {
  WaitForPage(Page::Shortcut, 0ms);
  for (const auto& [id, ticked] : {std::pair{IDC_MENU_SHORTCUT, startMenu}, std::pair{IDC_DESKTOP_SHORTCUT, desktop}}) {
    if (ItemChecked(id) == ticked) continue;
    const HWND box = Item(id);
    Ask(box, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED);
    Command(PageWindow(), box, BN_CLICKED);
  }
}

bool Installer::Install(std::chrono::milliseconds limit) {
  WaitForPage(Page::Installation, 0ms);
  const std::wstring installText = ItemText(IDOK);
  // Handled once the run dispatches messages (after verifying the payload) or has ended.
  Command(Wizard(), ClickableButton(IDOK), BN_CLICKED, limit);
  // The frame disables its buttons for the run and enables Exit again when the run has ended.
  std::optional<MessageBoxView> box;
  const bool ended = WaitUntil(limit, [&] {
    if (IsWindowEnabled(FrameItem(IDCANCEL))) return true;
    box = FindMessageBox();
    return box.has_value() || !Running();
  });
  if (box) throw DriverError("during the installation the installer showed " + DescribeBox(*box));
  if (!Running()) throw DriverError("the installer ended during the installation");
  if (!ended) throw DriverError("the installation did not end within " + Seconds(limit));
  return ItemText(IDOK) != installText;
}

std::optional<MessageBoxView> Installer::FindMessageBox() const {
  for (HWND window : TopLevelWindows(processId_))
    if (IsDialog(window) && !IsWizardFrame(window)) return ReadMessageBox(window);
  return std::nullopt;
}

MessageBoxView Installer::WaitForMessageBox(std::chrono::milliseconds limit) const {
  std::optional<MessageBoxView> box;
  WaitUntil(limit, [&] {
    box = FindMessageBox();
    return box.has_value() || !Running();
  });
  if (box) return *box;
  if (!Running()) throw DriverError("the installer ended without showing a message box");
  throw DriverError("the installer showed no message box within " + Seconds(limit));
}

void Installer::Answer(const MessageBoxView& box, int button) {
  if (!box.HasButton(button))
    throw DriverError(DescribeBox(box) + " has no button " + std::to_string(button));
  const HWND control = GetDlgItem(box.window, button);
  // The box ends its loop on the command; the answer to the synchronising message may then no
  // longer come from it.
  SendNotifyMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  if (!WaitUntil(defaultWait, [&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }))
    throw DriverError(DescribeBox(box) + " did not close on button " + std::to_string(button));
  // What the answer starts (the next page, another box, the end) has been handled when the wizard
  // answers again.
  if (wizard_ && IsWindow(wizard_) && Running()) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(wizard_, WM_NULL, 0, 0, SMTO_NORMAL, answerLimitMs, &ignored);
  }
}

DWORD Installer::WaitForExit(std::chrono::milliseconds limit) {
  std::optional<MessageBoxView> box;
  const bool ended = WaitUntil(limit, [&] {
    if (!Running()) return true;
    box = FindMessageBox();
    return box.has_value();
  });
  if (box) throw DriverError("instead of ending, the installer showed " + DescribeBox(*box));
  if (!ended) throw DriverError("the installer did not end within " + Seconds(limit));
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

void InstallQuickly(Installer& installer) {
  installer.WaitForWizard();
  installer.WaitForPage(Page::Start, 0ms);
  installer.Next(Page::Mode);
  installer.ChooseMode(false);
  installer.Next(Page::Installation);
  if (!installer.Install())
    throw DriverError("the installation failed: " + Narrow(installer.ItemText(IDC_STATUS)) + "\nlog:\n" +
                      Narrow(installer.LogText()));
  installer.Next(Page::End);
  installer.Exit();
  installer.WaitForExit();
}

void InstallQuickly(const Environment& environment) {
  Installer installer(environment);
  InstallQuickly(installer);
}

}  // namespace lifecycle
