#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/handles.h"
#include "support/paths.h"

namespace {

// The shell's own answer for a known folder, for comparison.
std::wstring shell_folder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
  const kv::unique_cotaskmem owner(path);
  return SUCCEEDED(result) && path ? std::wstring(path) : std::wstring();
}

// FormatMessageW's text for code in language as it comes, line breaks included; nothing with the
// error of the failing call when there is none.
std::optional<std::wstring> raw_system_text(DWORD code, LANGID language, DWORD* error = nullptr) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, code, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (error) *error = length ? 0 : GetLastError();
  const kv::unique_hlocal owner(text);
  if (length == 0) return std::nullopt;
  return std::wstring(text, length);
}

std::wstring without_line_breaks(std::wstring text) {
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
  return text;
}

TEST(KnownFolders, AreTheShellFoldersWithTheMakerFolder) {
  struct folder_case {
    const char* name;
    std::wstring (*folder)();
    const KNOWNFOLDERID& id;
    const wchar_t* appended;
  };
  const folder_case cases[] = {
      {"documents", kv::documents_folder, FOLDERID_Documents, L""},
      {"common data", kv::common_data_folder, FOLDERID_ProgramData, L"\\Veltram & Ruziruzu"},
      {"user data", kv::user_data_folder, FOLDERID_RoamingAppData, L"\\Veltram & Ruziruzu"},
  };
  for (const folder_case& c : cases) {
    const std::wstring folder = c.folder();
    ASSERT_FALSE(folder.empty()) << c.name;
    EXPECT_TRUE(std::filesystem::path(folder).is_absolute()) << c.name;
    EXPECT_EQ(folder, shell_folder(c.id) + c.appended) << c.name;
    EXPECT_EQ(c.folder(), folder) << c.name << ": a second call gives the same path";
  }
}

TEST(ModulePath, IsTheProgramFile) {
  wchar_t expected[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameW(nullptr, expected, MAX_PATH), 0u);
  EXPECT_EQ(kv::module_path(), expected);
}

// Windows of the calling thread, destroyed newest first when the test ends.
class OwnerWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = class_name;
    RegisterClassW(&window_class);
  }

  void SetUp() override {
    ASSERT_EQ(GetActiveWindow(), nullptr) << "the test thread must start without windows";
  }

  void TearDown() override { destroy_windows(); }

  void destroy_windows() {
    while (!windows_.empty()) windows_.pop_back();
  }

  HWND create(DWORD style, HWND owner = nullptr) {
    const HWND window = CreateWindowExW(0, class_name, L"Gradivo", style, 10, 10, 200, 150, owner, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr);
    windows_.emplace_back(window);
    return window;
  }

  static constexpr const wchar_t* class_name = L"GradivoOwnerWindowTest";
  std::vector<kv::unique_hwnd> windows_;
};

TEST_F(OwnerWindow, HiddenWindowsOfTheThread) {
  // A window is given by its style and the index of its owner among the windows before it (-1 for
  // none); the expected owner is an index, -1 for null.
  struct window_setup {
    DWORD style;
    int owner;
  };
  struct owner_case {
    const char* name;
    std::vector<window_setup> windows;
    int expected;
  };
  const owner_case cases[] = {
      {"no windows", {}, -1},
      {"captioned frame with an owned popup", {{WS_OVERLAPPEDWINDOW, -1}, {WS_POPUP | WS_BORDER, 0}}, 0},
      {"captioned popup beside a captionless one", {{WS_POPUP | WS_CAPTION, -1}, {WS_POPUP, -1}}, 0},
      {"captioned popup owned by a captionless window", {{WS_POPUP, -1}, {WS_POPUP | WS_CAPTION, 0}}, -1},
      {"border without dialog frame", {{WS_POPUP | WS_BORDER, -1}}, -1},
      {"dialog frame without border", {{WS_POPUP | WS_DLGFRAME, -1}}, -1},
  };
  for (const owner_case& c : cases) {
    std::vector<HWND> created;
    for (const window_setup& setup : c.windows)
      created.push_back(create(setup.style, setup.owner < 0 ? nullptr : created[setup.owner]));
    ASSERT_EQ(GetActiveWindow(), nullptr) << c.name;
    EXPECT_EQ(kv::owner_window(), c.expected < 0 ? nullptr : created[c.expected]) << c.name;
    destroy_windows();
  }
}

TEST_F(OwnerWindow, ActivePopupOfTheActiveWindow) {
  const HWND frame = create(WS_OVERLAPPEDWINDOW);
  const HWND popup = create(WS_POPUP | WS_CAPTION, frame);
  // Activation does not need the windows on screen; hidden ones are also destroyed without
  // waiting for the display.
  SetActiveWindow(popup);
  ASSERT_EQ(GetActiveWindow(), popup);
  EXPECT_EQ(kv::owner_window(), popup);
}

TEST(ErrorText, SystemTextWithoutLineBreaks) {
  // ERROR_BAD_EXE_FORMAT's text has an insert, which stays as it is.
  for (DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_BAD_EXE_FORMAT}}) {
    const std::optional<std::wstring> raw = raw_system_text(code, 0);
    ASSERT_TRUE(raw.has_value()) << code;
    const std::wstring text = kv::error_text(code);
    EXPECT_EQ(text, without_line_breaks(*raw)) << code;
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), L'\n') << code;
    EXPECT_NE(text.back(), L'\r') << code;
  }
  EXPECT_NE(kv::error_text(ERROR_BAD_EXE_FORMAT).find(L"%1"), std::wstring::npos);
}

TEST(ErrorText, CodeWithoutTextGivesTextOfEFail) {
  constexpr DWORD unknown = 0x2000FFFF;
  ASSERT_FALSE(raw_system_text(unknown, 0).has_value()) << "the system has a text for the unknown code";
  const std::optional<std::wstring> fail = raw_system_text(static_cast<DWORD>(E_FAIL), 0);
  const std::wstring expected = fail ? without_line_breaks(*fail) : L"Error";
  EXPECT_EQ(kv::error_text(static_cast<DWORD>(E_FAIL)), expected);
  EXPECT_EQ(kv::error_text(unknown), expected);
}

TEST(ErrorText, LanguageWithoutMessagesFallsBackToDefault) {
  const LANGID zulu = MAKELANGID(LANG_ZULU, SUBLANG_DEFAULT);
  DWORD error = 0;
  if (raw_system_text(ERROR_FILE_NOT_FOUND, zulu, &error))
    GTEST_SKIP() << "the system has messages in Zulu; no language to fall back from";
  ASSERT_EQ(error, static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  EXPECT_EQ(kv::error_text(ERROR_FILE_NOT_FOUND, zulu), kv::error_text(ERROR_FILE_NOT_FOUND, 0));
}

}  // namespace
