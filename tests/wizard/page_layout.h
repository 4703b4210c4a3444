#pragma once
// What a page's Stretch did to its controls, seen against the page's template: each control keeps
// its template place, moved or widened by the width the frame added to the page.

#include <windows.h>

#include <initializer_list>

namespace test {

// A control of a page template: its id, its rectangle in dialog units (left, top, width, height)
// and how it follows the page's extra width.
struct TemplateControl {
  enum Rule { Stays, GrowsRight, MovesRight, GrowsRightMovesDown };
  int id;
  int left, top, width, height;
  Rule rule;
};

// Expects every control of page where its template places it, after the frame made the page wider
// and taller than its template size (in dialog units).
void ExpectStretchedLayout(HWND page, SIZE templateSize, std::initializer_list<TemplateControl> controls);

}  // namespace test
