// The data exchange between a dialog's controls and its data: loading, saving, and the length
// check that keeps a dialog open with its message.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ui/application.h"
#include "ui/box_responder.h"
#include "ui/data_exchange.h"
#include "ui/dialog.h"

namespace {

constexpr int firstText = 10, secondText = 11, tick = 20, radioA = 30, radioB = 31, radioC = 32;

// The test program's dialog 900, its controls bound to plain members.
class ExchangeDialog : public ui::Dialog {
 public:
  ExchangeDialog() : ui::Dialog(900) {}

  std::wstring first = L"abc";
  std::wstring second = L"xy";
  int ticked = BST_CHECKED;
  int choice = 2;

 protected:
  void DoDataExchange(ui::DataExchange& exchange) override {
    exchange.Text(firstText, first, 5);
    exchange.Text(secondText, second, 5);
    exchange.Check(tick, ticked);
    exchange.RadioGroup(radioA, choice);
  }
};

class DataExchangeTest : public testing::Test {
 protected:
  void SetUp() override {
    application_.SetTitle(L"Exchange test");
    ASSERT_TRUE(dialog_.Create(nullptr));
    ShowWindow(dialog_.hwnd(), SW_SHOW);
  }
  bool Checked(int id) const { return SendMessageW(dialog_.Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

  ui::ApplicationBase application_;
  ExchangeDialog dialog_;
};

TEST_F(DataExchangeTest, LoadingShowsTheDataAndLimitsTyping) {
  // Creating the dialog loaded it.
  EXPECT_EQ(dialog_.ItemText(firstText), L"abc");
  EXPECT_EQ(dialog_.ItemText(secondText), L"xy");
  EXPECT_EQ(SendMessageW(dialog_.Item(firstText), EM_GETLIMITTEXT, 0, 0), 5);
  EXPECT_TRUE(Checked(tick));
  EXPECT_FALSE(Checked(radioA));
  EXPECT_FALSE(Checked(radioB));
  EXPECT_TRUE(Checked(radioC));

  dialog_.choice = -1;
  dialog_.ticked = 7;  // not a check state: shown as clear
  ASSERT_TRUE(dialog_.UpdateData(false));
  EXPECT_FALSE(Checked(radioA) || Checked(radioB) || Checked(radioC));
  EXPECT_FALSE(Checked(tick));
  EXPECT_EQ(dialog_.ticked, BST_UNCHECKED);
}

TEST_F(DataExchangeTest, SavingReadsWhatTheUserChose) {
  SetWindowTextW(dialog_.Item(firstText), L"12345");
  SetWindowTextW(dialog_.Item(secondText), L"");
  SendMessageW(dialog_.Item(tick), BM_CLICK, 0, 0);
  SendMessageW(dialog_.Item(radioB), BM_CLICK, 0, 0);
  ASSERT_TRUE(dialog_.UpdateData(true));
  EXPECT_EQ(dialog_.first, L"12345");
  EXPECT_EQ(dialog_.second, L"");
  EXPECT_EQ(dialog_.ticked, BST_UNCHECKED);
  EXPECT_EQ(dialog_.choice, 1);

  // No button of the group selected.
  SendMessageW(dialog_.Item(radioB), BM_SETCHECK, BST_UNCHECKED, 0);
  ASSERT_TRUE(dialog_.UpdateData(true));
  EXPECT_EQ(dialog_.choice, -1);
}

TEST_F(DataExchangeTest, TooLongTextIsRefusedWithItsMessage) {
  // A text set by a program passes the typing limit; saving still refuses it.
  SetWindowTextW(dialog_.Item(firstText), L"123456");
  SetWindowTextW(dialog_.Item(secondText), L"new");
  SendMessageW(dialog_.Item(radioA), BM_CLICK, 0, 0);
  test::BoxResponder responder(IDOK);
  EXPECT_FALSE(dialog_.UpdateData(true));

  ASSERT_EQ(responder.Boxes().size(), 1u);
  EXPECT_EQ(responder.Boxes()[0].text, L"Enter no more than 5 characters.");
  EXPECT_EQ(responder.Boxes()[0].caption, L"Exchange test");
  EXPECT_EQ(responder.Boxes()[0].owner, dialog_.hwnd());
  // (Unless another program of the shared display has taken the keyboard meanwhile.)
  if (GetForegroundWindow() == dialog_.hwnd()) {
    EXPECT_EQ(GetFocus(), dialog_.Item(firstText)) << "the focus is on the text at fault";
  }
  DWORD start = 1, end = 0;
  SendMessageW(dialog_.Item(firstText), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 6u) << "the whole text is selected";
  // The exchange stopped at the failure: nothing of it or after it was taken.
  EXPECT_EQ(dialog_.first, L"abc");
  EXPECT_EQ(dialog_.second, L"xy");
  EXPECT_EQ(dialog_.choice, 2);

  SetWindowTextW(dialog_.Item(firstText), L"12345");
  EXPECT_TRUE(dialog_.UpdateData(true));
  EXPECT_EQ(dialog_.second, L"new");
}

}  // namespace
