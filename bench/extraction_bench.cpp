// extraction_bench: how long the installer's extractor takes over a payload archive, against one
// plain libbz2 decode of the same bytes.
//
//   extraction_bench ARCHIVE [ARCHIVE...]
//
// Each archive is mapped into memory and read once, then timed three ways in the same process
// (for an archive below 64 MB each way three times over, the fastest pass counting, so that the
// figures of the sample payload do not hang on one slow moment of the machine):
//   a) one raw decode pass with libbz2 (standard mode, output into a 4096-byte buffer, discarded);
//   b) VerifyPayload over a memory stream of the bytes;
//   c) ExtractPayload into a fresh scratch folder below the temporary folder.
// It prints the times, the ratio (b+c)/a, the extraction's throughput in decompressed bytes and the
// peak private memory (commit charge) of the process. With more than one archive every archive
// runs in a child process of its own, so that each peak belongs to one archive only.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "engine/payload_extractor.h"
#include "measures.h"
#include "support/encoding.h"
#include "support/memory_stream.h"

namespace {

using bench::mebibyte;
using bench::MemoryPeak;
using bench::Stopwatch;

// The archive's bytes, held in memory through a read-only view of the file. The view is not part
// of the process's private commit charge, so the peak measured is the extractor's own and not the
// size of the archive; every page is touched once so that no pass pays for reading the file.
class MappedFile {
 public:
  explicit MappedFile(const std::filesystem::path& path) {
    const std::string name = kv::wide_to_utf8(path.wstring());
    file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + name);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size) || size.QuadPart == 0) throw std::runtime_error("cannot read " + name);
    mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping_) throw std::runtime_error("cannot map " + name);
    data_ = static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    if (!data_) throw std::runtime_error("cannot map " + name);
    size_ = static_cast<std::size_t>(size.QuadPart);
    volatile char sink = 0;
    for (std::size_t offset = 0; offset < size_; offset += 4096) sink = sink ^ data_[offset];
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() {
    if (data_) UnmapViewOfFile(data_);
    if (mapping_) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  const char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Files the extraction placed outside the scratch folder (shared and per-user data folders), and the
// folders it had to create for them, so that they can be removed afterwards.
struct OutsideFiles {
  std::vector<std::filesystem::path> files;
  std::vector<std::filesystem::path> createdFolders;  // deepest first per file
  std::set<std::filesystem::path> checkedFolders;

  void before(const std::filesystem::path& file) {
    const std::filesystem::path parent = file.parent_path();
    if (!checkedFolders.insert(parent).second) return;
    std::error_code error;
    for (std::filesystem::path folder = parent; !folder.empty() && folder != folder.root_path(); folder = folder.parent_path()) {
      if (std::filesystem::exists(folder, error)) break;
      createdFolders.push_back(folder);
    }
  }

  void remove() {
    std::error_code error;
    for (const auto& file : files) std::filesystem::remove(file, error);
    std::sort(createdFolders.begin(), createdFolders.end(),
              [](const auto& a, const auto& b) { return a.native().size() > b.native().size(); });
    for (const auto& folder : createdFolders) std::filesystem::remove(folder, error);  // only when empty
  }
};

bool IsBelow(const std::wstring& path, const std::wstring& folder) {
  return path.size() > folder.size() && (path[folder.size()] == L'\\' || path[folder.size()] == L'/') &&
         CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                              static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

// One timed extraction into a fresh scratch folder below the temporary folder, which is removed
// afterwards together with whatever the payload placed in shared or per-user data folders.
struct Extraction {
  bool succeeded = false;
  double milliseconds = 0;
  double crcMilliseconds = 0;  // reading every written file back once more, for comparison
  std::uint64_t total = 0;
  std::uint64_t consumed = 0;
  std::string failure;
};

Extraction TimeExtraction(const MappedFile& bytes, MemoryPeak& memory) {
  wchar_t tempPath[MAX_PATH + 1];
  const DWORD tempLength = GetTempPathW(MAX_PATH + 1, tempPath);
  if (tempLength == 0 || tempLength > MAX_PATH) throw std::runtime_error("no temporary folder");
  const std::filesystem::path scratch =
      std::filesystem::path(tempPath) / (L"gradivo-bench-" + std::to_wstring(GetCurrentProcessId()));
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch);
  const std::wstring scratchText = scratch.wstring();
  const std::wstring install = (scratch / L"install").wstring();
  const std::wstring samples = (scratch / L"samples").wstring();
  const std::wstring temp = (scratch / L"temp").wstring();

  Extraction result;
  OutsideFiles outside;
  std::vector<std::wstring> written;
  std::uint64_t nextSample = 0;
  {
    kv::basic_imemstream source(bytes.data(), bytes.size());
    Stopwatch clock;
    result.succeeded = ExtractPayload(source, install, samples, temp, [&](notification message) {
      if (const auto* progress = std::get_if<notification::progress>(&message)) {
        if (progress->processed >= nextSample) {
          memory.sample();
          nextSample = progress->processed + (1u << 20);
        }
      } else if (const auto* begin = std::get_if<notification::file_begin>(&message)) {
        if (!IsBelow(begin->entry.destination, scratchText)) outside.before(begin->entry.destination);
      } else if (const auto* end = std::get_if<notification::file_end>(&message)) {
        written.push_back(end->entry.destination);
        if (!IsBelow(end->entry.destination, scratchText)) outside.files.emplace_back(end->entry.destination);
      } else if (const auto* finished = std::get_if<notification::finished>(&message)) {
        result.total = finished->total;
        result.consumed = finished->consumed;
      } else if (const auto* failed = std::get_if<notification::failure>(&message)) {
        result.failure = std::to_string(failed->value) + " " + failed->category.name() + " " +
                         failed->category.message(failed->value) + " " + kv::wide_to_utf8(failed->path);
      }
      return notification::result::proceed;
    });
    result.milliseconds = clock.milliseconds();
  }
  memory.sample();

  // Not part of the ratio: how long reading every written file back for its CRC-32 takes (the
  // extractor does this after each file), to tell how the extraction's time divides.
  if (result.succeeded) {
    Stopwatch clock;
    for (const std::wstring& file : written) FileCrc32(file);
    result.crcMilliseconds = clock.milliseconds();
  }

  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  outside.remove();
  return result;
}

// Archives below this size are timed three times over, the fastest pass of each way counting.
constexpr std::size_t repeatedBelow = 64u << 20;

int RunOne(const std::filesystem::path& archive) {
  const std::string name = kv::wide_to_utf8(archive.wstring());
  MemoryPeak memory;
  const MappedFile bytes(archive);
  memory.sample();
  const int passes = bytes.size() < repeatedBelow ? 3 : 1;

  double raw = 0, verify = 0;
  std::uint64_t rawTotal = 0;
  Extraction extraction;
  for (int pass = 0; pass < passes; ++pass) {
    // a) the reference: libbz2 alone.
    Stopwatch rawClock;
    rawTotal = bench::RawDecode(bytes.data(), bytes.size());
    const double rawTime = rawClock.milliseconds();
    raw = pass == 0 ? rawTime : std::min(raw, rawTime);
    memory.sample();

    // b) the check the installer makes before extracting.
    kv::basic_imemstream source(bytes.data(), bytes.size());
    Stopwatch verifyClock;
    const bool verified = VerifyPayload(source);
    const double verifyTime = verifyClock.milliseconds();
    verify = pass == 0 ? verifyTime : std::min(verify, verifyTime);
    memory.sample();
    if (!verified) {
      std::fprintf(stderr, "extraction_bench: %s does not verify\n", name.c_str());
      return 1;
    }

    // c) the extraction.
    Extraction current = TimeExtraction(bytes, memory);
    if (!current.succeeded) {
      std::fprintf(stderr, "extraction_bench: extraction of %s failed: %s\n", name.c_str(), current.failure.c_str());
      return 1;
    }
    if (pass == 0 || current.milliseconds < extraction.milliseconds) extraction = std::move(current);
  }

  const double extract = extraction.milliseconds;
  const double ratio = (verify + extract) / raw;
  const double rate = static_cast<double>(extraction.total) / mebibyte / (extract / 1000.0);
  const double peak = static_cast<double>(memory.peak()) / mebibyte;
  std::printf("archive %s (fastest of %d passes)\n", name.c_str(), passes);
  std::printf("  compressed          %10.1f MB (%llu bytes, %llu consumed)\n", static_cast<double>(bytes.size()) / mebibyte,
              static_cast<unsigned long long>(bytes.size()), static_cast<unsigned long long>(extraction.consumed));
  std::printf("  decompressed        %10.1f MB (%llu bytes)\n", static_cast<double>(extraction.total) / mebibyte,
              static_cast<unsigned long long>(extraction.total));
  std::printf("  a) raw libbz2 decode %9.1f ms (%.1f MB/s)\n", raw,
              static_cast<double>(rawTotal) / mebibyte / (raw / 1000.0));
  std::printf("  b) VerifyPayload     %9.1f ms\n", verify);
  std::printf("  c) ExtractPayload    %9.1f ms (%.1f MB/s)\n", extract, rate);
  std::printf("     of which CRC re-read about %.1f ms, decompression about b, writing the rest\n",
              extraction.crcMilliseconds);
  std::printf("  ratio (b+c)/a        %9.2f\n", ratio);
  std::printf("  peak private memory  %9.1f MB\n", peak);
  std::printf("result ratio %.2f memory %.1f\n", ratio, peak);
  std::fflush(stdout);
  return 0;
}

// Runs this program again for one archive and waits for it; its output goes to ours.
int RunChild(const std::wstring& archive) {
  wchar_t self[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) throw std::runtime_error("cannot find the program's own path");
  std::wstring command = L"\"" + std::wstring(self) + L"\" \"" + archive + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::fflush(stdout);
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    throw std::runtime_error("cannot start " + kv::wide_to_utf8(self));
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: extraction_bench ARCHIVE [ARCHIVE...]\n");
    return 2;
  }
  try {
    if (argc == 2) return RunOne(argv[1]);
    int result = 0;
    for (int i = 1; i < argc; ++i) result = std::max(result, RunChild(argv[i]));
    return result;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "extraction_bench: %s\n", error.what());
    return 1;
  }
}
