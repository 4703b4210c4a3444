#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/encoding.h"

namespace {

using namespace std::string_view_literals;

// The expectations below are those of code page 1252, the ANSI code page of the installer's French
// thread locale and of the default locale the tests run in.
class Encoding : public testing::Test {
 protected:
  void SetUp() override {
    CPINFOEXW info{};
    ASSERT_TRUE(GetCPInfoExW(CP_THREAD_ACP, 0, &info));
    ASSERT_EQ(info.CodePage, 1252u) << "the thread's ANSI code page is not the one these cases are written for";
  }
};

TEST_F(Encoding, EmptyInputGivesEmptyResult) {
  EXPECT_EQ(kv::a2w(""), L"");
  EXPECT_EQ(kv::a2w(std::string_view()), L"");
  EXPECT_EQ(kv::w2a(L""), "");
  EXPECT_EQ(kv::w2a(std::wstring_view()), "");
}

TEST_F(Encoding, ConvertsBothWays) {
  struct text_case {
    std::string_view narrow;
    std::wstring_view wide;
  };
  const text_case cases[] = {
      {"Gradivo 7.17a"sv, L"Gradivo 7.17a"sv},
      {"\xE9"sv, L"\u00E9"sv},                                     // é
      {"\x80 \xA9 \xFF"sv, L"\u20AC \u00A9 \u00FF"sv},             // €, ©, ÿ
      {"Veltram & Ruziruzu\r\n"sv, L"Veltram & Ruziruzu\r\n"sv},
      {"a\0b"sv, L"a\0b"sv},  // the whole range, not up to the first NUL
  };
  for (const text_case& c : cases) {
    EXPECT_EQ(kv::a2w(c.narrow), c.wide) << c.narrow;
    EXPECT_EQ(kv::w2a(c.wide), c.narrow) << c.narrow;
  }
}

TEST_F(Encoding, CharacterOutsideCodePageBecomesDefaultCharacter) {
  // Each has a best-fit look-alike in code page 1252 that must not be used.
  const std::wstring_view outside[] = {
      L"\u03B1"sv,  // Greek alpha (best fit: a)
      L"\u0101"sv,  // a with macron (best fit: a)
      L"\uFF21"sv,  // full-width A (best fit: A)
      L"\u221E"sv,  // infinity (best fit: 8)
  };
  for (std::wstring_view character : outside) {
    EXPECT_EQ(kv::w2a(character), "?") << static_cast<unsigned>(character[0]);
    EXPECT_EQ(kv::w2a(L"x" + std::wstring(character) + L"y"), "x?y") << static_cast<unsigned>(character[0]);
  }
}

TEST_F(Encoding, LongTextConvertsCompletely) {
  // Lengths on both sides of the 512-byte stack buffer for either direction: a2w needs 2 bytes per
  // character, w2a reserves 5.
  const std::size_t lengths[] = {1, 102, 103, 255, 256, 300, 100000};
  constexpr std::string_view pattern = "Gradivo \xE9\x80-";
  constexpr std::wstring_view wide_pattern = L"Gradivo \u00E9\u20AC-";
  for (std::size_t length : lengths) {
    std::string narrow;
    std::wstring wide;
    for (std::size_t i = 0; i < length; ++i) {
      narrow += pattern[i % pattern.size()];
      wide += wide_pattern[i % wide_pattern.size()];
    }
    const std::wstring converted = kv::a2w(narrow);
    EXPECT_EQ(converted.size(), length);
    EXPECT_EQ(converted, wide) << length;
    EXPECT_EQ(kv::w2a(wide), narrow) << length;
  }
}

TEST_F(Encoding, FacetLengthIsBoundedByMaximum) {
  const kv::details::w2a_codecvt facet(1);
  EXPECT_EQ(facet.code_page(), static_cast<UINT>(CP_THREAD_ACP));
  EXPECT_EQ(facet.max_length(), 5);
  EXPECT_EQ(facet.encoding(), 0);
  EXPECT_FALSE(facet.always_noconv());

  constexpr std::string_view text = "Gradivo";
  std::mbstate_t state{};
  EXPECT_EQ(facet.length(state, text.data(), text.data() + text.size(), 100), 7);
  EXPECT_EQ(facet.length(state, text.data(), text.data() + text.size(), 3), 3);
  EXPECT_EQ(facet.length(state, text.data(), text.data(), 100), 0);
}

TEST_F(Encoding, FacetReportsOutputTooSmallAsError) {
  const kv::details::w2a_codecvt facet(1);
  std::mbstate_t state{};

  constexpr std::wstring_view wide = L"Gradivo";
  const wchar_t* wide_next = nullptr;
  char narrow[3] = {};
  char* narrow_next = nullptr;
  EXPECT_EQ(facet.out(state, wide.data(), wide.data() + wide.size(), wide_next, narrow, narrow + 3, narrow_next),
            std::codecvt_base::error);
  EXPECT_EQ(wide_next, wide.data());

  constexpr std::string_view bytes = "Gradivo";
  const char* bytes_next = nullptr;
  wchar_t characters[3] = {};
  wchar_t* characters_next = nullptr;
  EXPECT_EQ(facet.in(state, bytes.data(), bytes.data() + bytes.size(), bytes_next, characters, characters + 3,
                     characters_next),
            std::codecvt_base::error);
  EXPECT_EQ(bytes_next, bytes.data());

  EXPECT_EQ(facet.unshift(state, narrow, narrow + 3, narrow_next), std::codecvt_base::ok);
  EXPECT_EQ(narrow_next, narrow);
}

}  // namespace
