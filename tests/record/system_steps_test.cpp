#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/test_environment.h"
#include "record/directx_setup.h"
#include "record/shortcuts.h"
#include "support/handles.h"

namespace {

// The sample payload's DirectX setup stand-in, copied into a scratch folder as the installation run
// finds it in its temporary folder. Its answers come from the environment.
class DirectXSetupTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(
        test::test_program_folder().parent_path() / L"payload" / L"files" / L"DirectX" / L"DSetup.dll",
        scratch_.path() / L"DSetup.dll");
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_LOG", log_.c_str());
  }
  void TearDown() override {
    for (const wchar_t* name : {L"GRADIVO_DSETUP_VERSION", L"GRADIVO_DSETUP_REVISION", L"GRADIVO_DSETUP_RESULT",
                                L"GRADIVO_DSETUP_LOG"})
      SetEnvironmentVariableW(name, nullptr);
  }
  std::string Log() const {
    std::ifstream in{std::filesystem::path(log_)};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  test::scratch_folder scratch_;
  std::wstring log_ = (scratch_.path() / L"calls.log").wstring();
};

TEST_F(DirectXSetupTest, RunsTheLibraryWithTheRuntimeFlags) {
  DirectXSetup setup(scratch_.path().wstring());
  ASSERT_TRUE(setup.available());
  EXPECT_TRUE(setup.Run(nullptr));
  const std::string log = Log();
  EXPECT_NE(log.find("DirectXSetupW flags=0x10018 folder="), std::string::npos) << log;
}

TEST_F(DirectXSetupTest, ResultsZeroAndOneAreSuccess) {
  for (const auto& [result, success] : {std::pair{L"0", true}, std::pair{L"1", true}, std::pair{L"2", false},
                                        std::pair{L"-1", false}}) {
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_RESULT", result);
    DirectXSetup setup(scratch_.path().wstring());
    ASSERT_TRUE(setup.available());
    EXPECT_EQ(setup.Run(nullptr), success) << "result " << testing::PrintToString(std::wstring(result));
  }
}

TEST_F(DirectXSetupTest, LibrariesBelowDirectX9Revision903AreNotUsed) {
  const struct {
    const wchar_t* version;
    const wchar_t* revision;
    bool available;
  } cases[] = {
      {L"0x00040009", L"903", true},
      {L"0x00040009", L"902", false},
      {L"0x00040008", L"2000", false},
      {L"0x00050000", L"903", true},
      {L"0xFFFFFFFF", L"-1", true},  // compared as unsigned numbers
  };
  for (const auto& c : cases) {
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_VERSION", c.version);
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_REVISION", c.revision);
    EXPECT_EQ(DirectXSetup(scratch_.path().wstring()).available(), c.available)
        << testing::PrintToString(std::wstring(c.version)) << " " << testing::PrintToString(std::wstring(c.revision));
  }
  EXPECT_TRUE(Log().empty()) << "the update itself never ran";
}

TEST_F(DirectXSetupTest, MissingLibraryIsNotAvailable) {
  DirectXSetup setup((scratch_.path() / L"elsewhere").wstring());
  EXPECT_FALSE(setup.available());
  EXPECT_FALSE(setup.Run(nullptr));
}

TEST_F(DirectXSetupTest, QuitMessageDuringTheUpdateIsPostedAgain) {
  DirectXSetup setup(scratch_.path().wstring());
  ASSERT_TRUE(setup.available());
  PostQuitMessage(42);
  EXPECT_TRUE(setup.Run(nullptr));
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 42u);
}

// What a saved shortcut holds.
struct LinkContents {
  std::wstring target, workingFolder, arguments, description;
};

LinkContents ReadLink(const std::wstring& file) {
  LinkContents contents;
  CoInitialize(nullptr);
  {
    kv::com_ptr<IShellLinkW> link;
    kv::com_ptr<IPersistFile> persist;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, persist.put_void())) &&
        SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
      wchar_t text[MAX_PATH * 2] = {};
      link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
      contents.target = text;
      text[0] = 0;
      link->GetWorkingDirectory(text, MAX_PATH);
      contents.workingFolder = text;
      text[0] = 0;
      link->GetArguments(text, MAX_PATH);
      contents.arguments = text;
      text[0] = 0;
      link->GetDescription(text, MAX_PATH);
      contents.description = text;
    }
  }
  CoUninitialize();
  return contents;
}

TEST(CreateShortcut, SavesTargetAndWorkingFolderOnly) {
  test::scratch_folder scratch;
  const std::wstring target = (scratch.path() / L"App Folder" / L"Gradivo.exe").wstring();
  std::filesystem::create_directories(scratch.path() / L"App Folder");
  std::ofstream{std::filesystem::path(target)} << "MZ";
  std::wstring path = L"untouched";
  ASSERT_TRUE(CreateShortcut(target, scratch.path().wstring(), L"Gradivo 7.17a", &path));
  EXPECT_EQ(path, (scratch.path() / L"Gradivo 7.17a.lnk").wstring());
  const LinkContents contents = ReadLink(path);
  EXPECT_EQ(contents.target, target);
  EXPECT_EQ(contents.workingFolder, (scratch.path() / L"App Folder").wstring());
  EXPECT_EQ(contents.arguments, L"");
  EXPECT_EQ(contents.description, L"");

  // Without a name the target's file name without its extension names the shortcut; an existing
  // shortcut of that name is overwritten.
  ASSERT_TRUE(CreateShortcut(target, scratch.path().wstring(), std::nullopt, &path));
  EXPECT_EQ(path, (scratch.path() / L"Gradivo.lnk").wstring());
  ASSERT_TRUE(CreateShortcut(target, scratch.path().wstring(), std::nullopt, nullptr));
}

TEST(CreateShortcut, FailsWithoutATargetAndLeavesTheOutputAlone) {
  test::scratch_folder scratch;
  std::wstring path = L"untouched";
  EXPECT_FALSE(CreateShortcut(L"", scratch.path().wstring(), L"Gradivo 7.17a", &path));
  EXPECT_EQ(path, L"untouched");
  EXPECT_FALSE(CreateShortcut(L"C:\\App\\Gradivo.exe", (scratch.path() / L"missing").wstring(), L"Gradivo", &path));
  EXPECT_EQ(path, L"untouched");
}

}  // namespace
