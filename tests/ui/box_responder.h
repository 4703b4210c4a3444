#pragma once
// Answers the dialog boxes that the test's own thread opens (message boxes, the About box), as a
// person would: each box is read when it appears and then closed with a chosen button.

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace test {

// What a dialog box showed when it appeared.
struct SeenBox {
  std::wstring caption;
  // The texts of its static controls that have text, in window order, joined by line feeds.
  std::wstring text;
  // The text of every child control by its id (controls without id left out).
  std::map<int, std::wstring> items;
  // The default button's id (DM_GETDEFID), 0 without one.
  int defaultId = 0;
  // The id of the push button drawn as the default one (BS_DEFPUSHBUTTON), 0 without one.
  int defaultStyleId = 0;
  // The owner window.
  HWND owner = nullptr;
};

// While it exists, every dialog box (window class #32770) that the thread activates and that is
// owned by another window, or did not exist when the responder was made, is recorded once the
// box's own message loop runs (its initialisation complete), and then closed with the command
// that answer gives for it (IDYES, IDNO, IDOK...). One responder at a time per thread.
class BoxResponder {
 public:
  explicit BoxResponder(int answer);
  explicit BoxResponder(std::function<int(const SeenBox&)> answer);
  ~BoxResponder();
  BoxResponder(const BoxResponder&) = delete;
  BoxResponder& operator=(const BoxResponder&) = delete;

  // The boxes answered so far, in order.
  const std::vector<SeenBox>& Boxes() const { return boxes_; }

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR timer, DWORD);
  void OnActivate(HWND window);
  void Answer(HWND window);

  std::function<int(const SeenBox&)> answer_;
  std::set<HWND> present_;
  std::set<HWND> answered_;
  std::map<UINT_PTR, HWND> waiting_;  // boxes to answer, by the timer that reaches their loop
  std::vector<SeenBox> boxes_;
  HHOOK hook_ = nullptr;
};

// The text of a window.
std::wstring WindowText(HWND window);

}  // namespace test
