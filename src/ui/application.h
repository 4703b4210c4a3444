#pragma once
// The base of the program's application object: the start-up hook, the application title that
// captions every message box, and the main window.

#include <windows.h>

#include <string>

namespace ui {

class ApplicationBase {
 public:
  // Registers this object as the program's application; there is one at a time.
  ApplicationBase();
  virtual ~ApplicationBase();
  ApplicationBase(const ApplicationBase&) = delete;
  ApplicationBase& operator=(const ApplicationBase&) = delete;

  // The application object of the program, or null before it exists.
  static ApplicationBase* Current();

  // Runs the program: InitInstance, then a message loop while it returned true. Returns the exit
  // code (the WM_QUIT code, or 0 when InitInstance returned false).
  int Run();

  // The start-up hook. Returning false ends the program without a message loop.
  virtual bool InitInstance() { return false; }

  // The application title, the caption of every message box the program shows.
  const std::wstring& GetTitle() const { return title_; }
  void SetTitle(std::wstring title) { title_ = std::move(title); }

  // The program's main window, or null.
  HWND GetMainWindow() const { return mainWindow_; }
  void SetMainWindow(HWND window) { mainWindow_ = window; }

  // Shows a message box with the application title as caption, owned by the program's active
  // window when there is one. Returns the button chosen (IDOK, IDRETRY...).
  int ShowMessage(const std::wstring& text, UINT style) const;

 private:
  std::wstring title_;
  HWND mainWindow_ = nullptr;
};

}  // namespace ui
