#include "page_layout.h"

#include <gtest/gtest.h>

#include "ui/window_geometry.h"
#include "wizard_fixture.h"

namespace test {

void ExpectStretchedLayout(HWND page, SIZE templateSize, std::initializer_list<TemplateControl> controls) {
  RECT client{};
  GetClientRect(page, &client);
  const int dx = client.right - PixelsX(page, templateSize.cx);
  const int dy = client.bottom - PixelsY(page, templateSize.cy);
  for (const TemplateControl& control : controls) {
    SCOPED_TRACE(testing::Message() << "control " << control.id);
    RECT expected{PixelsX(page, control.left), PixelsY(page, control.top), 0, 0};
    expected.right = expected.left + PixelsX(page, control.width);
    expected.bottom = expected.top + PixelsY(page, control.height);
    if (control.rule == TemplateControl::GrowsRight || control.rule == TemplateControl::GrowsRightMovesDown)
      expected.right += dx;
    if (control.rule == TemplateControl::GrowsRightMovesDown) {
      expected.top += dy;
      expected.bottom += dy;
    }
    if (control.rule == TemplateControl::MovesRight) {
      expected.left += dx;
      expected.right += dx;
    }
    const RECT actual = ui::ChildRect(GetDlgItem(page, control.id));
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right, expected.right);
    EXPECT_EQ(actual.bottom, expected.bottom);
  }
}

}  // namespace test
