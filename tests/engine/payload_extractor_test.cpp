#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "archive_writer.h"
#include "common/test_environment.h"
#include "engine/payload_extractor.h"
#include "support/handles.h"
#include "support/memory_stream.h"

namespace {

struct TestFile {
  std::wstring name;
  std::wstring destination;
  std::string data;
  std::uint32_t kind = 0;
};

// The raw (decompressed) archive of files; crcOverride replaces the CRC of one entry.
std::string RawArchive(const std::vector<TestFile>& files, int wrongCrcIndex = -1) {
  std::vector<PayloadEntry> entries;
  std::string data;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const TestFile& file = files[i];
    std::uint32_t crc = PayloadCrc32(file.data);
    if (static_cast<int>(i) == wrongCrcIndex) crc ^= 1;
    entries.push_back({L"C:\\build\\payload\\" + file.name, file.destination, file.kind, file.data.size(), crc});
    data += file.data;
  }
  return EncodePayloadHeader(entries) + data;
}

std::string LittleEndian(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

// What the callback saw, and how it answers.
struct Recorder {
  std::vector<std::size_t> kinds;  // notification indexes in order
  std::vector<std::wstring> begun, ended;
  std::uint64_t lastProcessed = 0, lastTotal = 0;
  int failureValue = 0;
  const std::error_category* failureCategory = nullptr;
  std::wstring failurePath;
  notification::result onBegin = notification::result::proceed;
  int abortAtProgress = -1;
  int progressCount = 0;

  PayloadCallback Callback() {
    return [this](notification message) {
      kinds.push_back(message.index());
      if (auto* begin = std::get_if<notification::file_begin>(&message)) {
        begun.push_back(begin->entry.destination);
        return onBegin;
      }
      if (auto* end = std::get_if<notification::file_end>(&message)) ended.push_back(end->entry.destination);
      if (auto* progress = std::get_if<notification::progress>(&message)) {
        lastProcessed = progress->processed;
        lastTotal = progress->total;
        if (progressCount++ == abortAtProgress) return notification::result::abort;
      }
      if (auto* failure = std::get_if<notification::failure>(&message)) {
        failureValue = failure->value;
        failureCategory = &failure->category;
        failurePath = failure->path;
      }
      return notification::result::proceed;
    };
  }
};

class PayloadExtraction : public testing::Test {
 protected:
  bool Extract(const std::string& compressed, Recorder& recorder) {
    kv::basic_imemstream source(compressed.data(), compressed.size());
    return ExtractPayload(source, install(), L"Samples", temp(), recorder.Callback());
  }
  std::wstring install() const { return (folder_.path() / L"install").wstring(); }
  std::wstring temp() const { return (folder_.path() / L"temp").wstring(); }
  std::string Read(const std::wstring& path) const {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Every file below the scratch folder's parent that is not inside the scratch folder: none may
  // appear, whatever the archive says.
  std::size_t FilesOutsideScratch() const {
    std::size_t count = 0;
    for (const auto& item : std::filesystem::directory_iterator(folder_.path().parent_path()))
      if (item.path().filename().wstring().find(L"outside") != std::wstring::npos) ++count;
    return count;
  }
  test::scratch_folder folder_;
};

TEST_F(PayloadExtraction, WritesEveryFileAndReportsEachStep) {
  const std::vector<TestFile> files = {
      {L"Gradivo.exe", L"<InstallPath>", std::string(10000, 'x'), 1},
      {L"empty.lib", L"<InstallPath>\\Libraries", "", 3},
      {L"setup.cab", L"<Temporary>", "cabinet", 5},
  };
  Recorder recorder;
  ASSERT_TRUE(Extract(CompressPayload(RawArchive(files)), recorder));
  EXPECT_EQ(Read(install() + L"\\Gradivo.exe"), files[0].data);
  EXPECT_TRUE(std::filesystem::exists(install() + L"\\Libraries\\empty.lib"));
  EXPECT_EQ(std::filesystem::file_size(install() + L"\\Libraries\\empty.lib"), 0u);
  EXPECT_EQ(Read(temp() + L"\\setup.cab"), "cabinet");
  EXPECT_EQ(recorder.ended, recorder.begun);
  ASSERT_EQ(recorder.ended.size(), 3u);
  EXPECT_EQ(recorder.kinds.front(), 0u);  // started
  EXPECT_EQ(recorder.kinds.back(), 1u);   // finished
  EXPECT_EQ(recorder.lastProcessed, recorder.lastTotal);
  EXPECT_EQ(PayloadCrc32(""), 0u);
}

TEST_F(PayloadExtraction, HeaderOnlyArchiveSucceedsWithNoFile) {
  const std::string raw = LittleEndian(12, 8) + LittleEndian(0, 4);
  Recorder recorder;
  EXPECT_TRUE(Extract(CompressPayload(raw), recorder));
  EXPECT_EQ(recorder.lastProcessed, 12u);
  EXPECT_EQ(recorder.lastTotal, 12u);
  EXPECT_FALSE(std::filesystem::exists(install()));
}

TEST_F(PayloadExtraction, FailuresAndTheirValues) {
  const std::vector<TestFile> two = {{L"a.dat", L"<InstallPath>", "alpha", 0}, {L"b.dat", L"<InstallPath>", "beta", 0}};
  const std::string good = RawArchive(two);
  const std::string compressedGood = CompressPayload(good);
  const struct {
    const char* what;
    std::string compressed;
    int value;
    bool compressCategory;
  } cases[] = {
      {"empty source", "", 7, true},
      {"data past the last entry", CompressPayload(good + "z"), 7, true},
      {"archive ends early", CompressPayload(good.substr(0, good.size() - 2)), 7, true},
      {"truncated bzip2 data", compressedGood.substr(0, compressedGood.size() / 2), 6, true},
      {"damaged bzip2 data", compressedGood.substr(0, 20) + std::string(40, '\x55') + compressedGood.substr(60), 6, true},
      {"not bzip2 at all", std::string(200, 'q'), 6, true},
      {"header size below 12", CompressPayload(LittleEndian(8, 8) + LittleEndian(0, 4)), 7, true},
      {"huge entry count", CompressPayload(LittleEndian(12, 8) + LittleEndian(0xFFFFFFFF, 4)), 7, true},
      {"huge header size", CompressPayload(LittleEndian(1ull << 40, 8) + LittleEndian(1, 4)), 7, true},
      {"entries beyond the header size", CompressPayload(LittleEndian(16, 8) + LittleEndian(1, 4) + std::string(4, '\0')),
       7, true},
      {"wrong checksum on the second file", CompressPayload(RawArchive(two, 1)), 3, true},
  };
  for (const auto& c : cases) {
    Recorder recorder;
    EXPECT_FALSE(Extract(c.compressed, recorder)) << c.what;
    EXPECT_EQ(recorder.failureValue, c.value) << c.what;
    EXPECT_EQ(recorder.failureCategory, &compress_category()) << c.what;
    EXPECT_EQ(recorder.kinds.back(), 5u) << c.what;
  }
}

TEST_F(PayloadExtraction, WrongChecksumKeepsTheFileAndSendsNoFileEnd) {
  const std::vector<TestFile> files = {{L"a.dat", L"<InstallPath>", "alpha", 0}, {L"b.dat", L"<InstallPath>", "beta", 0}};
  Recorder recorder;
  EXPECT_FALSE(Extract(CompressPayload(RawArchive(files, 0)), recorder));
  EXPECT_EQ(recorder.failureValue, 3);
  EXPECT_EQ(recorder.failurePath, install() + L"\\a.dat");
  EXPECT_TRUE(recorder.ended.empty());
  EXPECT_EQ(Read(install() + L"\\a.dat"), "alpha");
  EXPECT_FALSE(std::filesystem::exists(install() + L"\\b.dat"));
}

TEST_F(PayloadExtraction, SkippedFilesAreCountedButNotWritten) {
  const std::vector<TestFile> files = {{L"a.dat", L"<InstallPath>", "alpha", 4}, {L"b.dat", L"<InstallPath>", "beta", 4}};
  Recorder recorder;
  recorder.onBegin = notification::result::skip;
  EXPECT_TRUE(Extract(CompressPayload(RawArchive(files)), recorder));
  EXPECT_EQ(recorder.begun.size(), 2u);
  EXPECT_TRUE(recorder.ended.empty());
  EXPECT_FALSE(std::filesystem::exists(install()));
  EXPECT_EQ(recorder.lastProcessed, recorder.lastTotal);
}

TEST_F(PayloadExtraction, AbortFromProgressOrFileBeginInterrupts) {
  const std::vector<TestFile> files = {{L"a.dat", L"<InstallPath>", std::string(9000, 'a'), 0}};
  for (int abortAt : {0, 1, 2}) {
    Recorder recorder;
    recorder.abortAtProgress = abortAt;
    EXPECT_FALSE(Extract(CompressPayload(RawArchive(files)), recorder)) << abortAt;
    EXPECT_EQ(recorder.failureValue, 5) << abortAt;
    EXPECT_EQ(compress_category().message(5), "interrupted");
  }
  Recorder atBegin;
  atBegin.onBegin = notification::result::abort;
  const std::vector<TestFile> other = {{L"b.dat", L"<InstallPath>", "beta", 0}};
  EXPECT_FALSE(Extract(CompressPayload(RawArchive(other)), atBegin));
  EXPECT_EQ(atBegin.failureValue, 5);
  EXPECT_FALSE(std::filesystem::exists(install() + L"\\b.dat"));
}

TEST_F(PayloadExtraction, HostileNamesAndDestinationsWriteNothingOutside) {
  const std::vector<std::vector<TestFile>> archives = {
      {{L"..", L"<InstallPath>", "x", 0}},
      {{L"C:outside.txt", L"<InstallPath>", "x", 0}},
      {{L"outside.txt", L"<InstallPath>\\..\\..", "x", 0}},
      {{L"outside.txt", L"<Unknown>", "x", 0}},
      {{L"outside.txt", L"relative", "x", 0}},
  };
  for (const auto& files : archives) {
    Recorder recorder;
    EXPECT_FALSE(Extract(CompressPayload(RawArchive(files)), recorder));
    EXPECT_EQ(recorder.failureValue, 7);
    EXPECT_TRUE(recorder.begun.empty()) << "rejected while the header is read";
  }
  EXPECT_EQ(FilesOutsideScratch(), 0u);
}

TEST_F(PayloadExtraction, HeaderInOneBytePiecesGivesTheSameResult) {
  const std::vector<TestFile> files = {
      {L"a.dat", L"<InstallPath>", "alpha", 0},
      {L"zero.dat", L"<InstallPath>", "", 0},
      {L"b.dat", L"<InstallPath>\\Sub", "beta", 0},
  };
  const std::string raw = RawArchive(files);
  Recorder recorder;
  PayloadExtractor extractor(install(), L"", temp(), recorder.Callback());
  std::size_t at = 0;
  while (at < raw.size()) {
    // One byte at a time through the whole archive; the zero-size entry consumes nothing.
    at += static_cast<std::size_t>(extractor.write(raw.data() + at, 1));
  }
  EXPECT_EQ(extractor.processed(), extractor.total());
  EXPECT_EQ(recorder.ended.size(), 3u);
  EXPECT_EQ(Read(install() + L"\\a.dat"), "alpha");
  EXPECT_EQ(std::filesystem::file_size(install() + L"\\zero.dat"), 0u);
  EXPECT_EQ(Read(install() + L"\\Sub\\b.dat"), "beta");
}

TEST_F(PayloadExtraction, WriteNeverCrossesTheHeaderOrAnEntry) {
  const std::vector<TestFile> files = {{L"a.dat", L"<InstallPath>", "alpha", 0}, {L"b.dat", L"<InstallPath>", "beta", 0}};
  const std::string raw = RawArchive(files);
  Recorder recorder;
  PayloadExtractor extractor(install(), L"", temp(), recorder.Callback());
  const std::uint64_t headerSize = raw.size() - 9;
  EXPECT_EQ(extractor.write(raw.data(), raw.size()), 8u);
  EXPECT_EQ(extractor.write(raw.data() + 8, raw.size() - 8), headerSize - 8);
  EXPECT_EQ(extractor.write(raw.data() + headerSize, 9), 5u);
  EXPECT_EQ(extractor.write(raw.data() + headerSize + 5, 4), 4u);
  EXPECT_EQ(recorder.ended.size(), 2u);
}

TEST_F(PayloadExtraction, TrailingEmptyEntriesAreFinished) {
  const std::vector<TestFile> files = {{L"a.dat", L"<InstallPath>", "alpha", 0}, {L"last.lib", L"<InstallPath>", "", 3}};
  Recorder recorder;
  EXPECT_TRUE(Extract(CompressPayload(RawArchive(files)), recorder));
  EXPECT_EQ(recorder.ended.size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(install() + L"\\last.lib"));
}

TEST(VerifyPayload, AcceptsWholeStreamsOnly) {
  const std::string compressed = CompressPayload(std::string(50000, 'v'));
  kv::basic_imemstream whole(compressed.data(), compressed.size());
  EXPECT_TRUE(VerifyPayload(whole));
  kv::basic_imemstream truncated(compressed.data(), compressed.size() - 10);
  EXPECT_FALSE(VerifyPayload(truncated));
  const std::string withGarbage = compressed + "garbage";
  kv::basic_imemstream garbage(withGarbage.data(), withGarbage.size());
  EXPECT_FALSE(VerifyPayload(garbage));
  // Rewound, the same stream extracts.
  whole.clear();
  whole.seekg(0);
  EXPECT_TRUE(VerifyPayload(whole));
}

TEST(FileCrc32, WaitsForAnotherProcessToReleaseTheFile) {
  test::scratch_folder folder;
  const std::wstring path = (folder.path() / L"held.dat").wstring();
  { std::ofstream(std::filesystem::path(path), std::ios::binary) << "held"; }
  kv::unique_file held(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  std::thread release([&] {
    Sleep(1500);
    held.reset();
  });
  EXPECT_EQ(FileCrc32(path), PayloadCrc32("held"));
  release.join();
  EXPECT_THROW(FileCrc32((folder.path() / L"missing.dat").wstring()), std::ios_base::failure);
}

}  // namespace
