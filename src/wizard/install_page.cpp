#include "wizard/install_page.h"

#include <shlwapi.h>

#include "app/install_app.h"
#include "dialog_ids.h"
#include "support/handles.h"
#include "support/paths.h"
#include "ui/data_exchange.h"
#include "wizard/wizard_texts.h"

namespace {

int TextWidth(HDC dc, const std::wstring& text) {
  SIZE size{};
  if (!GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size)) return 0;
  return size.cx;
}

}  // namespace

CDlgInstall::CDlgInstall() : WizardPage(IDD_INSTALL_PAGE) {}

bool CDlgInstall::OnInitDialog() {
  WizardPage::OnInitDialog();
  progress_.SetRange(0, 100);
  ShowWindow(progress_.hwnd(), SW_HIDE);
  return true;
}

void CDlgInstall::DoDataExchange(ui::DataExchange& exchange) {
  exchange.Control(IDC_LOG, log_);
  exchange.Control(IDC_PROGRESS, progress_);
  if (!exchange.Saving() && !GetInstallApp().options.installed) WriteSummary();
}

void CDlgInstall::WriteSummary() {
  const CInstallApp& app = GetInstallApp();
  const InstallOptions& options = app.options;
  log_.SetText(L"");
  AppendLog(FormatCatalogueMessage(100, app.GetProductName(false)) + L"\r\n");
  AppendLog(GetMessageText(122), true);
  AppendLog(FormatCatalogueMessage(123, kv::quote_spaces(options.installFolder)) + L"\r\n");
  if (options.startMenuShortcuts) AppendLog(FormatCatalogueMessage(124, kv::quote_spaces(options.startMenuFolder)) + L"\r\n");
  if (options.desktopShortcut) AppendLog(GetMessageText(125) + L"\r\n");
  // Back to the first line; a scroll that no longer moves ends it.
  for (int first = log_.FirstVisibleLine(); first != 0;) {
    log_.ScrollLines(-1);
    const int now = log_.FirstVisibleLine();
    if (now == first) break;
    first = now;
  }
}

void CDlgInstall::AppendLog(const std::wstring& text, bool heading) {
  const std::wstring line = text.empty() || heading ? SeparatorLine(text) : text;
  log_.MoveCaretToEnd();
  log_.ReplaceSelection(line);
  log_.ScrollLines(1);
}

std::wstring CDlgInstall::SeparatorLine(const std::wstring& heading) const {
  RECT client{};
  GetClientRect(log_.hwnd(), &client);
  int width = client.right - client.left - log_.LeftMargin() - log_.RightMargin() - 2;
  const std::wstring enclosed = heading.empty() ? std::wstring() : L" " + heading + L" ";
  int count = 0;
  if (kv::unique_window_dc dc(log_.hwnd()); dc) {
    kv::scoped_select font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)));
    if (!enclosed.empty()) width -= TextWidth(dc.get(), enclosed);
    const int hyphen = TextWidth(dc.get(), L"-");
    if (hyphen > 0) count = width / hyphen;
  }
  if (count < 1) return enclosed + L"\r\n";
  return std::wstring(static_cast<std::size_t>(count / 2), L'-') + enclosed +
         std::wstring(static_cast<std::size_t>((count + 1) / 2), L'-') + L"\r\n";
}

void CDlgInstall::RefreshTexts() { SetStatusText(FormatCatalogueMessage(108, GetMessageText(7))); }

void CDlgInstall::Stretch(int dx, int dy) {
  WizardPage::Stretch(dx, dy);
  AdjustItem(IDC_LOG, {.growX = dx, .growY = dy});
  AdjustItem(IDC_PROGRESS, {.moveY = dy, .growX = dx});
}
