// What the uninstaller says, and the command line of its temporary copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "uninstall/sample_installation.h"
#include "uninstall/temporary_copy.h"
#include "uninstall/uninstall_texts.h"

namespace {

using uninstall_test::Narrow;

RecordFileContents Record(bool complete, std::size_t entries) {
  RecordFileContents record;
  record.opened = true;
  record.version = 1;
  record.product = L"Gradivo 7.17a";
  record.complete = complete;
  record.entries.resize(entries);
  return record;
}

TEST(UninstallTexts, TheQuestionNamesTheProductAndWarnsOfADamagedRecord) {
  EXPECT_EQ(Narrow(uninstall::ConfirmationText(Record(true, 3))), "Remove Gradivo 7.17a and all of its components?");
  EXPECT_EQ(Narrow(uninstall::ConfirmationText(Record(false, 1))),
            "Remove Gradivo 7.17a and all of its components?\n\nThe installation record is damaged: only its first 1 "
            "entry could be read. Only what they name will be removed; the rest stays on your computer.");
  RecordFileContents unnamed = Record(true, 0);
  unnamed.product.clear();
  EXPECT_EQ(Narrow(uninstall::ConfirmationText(unnamed)), "Remove Gradivo and all of its components?");
}

TEST(UninstallTexts, TheClosingMessageListsWhatStayedAndCutsALongList) {
  uninstall::UninstallReport report;
  report.Add(uninstall::Outcome::removed, L"file", L"C:\\P\\Gradivo.exe");
  report.Add(uninstall::Outcome::kept, L"file", L"C:\\D\\Kitchen.gvl", L"changed");
  for (int i = 0; i < 14; ++i) report.Add(uninstall::Outcome::failed, L"file", L"C:\\P\\f" + std::to_wstring(i));
  const std::wstring text = uninstall::DoneText(Record(true, 16), report);
  std::wstring failed;
  for (int i = 0; i < 12; ++i) failed += L"\n    C:\\P\\f" + std::to_wstring(i);
  EXPECT_EQ(Narrow(text), Narrow(L"Gradivo 7.17a could not be removed completely.\n\nThese items could not be removed:" +
                                 failed + L"\n    ... and 2 more\n\nThese items were kept, since they were changed after "
                                 L"the installation, hold other files or belong to another installation:\n    "
                                 L"C:\\D\\Kitchen.gvl"));
}

struct CopyCase {
  const char* name;
  std::wstring folder;
  friend void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }
};

class CopyCommandLine : public testing::TestWithParam<CopyCase> {};

TEST_P(CopyCommandLine, ReadsBackWhole) {
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x1a4));
  const std::wstring line = uninstall::FinishCommandLine(L"C:\\users\\me\\Temp\\gun1.tmp", handle, GetParam().folder);
  const std::optional<uninstall::FinishArguments> read = uninstall::ParseFinishArguments(line);
  ASSERT_TRUE(read.has_value()) << Narrow(line);
  EXPECT_EQ(read->original, handle);
  EXPECT_EQ(Narrow(read->folder), Narrow(GetParam().folder));
}

INSTANTIATE_TEST_SUITE_P(
    Folders, CopyCommandLine,
    testing::Values(CopyCase{"WithBlanks", L"C:\\Program Files (x86)\\Veltram & Ruziruzu\\Gradivo 7"},
                    CopyCase{"DriveRoot", L"C:\\"}, CopyCase{"Share", L"\\\\server\\share\\Gradivo 7"},
                    CopyCase{"NotAscii", L"C:\\Programme\\\u040a\u0a85"}),
    [](const testing::TestParamInfo<CopyCase>& param) { return std::string(param.param.name); });

TEST(CopyCommandLine, OtherCommandLinesAreNotACopy) {
  for (const wchar_t* line : {L"Uninstall.exe", L"Uninstall.exe /finish", L"Uninstall.exe /finish 12",
                              L"Uninstall.exe /finish x C:\\a", L"Uninstall.exe /finish 12 C:\\a extra",
                              L"Uninstall.exe /finish 12 \"\"", L"Uninstall.exe /other 12 C:\\a"})
    EXPECT_FALSE(uninstall::ParseFinishArguments(line).has_value()) << Narrow(line);
}

}  // namespace
