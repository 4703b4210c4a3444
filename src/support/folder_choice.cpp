#include "support/folder_choice.h"

#include <shlwapi.h>

#include <cwchar>
#include <cwctype>
#include <string_view>
#include <system_error>
#include <vector>

#include "support/paths.h"

namespace kv {

namespace {

constexpr bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The non-empty components of a path, in order ("D:\Apps\" gives "D:" and "Apps").
std::vector<std::wstring_view> components(std::wstring_view path) {
  std::vector<std::wstring_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !is_separator(path[i])) continue;
    if (i > start) parts.push_back(path.substr(start, i - start));
    start = i + 1;
  }
  return parts;
}

bool same_component(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// True when path ends with the first count components of suffix and has at least one component
// before them.
bool ends_with_leading_part(const std::vector<std::wstring_view>& path, const std::vector<std::wstring_view>& suffix,
                            std::size_t count) {
  if (path.size() <= count) return false;
  const std::size_t offset = path.size() - count;
  for (std::size_t i = 0; i < count; ++i) {
    if (!same_component(path[offset + i], suffix[i])) return false;
  }
  return true;
}

// The components of suffix from first on, joined with backslashes.
std::wstring join_from(const std::vector<std::wstring_view>& suffix, std::size_t first) {
  std::wstring joined;
  for (std::size_t i = first; i < suffix.size(); ++i) {
    if (!joined.empty()) joined += L'\\';
    joined += suffix[i];
  }
  return joined;
}

// path with suffix appended by the component rule, or path itself when the result would not fit.
std::wstring with_suffix(const std::wstring& path, const std::wstring& suffix) {
  const std::vector<std::wstring_view> path_parts = components(path);
  const std::vector<std::wstring_view> suffix_parts = components(suffix);
  if (suffix_parts.empty() || ends_with_leading_part(path_parts, suffix_parts, suffix_parts.size())) return path;
  std::size_t matched = suffix_parts.size() - 1;
  while (matched > 0 && !ends_with_leading_part(path_parts, suffix_parts, matched)) --matched;
  const std::wstring rest = join_from(suffix_parts, matched);
  // The shell's append truncates a result that is too long instead of failing, so the length is
  // checked first.
  const std::size_t joined = path.size() + (path.empty() || is_separator(path.back()) ? 0 : 1) + rest.size();
  if (joined >= MAX_PATH) return path;
  wchar_t buffer[MAX_PATH] = {};
  wcsncpy(buffer, path.c_str(), MAX_PATH - 1);
  if (!PathAppendW(buffer, rest.c_str())) return path;
  return buffer;
}

// Makes a folder current for the lifetime of the object and the previous one current again
// afterwards. error() is the system's error when either folder could not be read or set.
class current_folder_change {
 public:
  explicit current_folder_change(const std::wstring& folder) {
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, saved_);
    if (length == 0 || length >= MAX_PATH) {
      error_ = length == 0 ? GetLastError() : static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
      return;
    }
    if (!SetCurrentDirectoryW(folder.c_str())) {
      error_ = GetLastError();
      return;
    }
    changed_ = true;
  }
  current_folder_change(const current_folder_change&) = delete;
  current_folder_change& operator=(const current_folder_change&) = delete;
  ~current_folder_change() {
    if (changed_) SetCurrentDirectoryW(saved_);
  }

  DWORD error() const { return error_; }

 private:
  wchar_t saved_[MAX_PATH] = {};
  DWORD error_ = ERROR_SUCCESS;
  bool changed_ = false;
};

// True when path is base or lies inside it, compared component by component.
bool lies_inside(const wchar_t* path, const std::wstring& base) {
  std::wstring_view trimmed = base;
  while (trimmed.size() > 3 && is_separator(trimmed.back())) trimmed.remove_suffix(1);
  const int common = PathCommonPrefixW(path, std::wstring(trimmed).c_str(), nullptr);
  return common >= 0 && static_cast<std::size_t>(common) >= trimmed.size();
}

// text qualified with the shell's rules against the current folder, or against root_base when
// there is one; the error of the step that failed otherwise.
typed_path_check qualify(const wchar_t* text, const std::wstring& root_base) {
  wchar_t qualified[MAX_PATH] = {};
  BOOL done = FALSE;
  if (root_base.empty()) {
    done = PathSearchAndQualifyW(text, qualified, MAX_PATH);
  } else {
    const current_folder_change change(root_base);
    if (change.error() != ERROR_SUCCESS) return {change.error(), {}};
    done = PathSearchAndQualifyW(text, qualified, MAX_PATH);
  }
  if (!done || qualified[0] == L'\0') return {ERROR_BAD_PATHNAME, {}};
  if (!root_base.empty() && !lies_inside(qualified, root_base)) return {ERROR_BAD_PATHNAME, {}};
  if (has_invalid_path_character(qualified)) return {ERROR_BAD_PATHNAME, {}};
  return {ERROR_SUCCESS, qualified};
}

bool is_bare_drive(const std::wstring& path) { return path.size() == 2 && iswalpha(path[0]) && path[1] == L':'; }

}  // namespace

std::wstring initial_picker_path(const std::wstring& initial, const std::wstring& root_path) {
  std::wstring path = is_rooted_path(initial) || is_bare_drive(initial) ? initial : std::wstring();
  if (path.empty()) path = root_path;
  if (!path.empty() && path.back() == L':') path += L'\\';
  if (path.empty()) {
    try {
      path = documents_folder();
    } catch (const std::system_error&) {
      // Without a Documents folder the picker starts at the top of its tree.
    }
  }
  return path;
}

std::wstring picker_suffix(const std::wstring& suffix) {
  std::wstring taken = suffix;
  while (!taken.empty() && taken.back() == L'.') taken.pop_back();
  for (const wchar_t c : taken) {
    const UINT type = PathGetCharTypeW(c);
    if (type == GCT_INVALID || (type & GCT_WILD) != 0) return {};
  }
  return taken;
}

bool has_invalid_path_character(const std::wstring& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const UINT type = PathGetCharTypeW(text[i]);
    if (type == GCT_INVALID || (type & GCT_WILD) != 0) return true;
    // A colon after the drive would name a stream of a file, not a folder.
    if (text[i] == L':' && i != 1) return true;
  }
  return false;
}

std::wstring apply_folder_suffix(const std::wstring& path, const std::wstring& suffix, const std::wstring& root_base) {
  if (suffix.empty()) return path;
  std::wstring result = with_suffix(path, suffix);
  if (!root_base.empty()) {
    if (std::optional<std::wstring> relative = relative_folder_path(root_base, result); relative && !relative->empty())
      result = *std::move(relative);
  }
  return result;
}

std::optional<std::wstring> relative_folder_path(const std::wstring& base, const std::wstring& path) {
  if (base.empty() || base.size() >= MAX_PATH || path.size() >= MAX_PATH) return std::nullopt;
  wchar_t relative[MAX_PATH] = {};
  if (!PathRelativePathToW(relative, base.c_str(), FILE_ATTRIBUTE_DIRECTORY, path.c_str(), FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  const std::wstring_view text = relative;
  if (text == L".") return std::wstring();
  // A path outside base would come back as "..\..." and canonicalising would drop those steps.
  if (text == L".." || text.starts_with(L"..\\")) return std::nullopt;
  wchar_t canonical[MAX_PATH] = {};
  if (!PathCanonicalizeW(canonical, relative)) return std::wstring(text);
  return canonical;
}

typed_path_check check_typed_path(const std::wstring& text, const std::wstring& root_base) {
  if (text.size() >= MAX_PATH) return {static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)), {}};
  wchar_t typed[MAX_PATH] = {};
  wcsncpy(typed, text.c_str(), MAX_PATH - 1);
  PathRemoveBlanksW(typed);
  PathRemoveBackslashW(typed);
  if (wcslen(typed) == 2 && typed[1] == L':') typed[2] = L'\\';
  if (typed[0] == L'\0') {
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, typed);
    if (length == 0) return {GetLastError(), {}};
    if (length >= MAX_PATH) return {static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)), {}};
  }
  return qualify(typed, root_base);
}

}  // namespace kv
