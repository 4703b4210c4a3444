// Renders each page of the wizard and the About box to BMP files for a person to look at:
//   wizard_screenshots.exe FOLDER
// scripts/screenshots.sh runs it on a display of its own and turns the files into PNG. The wizard
// is made in this process as start-up makes it, for a machine without the product.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/install_app.h"
#include "common/window_picture.h"
#include "dialog_ids.h"
#include "support/handles.h"
#include "ui/message_pump.h"
#include "wizard/about_box.h"
#include "wizard/wizard_frame.h"

namespace {

// The wizard whose installation run succeeds at once, so that the End page can be shown.
class ShowcaseWizard : public CInstallDlg {
 protected:
  bool RunInstallation() override { return true; }
};

// The device context of a whole window, frame and caption included.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetWindowDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() { ReleaseDC(window_, dc_); }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Lets every window paint itself.
void Settle(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  for (int i = 0; i < 10; ++i) {
    ui::PumpWaitingMessages();
    Sleep(50);
  }
}

// Writes the pixels of window, frame included, as a 24-bit BMP file.
bool SaveWindow(HWND window, const std::wstring& path) {
  Settle(window);
  RECT rect{};
  GetWindowRect(window, &rect);
  const WindowDc windowDc(window);
  return test::save_bitmap_file(windowDc.get(), 0, 0, rect.right - rect.left, rect.bottom - rect.top, path);
}

void Click(HWND dialog, int id) {
  SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
  ui::PumpWaitingMessages();
}

struct Scene {
  const wchar_t* name;
  Language language;
  int page;          // the page to show; -1 for the About box
  bool advanced;     // advanced installation (the Folder and Shortcut pages)
};

bool Render(CInstallApp& app, const Scene& scene, const std::wstring& folder) {
  SetCurrentLanguage(scene.language);
  app.SetTitle(app.GetInstallerTitle(true));
  app.options.installed = false;
  app.options.advancedMode = scene.advanced;
  ShowcaseWizard wizard;
  if (!wizard.Create(nullptr)) return false;
  app.SetMainDialog(&wizard);
  bool saved = false;
  if (scene.page < 0) {
    CAboutDlg about;
    if (about.Create(wizard.hwnd())) {
      ShowWindow(about.hwnd(), SW_SHOW);
      saved = SaveWindow(about.hwnd(), folder + L"\\" + scene.name + L".bmp");
    }
  } else {
    while (wizard.CurrentPage() < scene.page) {
      const int before = wizard.CurrentPage();
      Click(wizard.hwnd(), IDOK);  // on the installation page: the (succeeding) run
      if (wizard.CurrentPage() == before && !app.options.installed) break;
    }
    saved = wizard.CurrentPage() == scene.page && SaveWindow(wizard.hwnd(), folder + L"\\" + scene.name + L".bmp");
  }
  app.SetMainDialog(nullptr);
  return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: wizard_screenshots FOLDER\n");
    return 2;
  }
  const std::wstring folder = argv[1];
  CreateDirectoryW(folder.c_str(), nullptr);
  CInstallApp app;
  app.ApplyDefaultFolders();
  const Scene scenes[] = {
      {L"start_english", English, CInstallDlg::StartPage, false},
      {L"start_french", French, CInstallDlg::StartPage, false},
      {L"start_german", German, CInstallDlg::StartPage, false},
      {L"mode", English, CInstallDlg::ModePage, false},
      {L"folder", English, CInstallDlg::FolderPage, true},
      {L"shortcut", English, CInstallDlg::ShortcutPage, true},
      {L"installation", English, CInstallDlg::InstallPage, false},
      {L"end", English, CInstallDlg::EndPage, false},
      {L"about", English, -1, false},
  };
  int failures = 0;
  for (const Scene& scene : scenes) {
    const bool ok = Render(app, scene, folder);
    fwprintf(stdout, L"%ls: %ls\n", scene.name, ok ? L"saved" : L"FAILED");
    if (!ok) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
