// The run command's demonstration on a machine without a display: drives the built installer
// through a quick installation in the wizard's own language (the user's), as a person would, and
// saves a picture of each page on the way:
//   installer_demo.exe FOLDER
// It prints where each picture is, then the installation log. The caller (scripts/run.sh) turns
// the pictures into PNG files and shows the record file with the record tool.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "common/window_picture.h"
#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "support/encoding.h"

namespace {

using lifecycle::Installer;

// Prints a text as UTF-8, whatever the console's code page, so that the log's accented letters
// reach the terminal of the run command intact.
void PrintUtf8(const std::wstring& text) {
  const std::string bytes = kv::wide_to_utf8(text);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fflush(stdout);
}
using lifecycle::Page;

// Lets the page paint itself, then saves what the screen shows of the wizard.
void SavePage(const Installer& installer, const std::wstring& folder, const wchar_t* name) {
  Sleep(700);
  const std::wstring path = folder + L"\\" + name + L".bmp";
  if (test::save_window_from_screen(installer.Wizard(), path))
    fwprintf(stdout, L"page %ls: %ls\n", name, path.c_str());
  else
    fwprintf(stdout, L"page %ls: the picture could not be saved\n", name);
  fflush(stdout);
}

int Demonstrate(const std::wstring& folder) {
  Installer installer;
  installer.WaitForWizard();
  installer.WaitForPage(Page::Start);
  SavePage(installer, folder, L"1-start");
  installer.Next(Page::Mode);
  installer.ChooseMode(false);
  SavePage(installer, folder, L"2-mode");
  installer.Next(Page::Installation);
  SavePage(installer, folder, L"3-installation");
  const bool installed = installer.Install();
  SavePage(installer, folder, installed ? L"4-installed" : L"4-failed");
  const std::wstring log = installer.LogText();
  if (installed) {
    installer.Next(Page::End);
    SavePage(installer, folder, L"5-end");
  }
  PrintUtf8(L"installation log:\n" + log + L"\n");
  installer.Exit();
  if (!installed) {
    // Leaving after a failed run asks first.
    installer.Answer(installer.WaitForMessageBox(), IDYES);
  }
  installer.WaitForExit();
  return installed ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: installer_demo FOLDER\n");
    return 2;
  }
  CreateDirectoryW(argv[1], nullptr);
  try {
    return Demonstrate(argv[1]);
  } catch (const std::exception& error) {
    fprintf(stderr, "installer_demo: %s\n", error.what());
    return 1;
  }
}
