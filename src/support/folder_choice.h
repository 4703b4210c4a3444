#pragma once
// The rules by which the folder picker forms the folder it offers: where it starts, which
// sub-folder it keeps appended to the user's choice, how a typed path is accepted, and how a
// folder is written relative to the Start menu. None of them shows a window; the paths they
// produce fit the shell's 260-character buffers.

#include <windows.h>

#include <optional>
#include <string>

namespace kv {

// The folder the picker starts from: initial when it is rooted (a drive or a server share) or a
// bare drive such as "C:", which becomes "C:\"; otherwise root_path, and when that is empty too,
// the user's Documents folder (empty if the shell has none).
std::wstring initial_picker_path(const std::wstring& initial, const std::wstring& root_path);

// The sub-folder the picker keeps appended: suffix without its trailing full stops, or empty
// when it holds a character that cannot be part of a path (invalid or wildcard).
std::wstring picker_suffix(const std::wstring& suffix);

// True when text holds a character that cannot be part of a path: one the shell classes as
// invalid or as a wildcard, or a colon anywhere but after the drive letter.
bool has_invalid_path_character(const std::wstring& text);

// path with suffix kept appended. When path already ends with every component of suffix
// (compared case-insensitively, path having at least one component more) it stays; otherwise
// the longest leading part of suffix that path already ends with is not repeated and the rest is
// appended. A result that would not fit in 260 characters leaves path without the suffix. With a
// root base, the result is then written relative to it when it lies inside it. An empty suffix
// leaves path unchanged.
std::wstring apply_folder_suffix(const std::wstring& path, const std::wstring& suffix, const std::wstring& root_base);

// path written relative to the folder base, without a leading ".\"; empty when path is base
// itself. Nothing when base is empty, when the shell cannot relate the two (another drive), or
// when path lies outside base.
std::optional<std::wstring> relative_folder_path(const std::wstring& base, const std::wstring& path);

// The outcome of checking a path typed into the picker's edit box: error 0 and the qualified
// path, or the error code (a Win32 error or an HRESULT) whose system text the picker shows.
struct typed_path_check {
  DWORD error = ERROR_SUCCESS;
  std::wstring path;
};

// Checks and qualifies text typed into the picker: blanks around it and a trailing backslash are
// removed, "C:" becomes "C:\", empty text means the current folder, and relative text is resolved
// against the current folder or, with a root base, against the root base (made current for the
// check and restored afterwards). Fails with 0x800700CE for text of 260 characters or more, with
// ERROR_BAD_PATHNAME (161) when the path cannot be qualified, holds a character that cannot be
// part of a path, or lies outside the root base, and with the system's error when the current
// folder cannot be read or changed. The suffix is not added.
typed_path_check check_typed_path(const std::wstring& text, const std::wstring& root_base);

}  // namespace kv
