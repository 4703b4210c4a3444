// Dialogs of the dialog layer: a modal run and its result, handlers that fail, the position of a
// top-level dialog, the wait cursor and the dispatching of waiting messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

#include "ui/dialog.h"
#include "ui/message_pump.h"
#include "ui/wait_cursor.h"

namespace {

constexpr WORD finishCommand = 101;
constexpr WORD failCommand = 102;

// The test program's dialog 900, run modally: a command posted during its initialisation ends
// it or makes a handler fail once the modal loop runs.
class ScriptedDialog : public ui::Dialog {
 public:
  explicit ScriptedDialog(WORD command) : ui::Dialog(900), command_(command) {}

  RECT placed{};

 protected:
  bool OnInitDialog() override {
    ui::Dialog::OnInitDialog();
    PostMessageW(hwnd(), WM_COMMAND, command_, 0);
    return true;
  }
  bool OnCommand(WORD id, WORD code, HWND control) override {
    if (id == failCommand) throw std::runtime_error("handler failed");
    if (id != finishCommand) return ui::Dialog::OnCommand(id, code, control);
    GetWindowRect(hwnd(), &placed);
    EndDialog(42);
    return true;
  }

 private:
  WORD command_;
};

TEST(Dialog, ModalRunReturnsTheResultAndIsCentred) {
  ScriptedDialog dialog(finishCommand);
  EXPECT_EQ(dialog.DoModal(nullptr), 42);
  EXPECT_EQ(dialog.Result(), 42);
  EXPECT_EQ(dialog.hwnd(), nullptr) << "the window is gone with the modal run";

  // Without an owner the dialog is centred on the work area.
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const RECT& placed = dialog.placed;
  EXPECT_LE(std::abs((placed.left + placed.right) / 2 - (work.left + work.right) / 2), 1);
  EXPECT_LE(std::abs((placed.top + placed.bottom) / 2 - (work.top + work.bottom) / 2), 1);
}

TEST(Dialog, HandlerFailureEndsTheModalRunAndReachesTheCaller) {
  ScriptedDialog dialog(failCommand);
  EXPECT_THROW(dialog.DoModal(nullptr), std::runtime_error);
  EXPECT_EQ(dialog.hwnd(), nullptr);
  // The failure was handed over once.
  EXPECT_NO_THROW(ui::RethrowHandlerException());
}

TEST(Dialog, MissingTemplateGivesMinusOne) {
  ui::Dialog dialog(899);
  EXPECT_EQ(dialog.DoModal(nullptr), -1);
  EXPECT_FALSE(dialog.Create(nullptr));
}

TEST(WaitCursor, ShownWhileAnyExistsAndKeptOverDialogs) {
  const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  SetCursor(arrow);
  ui::Dialog dialog(900);
  ASSERT_TRUE(dialog.Create(nullptr));
  {
    ui::WaitCursor outer;
    EXPECT_EQ(GetCursor(), wait);
    {
      ui::WaitCursor inner;
      EXPECT_TRUE(ui::WaitCursor::Active());
    }
    EXPECT_EQ(GetCursor(), wait) << "the outer one still holds";
    // A dialog asked for its cursor keeps the wait cursor.
    SetCursor(arrow);
    EXPECT_TRUE(SendMessageW(dialog.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(dialog.hwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(GetCursor(), wait);
  }
  EXPECT_FALSE(ui::WaitCursor::Active());
  EXPECT_EQ(GetCursor(), arrow);
}

TEST(MessagePump, DispatchesWaitingMessagesAndKeepsQuit) {
  ui::Dialog dialog(900);
  ASSERT_TRUE(dialog.Create(nullptr));
  HWND box = dialog.Item(20);
  ASSERT_TRUE(PostMessageW(box, BM_SETCHECK, BST_CHECKED, 0));
  EXPECT_TRUE(ui::PumpWaitingMessages());
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);

  PostQuitMessage(3);
  ASSERT_TRUE(PostMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0));
  EXPECT_FALSE(ui::PumpWaitingMessages());
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT is posted again";
  EXPECT_EQ(message.wParam, 3u);
  ui::PumpWaitingMessages();
}

}  // namespace
