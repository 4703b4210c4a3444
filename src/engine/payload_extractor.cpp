#include "engine/payload_extractor.h"

#include <windows.h>

#include <share.h>

#include <boost/crc.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_streambuf.hpp>
#include <boost/system/system_error.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ios>

namespace {

constexpr std::size_t chunkSize = 4096;

[[noreturn]] void Fail(compress_error error, const char* what) {
  throw std::system_error(make_error_code(error), what);
}

// The C runtime's last operating-system error and errno, cleared before each step that reports
// through them, so that a value seen after a failure belongs to that failure.
void ClearRuntimeErrors() {
  _doserrno = 0;
  errno = 0;
}

// The last component of a source path, which names the output file. A name that is not a plain
// file name (empty, made of dots and blanks only such as "." or "..", a drive or stream colon, a
// wildcard) would not name a file inside its destination folder: the archive is rejected instead.
std::wstring OutputFileName(const std::wstring& source) {
  const std::size_t separator = source.find_last_of(L"\\/");
  std::wstring name = separator == std::wstring::npos ? source : source.substr(separator + 1);
  if (name.find_first_not_of(L". ") == std::wstring::npos || name.find_first_of(L"<>:\"|?*") != std::wstring::npos)
    Fail(compress_error::unexpected, "archive entry without a valid file name");
  for (wchar_t c : name)
    if (c < 0x20) Fail(compress_error::unexpected, "archive entry without a valid file name");
  return name;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
  return folder + L'\\' + name;
}

// Standard decompression, not the small-memory mode.
constexpr bool smallMemoryMode = false;

// Hands everything the decompressor yields from source to sink(data, count), in chunks of at most
// 4096 bytes. Damaged or truncated data raises boost::iostreams::bzip2_error, also when it is
// found only as the chain closes.
template <typename Sink>
void Decompress(std::istream& source, Sink&& sink) {
  // An empty source gives nothing to decompress.
  if (source.rdbuf()->sgetc() == std::char_traits<char>::eof()) return;
  boost::iostreams::filtering_istreambuf chain;
  chain.push(boost::iostreams::bzip2_decompressor(smallMemoryMode, chunkSize), chunkSize);
  chain.push(source, chunkSize);
  char buffer[chunkSize];
  for (;;) {
    const std::streamsize got = chain.sgetn(buffer, chunkSize);
    if (got <= 0) break;
    sink(buffer, static_cast<std::uint64_t>(got));
  }
  chain.reset();
}

// The compressed bytes the source has given so far.
std::uint64_t ConsumedFrom(std::istream& source) {
  source.clear(source.rdstate() & ~(std::ios::eofbit | std::ios::failbit));
  const std::streampos at = source.tellg();
  return at < 0 ? 0 : static_cast<std::uint64_t>(static_cast<std::streamoff>(at));
}

}  // namespace

PayloadExtractor::PayloadExtractor(const std::wstring& installFolder, const std::wstring& sampleFolder,
                                   const std::wstring& temporaryFolder, PayloadCallback callback)
    : folders_{installFolder, sampleFolder, temporaryFolder, {}}, callback_(std::move(callback)) {}

const PayloadEntry* PayloadExtractor::current_entry() const noexcept {
  if (!started_ || position_ == 0 || position_ > entries_.size()) return nullptr;
  return &entries_[position_ - 1];
}

std::uint64_t PayloadExtractor::write(const char* data, std::uint64_t count) {
  if (failed_) return count;
  try {
    const std::uint64_t taken = position_ == 0 ? collect_header(data, count) : write_entry(data, count);
    ClearRuntimeErrors();
    return taken;
  } catch (...) {
    failed_ = true;
    throw;
  }
}

std::uint64_t PayloadExtractor::collect_header(const char* data, std::uint64_t count) {
  const std::uint64_t collected = header_->contents().size();
  const std::uint64_t wanted = collected < 8 ? 8 - collected : headerSize_ - collected;
  const std::uint64_t taken = std::min(wanted, count);
  header_->write(data, static_cast<std::streamsize>(taken));
  if (!*header_) throw std::bad_alloc();
  const std::uint64_t now = collected + taken;
  if (collected < 8) {
    if (now == 8) {
      headerSize_ = ReadPayloadHeaderSize(header_->contents());
    }
    return taken;
  }
  if (now == headerSize_) parse_header();
  return taken;
}

void PayloadExtractor::parse_header() {
  entries_ = ReadPayloadEntries(header_->contents());
  std::uint64_t total = headerSize_;
  for (PayloadEntry& entry : entries_) {
    entry.destination = JoinPath(ResolveDestination(entry.destination, folders_), OutputFileName(entry.source));
    if (entry.size > UINT64_MAX - total) Fail(compress_error::unexpected, "archive sizes overflow");
    total += entry.size;
  }
  total_ = total;
  processed_ = headerSize_;
  report_progress();
  position_ = 1;
}

std::uint64_t PayloadExtractor::write_entry(const char* data, std::uint64_t count) {
  if (position_ - 1 >= entries_.size()) Fail(compress_error::unexpected, "archive holds more data than its entries");
  PayloadEntry& entry = entries_[position_ - 1];
  if (!started_) begin_entry(entry);
  const std::uint64_t taken = std::min(remaining_, count);
  if (!skipping_) output_->Write(data, static_cast<std::size_t>(taken));
  remaining_ -= taken;
  processed_ += taken;
  report_progress();
  if (remaining_ == 0) end_entry(entry);
  return taken;
}

void PayloadExtractor::begin_entry(PayloadEntry& entry) {
  const notification::result answer = callback_(notification::file_begin{entry});
  if (answer == notification::result::abort) Fail(compress_error::interrupted, "extraction interrupted");
  remaining_ = entry.size;
  skipping_ = answer == notification::result::skip;
  started_ = true;
  if (!skipping_) {
    output_ = OpenOutputFile(folders_, entry.destination);
    header_.reset();
  }
}

void PayloadExtractor::end_entry(PayloadEntry& entry) {
  if (!skipping_) {
    output_->Close();
    output_.reset();
    if (FileCrc32(entry.destination) != entry.crc) Fail(compress_error::invalid_checksum, "invalid checksum");
    if (callback_(notification::file_end{entry}) == notification::result::abort)
      Fail(compress_error::interrupted, "extraction interrupted");
  }
  ++position_;
  started_ = false;
  skipping_ = false;
}

void PayloadExtractor::report_progress() {
  if (callback_(notification::progress{processed_, total_}) == notification::result::abort)
    Fail(compress_error::interrupted, "extraction interrupted");
}

void PayloadExtractor::finish_trailing_empty_entries() {
  while (!failed_ && position_ >= 1 && position_ - 1 < entries_.size() && entries_[position_ - 1].size == 0 &&
         processed_ == total_)
    write(nullptr, 0);
}

std::uint32_t FileCrc32(const std::wstring& path) {
  for (int retry = 0;; ++retry) {
    ClearRuntimeErrors();
    std::FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
    bool good = file != nullptr;
    boost::crc_32_type crc;
    if (good) {
      char buffer[chunkSize];
      std::size_t got = 0;
      while ((got = std::fread(buffer, 1, chunkSize, file)) > 0) crc.process_bytes(buffer, got);
      good = !std::ferror(file) && std::feof(file);
      std::fclose(file);
    }
    if (good && _doserrno == 0 && errno == 0) return crc.checksum();
    if (_doserrno == ERROR_SHARING_VIOLATION && retry < 3) {
      Sleep(1000);
      continue;
    }
    throw std::ios_base::failure("cannot read the file back");
  }
}

std::error_code ClassifyPayloadFailure(std::exception_ptr failure) {
  const unsigned long osError = _doserrno;
  const int runtimeError = errno;
  try {
    std::rethrow_exception(failure);
  } catch (const std::ios_base::failure& streamFailure) {
    if (osError != 0) return {static_cast<int>(osError), std::system_category()};
    if (runtimeError != 0) return {runtimeError, std::generic_category()};
    if (dynamic_cast<const boost::iostreams::bzip2_error*>(&streamFailure))
      return make_error_code(compress_error::bzip2_error);
    return streamFailure.code();
  } catch (const std::system_error& error) {
    return error.code();
  } catch (const boost::system::system_error& error) {
    const boost::system::error_code& code = error.code();
    if (code.category() == boost::system::system_category()) return {code.value(), std::system_category()};
    if (code.category() == boost::system::generic_category()) return {code.value(), std::generic_category()};
    return make_error_code(compress_error::unexpected);
  } catch (...) {
    return make_error_code(compress_error::unexpected);
  }
}

bool ExtractPayload(std::istream& source, const std::wstring& installFolder, const std::wstring& sampleFolder,
                    const std::wstring& temporaryFolder, PayloadCallback callback) {
  std::unique_ptr<PayloadExtractor> extractor;
  try {
    ClearRuntimeErrors();
    callback(notification::started{});
    extractor = std::make_unique<PayloadExtractor>(installFolder, sampleFolder, temporaryFolder, callback);
    Decompress(source, [&](const char* data, std::uint64_t count) {
      while (count > 0) {
        const std::uint64_t taken = extractor->write(data, count);
        data += taken;
        count -= taken;
      }
    });
    extractor->finish_trailing_empty_entries();
    if (extractor->total() != 0 && extractor->processed() == extractor->total()) {
      callback(notification::finished{ConsumedFrom(source), extractor->total()});
      return true;
    }
    Fail(compress_error::unexpected, "archive ended early");
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    const std::error_code code = ClassifyPayloadFailure(failure);
    std::wstring path;
    if (extractor && extractor->current_entry()) {
      path = extractor->current_entry()->destination;
    } else {
      try {
        std::rethrow_exception(failure);
      } catch (const std::filesystem::filesystem_error& error) {
        path = error.path1().wstring();
      } catch (...) {
      }
    }
    if (extractor) extractor->set_failed();
    callback(notification::failure{code.value(), code.category(), path});
    return false;
  }
}

bool VerifyPayload(std::istream& source) {
  try {
    Decompress(source, [](const char*, std::uint64_t) {});
    // The chain reads the source's buffer directly, so the stream's own state tells of failures of
    // the buffer only.
    return source.good() && source.rdbuf()->sgetc() == std::char_traits<char>::eof();
  } catch (...) {
    return false;
  }
}
