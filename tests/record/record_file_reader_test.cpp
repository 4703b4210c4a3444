#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <random>
#include <ostream>
#include <string>

#include "common/test_environment.h"
#include "record/installation_record.h"
#include "record/record_file_reader.h"
#include "record_test_files.h"

using namespace record_test;

namespace {

struct ReaderTest : ::testing::Test {
  test::scratch_folder scratch;
  std::filesystem::path file = scratch.path() / L"Uninstall.ulog";

  RecordFileContents ReadUtf16(const std::wstring& text) {
    WriteBytes(file, Utf16(text));
    return ReadRecordFile(file.wstring());
  }
};

TEST_F(ReaderTest, ModesAndCharactersOutsideAscii) {
  // A path with the Cyrillic letter NJE and Gujarati letters, in a UTF-16 record.
  const std::wstring folder = scratch.path().wstring() + L"\\\u040A\u0A95\u0AAE";
  std::filesystem::create_directories(folder);
  const std::wstring text = RecordText(folder, L"", L"0000:0101:1 -- " + folder + L"\\Gradivo.exe\r\n");
  const RecordFileContents wide = ReadUtf16(text);
  EXPECT_TRUE(wide.complete) << wide.stopReason;
  EXPECT_EQ(wide.installPath, folder);
  ASSERT_EQ(wide.entries.size(), 1u);
  EXPECT_EQ(wide.entries[0].text, folder + L"\\Gradivo.exe");

  // The same record in the ANSI code page (Latin letters it can hold) gives the same fields.
  const std::wstring latin = scratch.path().wstring() + L"\\Caf\u00E9 \u00FC";
  const std::wstring latinText = RecordText(latin, latin, L"0000:0101:1 -- " + latin + L"\\Gradivo.exe\r\n");
  ASSERT_EQ(kv::a2w(Narrow(latinText)), latinText) << "the code page cannot hold the test's letters";
  WriteBytes(file, Utf16(latinText));
  const RecordFileContents fromUtf16 = ReadRecordFile(file.wstring());
  WriteBytes(file, Narrow(latinText));
  const RecordFileContents fromNarrow = ReadRecordFile(file.wstring());
  EXPECT_TRUE(fromNarrow.complete) << fromNarrow.stopReason;
  EXPECT_EQ(fromNarrow.installPath, fromUtf16.installPath);
  EXPECT_EQ(fromNarrow.shortcutPath, fromUtf16.shortcutPath);
  EXPECT_EQ(fromNarrow.product, fromUtf16.product);
  EXPECT_EQ(fromNarrow.entries, fromUtf16.entries);
  EXPECT_EQ(fromNarrow.entries.at(0).text, latin + L"\\Gradivo.exe");
}

// Entry lines: what each reads back as, or that the reading stops there.
struct EntryLineCase {
  const char* name;
  std::wstring line;
  bool accepted;
  RecordEntryKind kind = RecordEntryKind::CreatedFolder;
  int tag = -1;
  bool succeeded = false;
  std::wstring text;
};

// Test names show the case name, not the bytes of the case.
void PrintTo(const EntryLineCase& c, std::ostream* os) { *os << c.name; }

class RecordEntryLines : public ::testing::TestWithParam<EntryLineCase> {};

TEST_P(RecordEntryLines, ParseAsTheFileFormatSays) {
  const EntryLineCase& c = GetParam();
  RecordEntry entry;
  std::string why;
  ASSERT_EQ(ParseRecordEntryLine(c.line, entry, why), c.accepted) << why;
  if (!c.accepted) return;
  EXPECT_EQ(entry.kind, c.kind);
  EXPECT_EQ(entry.tag, c.tag);
  EXPECT_EQ(entry.succeeded, c.succeeded);
  EXPECT_EQ(entry.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordEntryLines,
    ::testing::Values(
        EntryLineCase{"Folder", L"0000:00ff:1 -- C:\\App", true, RecordEntryKind::CreatedFolder, -1, true, L"C:\\App"},
        EntryLineCase{"FileWithPayloadKind", L"0001:0103:1 -- C:\\App\\user.lib", true, RecordEntryKind::InstalledFile, 3, true, L"C:\\App\\user.lib"},
        EntryLineCase{"UninstallKeyTextNotKept", L"0002:05ff:1 -- HKEY_LOCAL_MACHINE\\x", true, RecordEntryKind::UninstallKey, -1, true, L""},
        EntryLineCase{"AssociationsTextNotKept", L"0002:06ff:0 -- HKEY_CLASSES_ROOT\\...", true, RecordEntryKind::FileAssociations, -1, false, L""},
        EntryLineCase{"FailedShortcutWithoutText", L"0041:04ff:0 --", true, RecordEntryKind::DesktopShortcut, -1, false, L""},
        EntryLineCase{"SpacesAroundSeparatorsNoLeadingZeros", L"  7 : 101 :  1   --   C:\\a b", true, RecordEntryKind::InstalledFile, 1, true, L"C:\\a b"},
        EntryLineCase{"TextHoldingTheSeparator", L"0003:0104:1 -- C:\\x -- y: z", true, RecordEntryKind::InstalledFile, 4, true, L"C:\\x -- y: z"},
        EntryLineCase{"FiveDigitSequence", L"10000:07ff:1 -- DirectX", true, RecordEntryKind::DirectXRuntime, -1, true, L"DirectX"},
        EntryLineCase{"KindEight", L"0000:0801:1 -- C:\\x", false},
        EntryLineCase{"NegativeSequence", L"-1:00ff:1 -- C:\\x", false},
        EntryLineCase{"NegativeCode", L"0000:-1:1 -- C:\\x", false},
        EntryLineCase{"ResultTwo", L"0000:00ff:2 -- C:\\x", false},
        EntryLineCase{"NoSeparatorWord", L"0000:00ff:1 C:\\x", false},
        EntryLineCase{"SeparatorGluedToText", L"0000:00ff:1 --C:\\x", false},
        EntryLineCase{"HugeSequence", L"99999999999999999999:00ff:1 -- C:\\x", false},
        EntryLineCase{"Empty", L"", false},
        EntryLineCase{"OneCharacter", L"0", false}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST_F(ReaderTest, VersionTwoReadsNothingMore) {
  std::wstring text = RecordText(scratch.path().wstring(), L"", L"0000:00ff:1 -- C:\\x\r\n");
  text.replace(text.find(L"v1"), 2, L"v2");
  const RecordFileContents contents = ReadUtf16(text);
  EXPECT_FALSE(contents.complete);
  EXPECT_EQ(contents.stopLine, 0u);
  EXPECT_TRUE(contents.product.empty());
  EXPECT_TRUE(contents.installPath.empty());
  EXPECT_TRUE(contents.entries.empty());
}

TEST_F(ReaderTest, BlankLineAmongEntriesStopsTheReading) {
  const RecordFileContents contents =
      ReadUtf16(RecordText(L"", L"", L"0000:00ff:1 -- C:\\a\r\n\r\n0001:00ff:1 -- C:\\b\r\n"));
  EXPECT_FALSE(contents.complete);
  EXPECT_EQ(contents.stopLine, 7u);
  ASSERT_EQ(contents.entries.size(), 1u);
  EXPECT_EQ(contents.entries[0].text, L"C:\\a");
}

TEST_F(ReaderTest, EntryLinesWithoutAHeaderAreNotTaken) {
  const RecordFileContents contents = ReadUtf16(L"0000:00ff:1 -- C:\\a\r\n");
  EXPECT_FALSE(contents.complete);
  EXPECT_TRUE(contents.entries.empty());
}

TEST_F(ReaderTest, OverlongLineStopsWithoutOverrun) {
  // 509 characters and CR LF fit the 511 code units of a UTF-16 line; one more does not.
  const std::wstring prefix = L"0000:00ff:1 -- ";
  const std::wstring fits = prefix + std::wstring(509 - prefix.size(), L'a');
  const std::wstring tooLong = prefix + std::wstring(510 - prefix.size(), L'b');
  const RecordFileContents contents = ReadUtf16(RecordText(L"", L"", fits + L"\r\n" + tooLong + L"\r\n0002:00ff:1 -- C:\\c\r\n"));
  EXPECT_FALSE(contents.complete);
  EXPECT_EQ(contents.stopLine, 7u);
  ASSERT_EQ(contents.entries.size(), 1u);
  EXPECT_EQ(contents.entries[0].text.size(), 509 - prefix.size());

  // The same in a narrow file: 1,023 bytes.
  const std::string narrowPrefix = "0000:00ff:1 -- ";
  std::string narrow = Narrow(RecordText(L"", L"", L"")) + narrowPrefix + std::string(1021 - narrowPrefix.size(), 'a') +
                       "\r\n" + narrowPrefix + std::string(1022 - narrowPrefix.size(), 'b') + "\r\n";
  WriteBytes(file, narrow);
  const RecordFileContents narrowContents = ReadRecordFile(file.wstring());
  EXPECT_FALSE(narrowContents.complete);
  EXPECT_EQ(narrowContents.entries.size(), 1u);
}

TEST_F(ReaderTest, DamagedEndsAndEmbeddedNul) {
  // An odd byte count: the lone last byte is no code unit; the lines before it are whole.
  std::string bytes = Utf16(RecordText(L"", L"", L"0000:00ff:1 -- C:\\a\r\n0001:00ff:1 -- C:\\b"));
  bytes += 'x';
  WriteBytes(file, bytes);
  RecordFileContents contents = ReadRecordFile(file.wstring());
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[1].text, L"C:\\b");

  // No line ends at all: one header line, read whole.
  contents = ReadUtf16(L"// Uninstall Log File v1");
  EXPECT_TRUE(contents.complete);
  EXPECT_EQ(contents.version, 1);

  // A NUL ends the line's text.
  contents = ReadUtf16(RecordText(L"", L"", std::wstring(L"0000:00ff:1 -- C:\\a\0hidden\r\n", 29)));
  ASSERT_EQ(contents.entries.size(), 1u);
  EXPECT_EQ(contents.entries[0].text, L"C:\\a");

  // An empty file and a file that is only the byte-order mark hold nothing.
  for (const std::string& empty : {std::string(), std::string("\xFF\xFE", 2), std::string("\xFF", 1)}) {
    WriteBytes(file, empty);
    contents = ReadRecordFile(file.wstring());
    EXPECT_TRUE(contents.opened);
    EXPECT_TRUE(contents.entries.empty());
  }
}

TEST_F(ReaderTest, MissingFoldersAreNotTakenOver) {
  const std::wstring missing = scratch.path().wstring() + L"\\gone";
  WriteBytes(file, Utf16(RecordText(missing, scratch.path().wstring(), L"")));
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.Read(file.wstring());
  EXPECT_TRUE(record.previousInstallPath.empty());
  EXPECT_EQ(record.previousShortcutPath, scratch.path().wstring());
  record.Read(std::nullopt);
  EXPECT_TRUE(record.previousShortcutPath.empty());
}

// Random damage to a valid record never crashes the reader; whatever it keeps are entries of the
// eight kinds.
TEST_F(ReaderTest, SurvivesThousandsOfDamagedRecords) {
  std::wstring entries;
  for (int i = 0; i < 40; ++i) entries += L"00" + std::to_wstring(10 + i) + L":0101:1 -- C:\\App\\file" + std::to_wstring(i) + L".dat\r\n";
  const std::string valid = Utf16(RecordText(scratch.path().wstring(), scratch.path().wstring(), entries));
  std::mt19937 random(20261211);
  for (int round = 0; round < 3000; ++round) {
    std::string damaged = valid;
    switch (round % 4) {
      case 0:  // flips
        for (int i = 0; i < 1 + static_cast<int>(random() % 8); ++i) damaged[random() % damaged.size()] ^= static_cast<char>(1 + random() % 255);
        break;
      case 1:  // truncation
        damaged.resize(random() % damaged.size());
        break;
      case 2: {  // insertion of random bytes, sometimes a long run
        const std::size_t count = random() % 3 == 0 ? 600 + random() % 3000 : 1 + random() % 16;
        std::string inserted;
        for (std::size_t i = 0; i < count; ++i) inserted += static_cast<char>(random() % 256);
        damaged.insert(random() % damaged.size(), inserted);
        break;
      }
      default:  // the byte-order mark lost: the same bytes read as narrow text
        damaged.erase(0, 1 + random() % 2);
        break;
    }
    WriteBytes(file, damaged);
    const RecordFileContents contents = ReadRecordFile(file.wstring());
    ASSERT_LE(contents.entries.size(), 40u + 64u) << "round " << round;
    for (const RecordEntry& entry : contents.entries) {
      ASSERT_GE(static_cast<int>(entry.kind), 0);
      ASSERT_LE(static_cast<int>(entry.kind), 7);
      ASSERT_LE(entry.text.size(), 1023u);
    }
  }
}

}  // namespace
