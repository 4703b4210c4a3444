// Renders each page of the wizard and the About box to BMP files for a person to look at:
//   wizard_screenshots.exe FOLDER
// scripts/screenshots.sh runs it on a display of its own and turns the files into PNG. The wizard
// is made in this process as start-up makes it, for a machine without the product.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/install_app.h"
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

// A memory device context compatible with another one.
class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() { DeleteDC(dc_); }
  HDC get() const { return dc_; }

 private:
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
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const WindowDc windowDc(window);
  const MemoryDc memory(windowDc.get());
  kv::unique_gdi_object bitmap(CreateCompatibleBitmap(windowDc.get(), width, height));
  {
    kv::scoped_select selection(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, windowDc.get(), 0, 0, SRCCOPY);
  }

  BITMAPINFOHEADER header{sizeof(header), width, height, 1, 24, BI_RGB};
  const int stride = (width * 3 + 3) & ~3;
  std::vector<BYTE> pixels(static_cast<std::size_t>(stride) * height);
  GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, height, pixels.data(),
            reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return false;
  const bool written = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&header, sizeof(header), 1, out) == 1 &&
                       fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  fclose(out);
  return written;
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
