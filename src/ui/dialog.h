#pragma once
// Dialogs made from the program's dialog templates: run modally (the wizard, the About box) or
// created inside another window (the wizard's pages). A dialog object owns its handlers; the
// window's messages reach the virtual operations below.

#include <windows.h>

#include <optional>
#include <string>

namespace ui {

class DataExchange;

// How a control moves and grows, in pixels of its dialog's client area.
struct ItemAdjustment {
  int moveX = 0;  // the left edge moves right by this
  int moveY = 0;  // the top edge moves down by this
  int growX = 0;  // the control becomes this much wider
  int growY = 0;  // the control becomes this much taller
};

class Dialog {
 public:
  // A dialog of the template templateId of the program's module; no window yet.
  explicit Dialog(int templateId);
  // Destroys the dialog's window when it still exists.
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally, owned by owner (may be null). Returns the result given to EndDialog,
  // or -1 when the window could not be created. An exception that escapes one of the dialog's
  // handlers (or those of the windows it hosts) ends the dialog and is rethrown here.
  INT_PTR DoModal(HWND owner);
  // Creates the dialog's window without a message loop of its own: a page inside parent (for a
  // child template), or a modeless window owned by parent. False when it could not be created.
  bool Create(HWND parent);
  // Ends the dialog with result: DoModal returns it; a modeless dialog is hidden.
  void EndDialog(INT_PTR result);
  // The result given to EndDialog, or nothing while the dialog has not ended.
  std::optional<INT_PTR> Result() const { return result_; }

  // The dialog's window, null before it is created and after it is destroyed.
  HWND hwnd() const { return hwnd_; }
  int TemplateId() const { return templateId_; }

  // Control id of the dialog (null when there is none) and its text.
  HWND Item(int id) const;
  std::wstring ItemText(int id) const;
  void SetItemText(int id, const std::wstring& text);
  void EnableItem(int id, bool enabled);
  // Moves and sizes control id; nothing happens when the dialog has no such control.
  void AdjustItem(int id, const ItemAdjustment& adjustment);

  // Exchanges the controls with the data behind them: save = true reads and validates the
  // controls, false shows the data in them. Returns false when a validation failed; the user has
  // then been told why and the focus is on the control at fault.
  bool UpdateData(bool save);

  // Sets every text of the dialog from the current language. Nothing by default.
  virtual void RefreshTexts() {}

 protected:
  // The window exists with its controls. By default the controls are loaded (UpdateData(false)).
  // Returns true to let the dialog manager focus the first control.
  virtual bool OnInitDialog();
  // One exchange per control, in order; the exchange stops at the first failed validation.
  virtual void DoDataExchange(DataExchange& exchange);
  // A WM_COMMAND from a control, a menu or an accelerator. By default IDOK runs OnOK and
  // IDCANCEL runs OnCancel. Returns true when handled.
  virtual bool OnCommand(WORD id, WORD code, HWND control);
  // By default: saves and validates the controls, then ends the dialog with IDOK.
  virtual void OnOK();
  // By default: ends the dialog with IDCANCEL.
  virtual void OnCancel();
  // Any other message. Returns true when handled, with its result in result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The window's default handling of a message, for handlers that act after it.
  LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR InitDialog();

  int templateId_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;
  std::optional<INT_PTR> result_;
};

// Rethrows the first exception that escaped a dialog handler outside a modal dialog (in pages or
// modeless dialogs), clearing it; nothing when there is none.
void RethrowHandlerException();

}  // namespace ui
