#pragma once
// What the wizard frame expects of each of its pages: a child dialog made from its template,
// which sets its texts from the current language, fits its controls to the size the frame gives
// it, and exchanges its controls with the installation options.

#include "ui/dialog.h"

class WizardPage : public ui::Dialog {
 public:
  using ui::Dialog::Dialog;

  // The page has been made dx pixels wider and dy pixels taller than its template: moves and
  // sizes its controls. By default the status line grows by dx and moves down by dy, staying at
  // the bottom of the page.
  virtual void Stretch(int dx, int dy);

  // Shows or hides the page.
  void Show(bool visible);

 protected:
  // Enter and Esc inside a page belong to the frame (a multi-line edit sends them to its own
  // dialog): they are passed on to it.
  void OnOK() override;
  void OnCancel() override;
  // Sets the page's status line.
  void SetStatusText(const std::wstring& text);
};
