#include "wizard/wizard_frame.h"

#include "app/install_app.h"
#include "dialog_ids.h"
#include "ui/window_geometry.h"
#include "wizard/about_box.h"
#include "wizard/wizard_texts.h"

namespace {

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }

}  // namespace

std::wstring DecorateAboutEntry(const std::wstring& text, bool rightToLeft) {
  if (text.empty()) return {};
  return rightToLeft ? L"..." + text : L"&" + text + L"...";
}

CInstallDlg::CInstallDlg() : ui::Dialog(IDD_WIZARD) {}

bool CInstallDlg::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  CInstallApp& app = GetInstallApp();
  SetWindowTextW(hwnd(), app.GetInstallerTitle(true).c_str());
  SetUpSystemMenu();
  if (app.programIcon) SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(app.programIcon.get()));
  CreatePages();
  LayOut();
  RefreshTexts();
  ShowPage(StartPage);
  // Next stays disabled: Back is disabled on the Start page and nothing else shows a page.
  if (app.options.previousState == PreviousInstallState::NewerVersion) EnableItem(IDOK, false);
  return true;
}

std::wstring CInstallDlg::AboutEntryText() const {
  return DecorateAboutEntry(FormatCatalogueMessage(3, GetInstallApp().GetInstallerTitle(false)),
                            GetLanguageSettings().rightToLeft);
}

void CInstallDlg::SetUpSystemMenu() {
  HMENU menu = GetSystemMenu(hwnd(), FALSE);
  if (!menu) return;
  const std::wstring entry = AboutEntryText();
  if (!entry.empty()) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, entry.c_str());
  }
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
}

void CInstallDlg::CreatePages() {
  pages_ = {&start_, &mode_, &path_, &shortcut_, &install_, &end_};
  for (WizardPage* page : pages_) page->Create(hwnd());
}

void CInstallDlg::LayOut() {
  RECT area{};
  GetClientRect(hwnd(), &area);
  area.left = ui::ChildRect(Item(IDC_PICTURE_PANEL)).right;
  area.bottom = ui::ChildRect(Item(IDC_SEPARATOR)).top;

  RECT united = area;
  for (WizardPage* page : pages_) {
    SetWindowPos(page->hwnd(), nullptr, area.left, area.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
    const RECT rect = ui::ChildRect(page->hwnd());
    UnionRect(&united, &united, &rect);
  }
  const int dx = Width(united) - Width(area);
  const int dy = Height(united) - Height(area);

  RECT frame{};
  GetWindowRect(hwnd(), &frame);
  SetWindowPos(hwnd(), nullptr, 0, 0, Width(frame) + dx, Height(frame) + dy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);

  for (WizardPage* page : pages_) {
    const RECT rect = ui::ChildRect(page->hwnd());
    MoveWindow(page->hwnd(), united.left, united.top, Width(united), Height(united), FALSE);
    page->Stretch(Width(united) - Width(rect), Height(united) - Height(rect));
  }

  AdjustItem(IDC_PICTURE_PANEL, {.growY = dy});
  AdjustItem(IDC_SEPARATOR, {.moveY = dy, .growX = dx});
  for (const int id : {IDC_BACK, IDOK, IDCANCEL}) AdjustItem(id, {.moveX = dx, .moveY = dy});
}

void CInstallDlg::RefreshTexts() {
  SetWindowTextW(hwnd(), GetInstallApp().GetInstallerTitle(true).c_str());
  if (HMENU menu = GetSystemMenu(hwnd(), FALSE))
    ModifyMenuW(menu, IDM_ABOUTBOX, MF_BYCOMMAND | MF_STRING, IDM_ABOUTBOX, AboutEntryText().c_str());
  UpdateButtonTexts();
  for (WizardPage* page : pages_) {
    if (page) page->RefreshTexts();
  }
}

void CInstallDlg::UpdateButtonTexts() {
  const bool installed = GetInstallApp().options.installed;
  SetItemText(IDOK, current_ == InstallPage && !installed ? GetMessageText(7) : GetMessageText(6) + L"  >");
  SetItemText(IDC_BACK, L"<  " + GetMessageText(5));
  SetItemText(IDCANCEL, installed ? GetMessageText(4) : GetMessageText(2));
}

void CInstallDlg::ShowPage(std::int32_t target) {
  if (target < 0 || target >= PageCount) return;
  const InstallOptions& options = GetInstallApp().options;
  if (current_ != -1) {
    if (!Page(current_).UpdateData(true)) return;
    Page(current_).Show(false);
  }
  std::int32_t shown = target;
  if (!options.advancedMode && target != current_) {
    while (shown == FolderPage || shown == ShortcutPage) shown += target > current_ ? 1 : -1;
  }
  if (shown != current_) Page(shown).UpdateData(false);
  current_ = shown;
  Page(current_).Show(true);
  UpdateButtonTexts();

  EnableItem(IDC_BACK, (current_ > StartPage && !options.installed) || current_ > InstallPage);
  const bool nextEnabled = current_ < EndPage;
  EnableItem(IDOK, nextEnabled);
  const int defaultId = nextEnabled ? IDOK : IDCANCEL;
  SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(defaultId)), TRUE);
  SendMessageW(hwnd(), DM_SETDEFID, static_cast<WPARAM>(defaultId), 0);
}

bool CInstallDlg::OnCommand(WORD id, WORD code, HWND control) {
  if (id == IDC_BACK) {
    OnBack();
    return true;
  }
  return ui::Dialog::OnCommand(id, code, control);
}

void CInstallDlg::OnBack() { ShowPage(current_ - 1); }

void CInstallDlg::OnOK() {
  InstallOptions& options = GetInstallApp().options;
  if (installing_) return;
  if (current_ != InstallPage || options.installed) {
    ShowPage(current_ + 1);
    return;
  }
  // While the run works, the keyboard stays with the log (its buttons are disabled), so that Esc
  // still reaches the frame.
  SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(install_.Log().hwnd()), TRUE);
  for (const int id : {IDC_BACK, IDOK, IDCANCEL}) EnableItem(id, false);
  installing_ = true;
  options.installed = RunInstallation();
  installing_ = false;
  ShowPage(current_);
  EnableItem(IDCANCEL, true);
}

bool CInstallDlg::RunInstallation() { return install_.DoInstall(); }

void CInstallDlg::OnCancel() {
  CInstallApp& app = GetInstallApp();
  const InstallOptions& options = app.options;
  const bool reinstallationStart = options.previousState == PreviousInstallState::SameVersion && current_ == StartPage;
  const bool confirm = !options.installed && options.previousState != PreviousInstallState::NewerVersion &&
                       !reinstallationStart;
  if (confirm && app.ShowMessage(GetMessageText(110), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
  EndDialog(options.installed ? IDOK : IDCANCEL);
}

bool CInstallDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_CLOSE:
      // The close box and Alt+F4 stay available while the run works, although Exit is disabled
      // then (the dialog manager would ignore them).
      OnCancel();
      result = 0;
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return false;
      CAboutDlg().DoModal(hwnd());
      result = 0;
      return true;
    case WM_INITMENUPOPUP:
      if (!HIWORD(lParam)) return false;
      result = DefaultHandling(message, wParam, lParam);
      UpdateSystemMenu(reinterpret_cast<HMENU>(wParam));
      return true;
    case WM_GETMINMAXINFO:
      result = DefaultHandling(message, wParam, lParam);
      KeepSizeWhenMaximised(*reinterpret_cast<MINMAXINFO*>(lParam));
      return true;
    default:
      return false;
  }
}

void CInstallDlg::UpdateSystemMenu(HMENU menu) {
  const bool minimised = IsIconic(hwnd()) != FALSE;
  EnableMenuItem(menu, SC_MINIMIZE, MF_BYCOMMAND | (minimised ? MF_GRAYED : MF_ENABLED));
  EnableMenuItem(menu, SC_RESTORE, MF_BYCOMMAND | (minimised ? MF_ENABLED : MF_GRAYED));
}

void CInstallDlg::KeepSizeWhenMaximised(MINMAXINFO& info) {
  WINDOWPLACEMENT placement{sizeof(placement)};
  if (!GetWindowPlacement(hwnd(), &placement)) return;
  const RECT& normal = placement.rcNormalPosition;
  info.ptMaxSize = {Width(normal), Height(normal)};
  info.ptMaxPosition = {normal.left, normal.top};
}
