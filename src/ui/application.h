#pragma once
// The base of the program's application object: the start-up hook, the application title that
// captions every message box, the main window and the pre-translation of window messages.

#include <windows.h>

#include <string>

namespace ui {

class Dialog;

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

  // Gives the application a look at a message taken off the queue before it is translated and
  // dispatched. Returns true when the message was consumed. By default the keyboard messages of
  // a dialog's windows go through the dialog manager (Tab, Enter, Esc, mnemonics).
  virtual bool PreTranslateMessage(MSG& message);

  // The application title, the caption of every message box the program shows.
  const std::wstring& GetTitle() const { return title_; }
  void SetTitle(std::wstring title) { title_ = std::move(title); }

  // The program's main window: the main dialog's window while there is one, else the window set
  // with SetMainWindow, else null.
  HWND GetMainWindow() const;
  void SetMainWindow(HWND window) { mainWindow_ = window; }

  // The dialog that is the program's main window (the wizard), or null. Not owned.
  Dialog* GetMainDialog() const { return mainDialog_; }
  void SetMainDialog(Dialog* dialog) { mainDialog_ = dialog; }

  // Shows a message box with the application title as caption, owned by the program's active
  // window when there is one. Returns the button chosen (IDOK, IDRETRY...).
  int ShowMessage(const std::wstring& text, UINT style) const;

 private:
  std::wstring title_;
  HWND mainWindow_ = nullptr;
  Dialog* mainDialog_ = nullptr;
};

// The default pre-translation: a keyboard message of a window inside a top-level dialog goes
// through that dialog's dialog manager. Returns true when the message was consumed.
bool PreTranslateForDialogs(MSG& message);

// Shows a message box through the current application (its title as caption); without an
// application object, with the system's default caption.
int ShowMessage(const std::wstring& text, UINT style);

}  // namespace ui
