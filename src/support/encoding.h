#pragma once
// Conversions between the installer's wide strings (UTF-16) and narrow strings in the ANSI code
// page of the calling thread's locale: the lines of an older record file without a byte-order
// mark, and the locale names handed to the C runtime.

#include <windows.h>

#include <cwchar>
#include <locale>
#include <string>
#include <string_view>

namespace kv {

// The wide form of narrow text in the thread's ANSI code page. Empty for empty input and when the
// system rejects the conversion; never throws for bad input.
std::wstring a2w(std::string_view text);

// The narrow form of wide text in the thread's ANSI code page. A character without an exact
// counterpart in that code page becomes the code page's default character ("?"), never a
// look-alike. Empty for empty input and when the system rejects the conversion.
std::string w2a(std::wstring_view text);

// The wide form of UTF-8 text (manifests, tool output); empty for empty or invalid input.
std::wstring utf8_to_wide(std::string_view text);

// The UTF-8 form of wide text.
std::string wide_to_utf8(std::wstring_view text);

namespace details {

// A conversion facet between wide characters (internal) and bytes of the thread's ANSI code page
// (external), made of single MultiByteToWideChar / WideCharToMultiByte calls over whole ranges. It
// keeps no shift state: every call converts its whole input or fails.
class w2a_codecvt : public std::codecvt<wchar_t, char, std::mbstate_t> {
 public:
  // refs is passed to the facet base: 0 when a locale owns the facet, non-zero for a facet that
  // lives on the stack.
  explicit w2a_codecvt(std::size_t refs = 0) : std::codecvt<wchar_t, char, std::mbstate_t>(refs) {}
  ~w2a_codecvt() override = default;

  // The Windows code page the facet converts with: CP_THREAD_ACP.
  UINT code_page() const noexcept { return code_page_; }

 protected:
  bool do_always_noconv() const noexcept override;
  // At most 5 bytes per wide character; callers size output buffers with it.
  int do_max_length() const noexcept override;
  // 0: the code page may be of variable width.
  int do_encoding() const noexcept override;
  // Converts all of [from, from_end) with MB_PRECOMPOSED; the whole input counts as consumed.
  // "error" when the system rejects a non-empty input (including an output range too small).
  result do_in(state_type& state, const extern_type* from, const extern_type* from_end, const extern_type*& from_next,
               intern_type* to, intern_type* to_end, intern_type*& to_next) const override;
  // Converts all of [from, from_end) with WC_NO_BEST_FIT_CHARS and the code page's own default
  // character; "error" as for do_in.
  result do_out(state_type& state, const intern_type* from, const intern_type* from_end,
                const intern_type*& from_next, extern_type* to, extern_type* to_end,
                extern_type*& to_next) const override;
  // No shift state: "ok" with nothing written.
  result do_unshift(state_type& state, extern_type* to, extern_type* to_end, extern_type*& to_next) const override;
  // The number of wide characters [from, end) converts to, at most max; 0 when the system rejects
  // the input.
  int do_length(state_type& state, const extern_type* from, const extern_type* end, std::size_t max) const override;

 private:
  UINT code_page_ = CP_THREAD_ACP;
};

}  // namespace details
}  // namespace kv
