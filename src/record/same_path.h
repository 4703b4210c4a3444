#pragma once
// Whether two paths name the same file or folder.

#include <string>

// True when the texts are equal; otherwise, when both exist, when they are the same object on disk
// (volume serial number and file identifier); otherwise when their absolute forms have the same
// elements, compared without regard to letter case.
bool IsSamePath(const std::wstring& a, const std::wstring& b);
