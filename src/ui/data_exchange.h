#pragma once
// The exchange between a dialog's controls and the data behind them, run by a dialog's
// DoDataExchange: one call per control, in order. Saving reads and validates the controls;
// loading shows the data. After a failed validation the remaining calls do nothing.

#include <windows.h>

#include <cstddef>
#include <string>

namespace ui {

class Control;

class DataExchange {
 public:
  // An exchange for the controls of dialog; save = true reads them, false shows the data.
  DataExchange(HWND dialog, bool save);

  bool Saving() const { return save_; }
  // True once a validation has failed.
  bool Failed() const { return failed_; }

  // Binds control to the dialog's control id, once: later exchanges leave the binding as it is.
  void Control(int id, ui::Control& control);
  // A text of at most maxLength characters. Loading shows value (and an edit control then takes
  // no more than maxLength characters from the keyboard); saving reads the text and fails with
  // "Enter no more than <maxLength> characters." when it is longer, leaving value unchanged.
  void Text(int id, std::wstring& value, std::size_t maxLength);
  // A check box's state: 0 clear, 1 ticked, 2 indeterminate (loading shows other values as 0).
  void Check(int id, int& state);
  // A group of radio buttons that starts at firstId and runs to the next control that starts a
  // group: the index of the selected button, -1 for none.
  void RadioGroup(int firstId, int& index);

 private:
  // Tells the user why the control's value is not accepted and puts the focus on the control.
  void Fail(HWND control, const std::wstring& message);

  HWND dialog_;
  bool save_;
  bool failed_ = false;
};

// The message of a text that is too long: "Enter no more than <maxLength> characters.".
std::wstring TooLongTextMessage(std::size_t maxLength);

}  // namespace ui
