#include "record/record_file_reader.h"

#include <climits>
#include <cstring>
#include <cwctype>
#include <optional>
#include <string_view>

#include "record/record_format.h"
#include "support/encoding.h"
#include "support/handles.h"

namespace {

// White space as the current locale classifies it.
bool IsSpace(wchar_t c) { return std::iswspace(c) || std::iswblank(c); }

void TrimRight(std::wstring& text) {
  std::size_t end = text.size();
  while (end > 0 && IsSpace(text[end - 1])) --end;
  text.resize(end);
}

void TrimLeft(std::wstring& text) {
  std::size_t begin = 0;
  while (begin < text.size() && IsSpace(text[begin])) ++begin;
  text.erase(0, begin);
}

void Trim(std::wstring& text) {
  TrimRight(text);
  TrimLeft(text);
}

// Hands out the file's lines one by one. The first two bytes decide the mode for the whole file.
class RecordLineReader {
 public:
  enum class Status { Line, End, Failed, TooLong };

  explicit RecordLineReader(HANDLE file) : file_(file) {}

  Status Next(std::wstring& line) {
    line.clear();
    if (!modeKnown_) DecideMode();
    if (failed_) return Status::Failed;
    return wide_ ? NextWide(line) : NextNarrow(line);
  }

 private:
  // The next byte, or nothing at the end of the file or after a failed read.
  std::optional<unsigned char> NextByte() {
    if (!Ensure(1)) return std::nullopt;
    return static_cast<unsigned char>(buffer_[position_++]);
  }

  // Whether count bytes are at hand, reading more as needed.
  bool Ensure(std::size_t count) {
    while (size_ - position_ < count) {
      if (ended_ || failed_) return false;
      if (position_ != 0) {
        std::memmove(buffer_, buffer_ + position_, size_ - position_);
        size_ -= position_;
        position_ = 0;
      }
      DWORD got = 0;
      if (!ReadFile(file_, buffer_ + size_, static_cast<DWORD>(sizeof buffer_ - size_), &got, nullptr)) {
        failed_ = true;
        return false;
      }
      if (got == 0) ended_ = true;
      size_ += got;
    }
    return true;
  }

  void DecideMode() {
    modeKnown_ = true;
    if (Ensure(2) && static_cast<unsigned char>(buffer_[position_]) == 0xFF &&
        static_cast<unsigned char>(buffer_[position_ + 1]) == 0xFE) {
      wide_ = true;
      position_ += 2;
    }
  }

  Status NextWide(std::wstring& line) {
    constexpr std::size_t limit = recordLineBufferBytes / sizeof(wchar_t) - 1;
    while (line.size() < limit) {
      const std::optional<unsigned char> low = NextByte();
      if (!low) return failed_ ? Status::Failed : Finish(line);
      const std::optional<unsigned char> high = NextByte();
      // A lone byte at the end of the file is no code unit; it is left out.
      if (!high) return failed_ ? Status::Failed : Finish(line);
      const wchar_t unit = static_cast<wchar_t>(*low | (*high << 8));
      line.push_back(unit);
      if (unit == L'\n') return Cut(line);
    }
    return AtEnd() ? Finish(line) : Status::TooLong;
  }

  Status NextNarrow(std::wstring& line) {
    constexpr std::size_t limit = recordLineBufferBytes - 1;
    std::string bytes;
    while (bytes.size() < limit) {
      const std::optional<unsigned char> byte = NextByte();
      if (!byte) {
        if (failed_) return Status::Failed;
        break;
      }
      bytes.push_back(static_cast<char>(*byte));
      if (*byte == '\n') break;
    }
    if (bytes.size() == limit && bytes.back() != '\n' && !AtEnd()) return Status::TooLong;
    if (failed_) return Status::Failed;
    if (bytes.empty()) return Status::End;
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos) bytes.resize(nul);
    line = kv::a2w(bytes);
    return Status::Line;
  }

  // Whether the file has nothing more to give.
  bool AtEnd() { return !Ensure(1) && !failed_; }

  Status Finish(std::wstring& line) { return line.empty() ? Status::End : Cut(line); }

  // The line's text ends at its first NUL, as a C string would.
  static Status Cut(std::wstring& line) {
    const std::size_t nul = line.find(L'\0');
    if (nul != std::wstring::npos) line.resize(nul);
    return Status::Line;
  }

  HANDLE file_;
  char buffer_[4096];
  std::size_t position_ = 0;
  std::size_t size_ = 0;
  bool modeKnown_ = false;
  bool wide_ = false;
  bool ended_ = false;
  bool failed_ = false;
};

// Reads "[white space][sign]digits" in the given base at position, as a stream extraction of an int
// does; the position moves past what was read.
std::optional<int> ReadInteger(const std::wstring& text, std::size_t& position, int base) {
  std::size_t at = position;
  while (at < text.size() && IsSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
  if (base == 16 && at + 1 < text.size() && text[at] == L'0' && (text[at + 1] == L'x' || text[at + 1] == L'X') &&
      at + 2 < text.size() && std::iswxdigit(text[at + 2]))
    at += 2;
  long long value = 0;
  std::size_t digits = 0;
  for (; at < text.size(); ++at, ++digits) {
    int digit;
    const wchar_t c = text[at];
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    else if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    else if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    else break;
    value = value * base + digit;
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  position = at;
  return static_cast<int>(value);
}

// The next character after white space, when it is the expected one.
bool ReadCharacter(const std::wstring& text, std::size_t& position, wchar_t& c) {
  while (position < text.size() && IsSpace(text[position])) ++position;
  if (position == text.size()) return false;
  c = text[position++];
  return true;
}

bool ReadWord(const std::wstring& text, std::size_t& position, std::wstring& word) {
  while (position < text.size() && IsSpace(text[position])) ++position;
  const std::size_t begin = position;
  while (position < text.size() && !IsSpace(text[position])) ++position;
  word = text.substr(begin, position - begin);
  return !word.empty();
}

// What follows a marker in a header line: the marker's characters removed where they stand. The
// line's trailing white space is gone by now, so a folder line written for an empty folder
// ("Shortcut Path : " and nothing more) ends with the marker short of its last blank: it still
// counts, with nothing after it, rather than ending the reading and losing every entry.
std::optional<std::wstring> AfterMarker(std::wstring text, const wchar_t* marker) {
  std::wstring_view wanted(marker);
  std::size_t found = text.find(wanted);
  if (found == std::wstring::npos) {
    while (!wanted.empty() && IsSpace(wanted.back())) wanted.remove_suffix(1);
    if (wanted.size() == std::char_traits<wchar_t>::length(marker) || text.size() < wanted.size() ||
        text.compare(text.size() - wanted.size(), wanted.size(), wanted) != 0)
      return std::nullopt;
    found = text.size() - wanted.size();
  }
  text.erase(found, wanted.size());
  return text;
}

void Stop(RecordFileContents& contents, std::uint64_t line, std::string reason) {
  contents.complete = false;
  contents.stopLine = line;
  contents.stopReason = std::move(reason);
}

// One header line, by its number; false when reading stops there.
bool TakeHeaderLine(std::wstring line, std::uint64_t number, RecordFileContents& contents) {
  std::size_t slashes = 0;
  while (slashes < line.size() && line[slashes] == L'/') ++slashes;
  line.erase(0, slashes);
  TrimLeft(line);
  switch (number) {
    case 0: {
      const std::optional<std::wstring> rest = AfterMarker(line, recordVersionMarker);
      if (!rest) {
        Stop(contents, number, "no \"Uninstall Log File v\" marker");
        return false;
      }
      std::size_t position = 0;
      contents.version = ReadInteger(*rest, position, 10).value_or(0);
      if (contents.version != recordFileVersion) {
        Stop(contents, number, "file version " + std::to_string(contents.version) + " is not 1");
        return false;
      }
      return true;
    }
    case 2: {
      std::optional<std::wstring> rest = AfterMarker(line, recordInstallMarker);
      if (!rest) {
        Stop(contents, number, "no \"Install\" marker");
        return false;
      }
      const std::size_t update = rest->find(L"--");
      if (update != std::wstring::npos) rest->resize(update);
      Trim(*rest);
      contents.product = *rest;
      return true;
    }
    case 3:
    case 4: {
      const wchar_t* marker = number == 3 ? recordInstallPathMarker : recordShortcutPathMarker;
      std::optional<std::wstring> rest = AfterMarker(line, marker);
      if (!rest) {
        Stop(contents, number, number == 3 ? "no \"Install Path : \" marker" : "no \"Shortcut Path : \" marker");
        return false;
      }
      Trim(*rest);
      (number == 3 ? contents.installPath : contents.shortcutPath) = *rest;
      return true;
    }
    default:
      return true;
  }
}

}  // namespace

bool ParseRecordEntryLine(const std::wstring& line, RecordEntry& entry, std::string& why) {
  std::size_t position = 0;
  const std::optional<int> sequence = ReadInteger(line, position, 10);
  if (!sequence || *sequence < 0) {
    why = "no sequence number";
    return false;
  }
  wchar_t c = 0;
  if (!ReadCharacter(line, position, c) || c != L':') {
    why = "no \":\" after the sequence number";
    return false;
  }
  const std::optional<int> code = ReadInteger(line, position, 16);
  if (!code) {
    why = "no hexadecimal code";
    return false;
  }
  const int kind = *code >> 8;
  if (kind < 0 || kind > lastRecordEntryKind) {
    why = "code " + std::to_string(*code) + " names no entry kind";
    return false;
  }
  if (!ReadCharacter(line, position, c) || c != L':') {
    why = "no \":\" after the code";
    return false;
  }
  wchar_t result = 0;
  if (!ReadCharacter(line, position, result) || (result != L'0' && result != L'1')) {
    why = "the result is neither 0 nor 1";
    return false;
  }
  std::wstring word;
  if (!ReadWord(line, position, word) || word != L"--") {
    why = "no \"--\" after the result";
    return false;
  }
  std::wstring text = line.substr(position);
  TrimLeft(text);
  entry = RecordEntry{};
  entry.kind = static_cast<RecordEntryKind>(kind);
  const int tag = *code & 0xFF;
  entry.tag = tag == 0xFF ? -1 : tag;
  entry.succeeded = result == L'1';
  if (entry.kind != RecordEntryKind::UninstallKey && entry.kind != RecordEntryKind::FileAssociations)
    entry.text = std::move(text);
  return true;
}

RecordFileContents ReadRecordFile(const std::wstring& path) {
  RecordFileContents contents;
  kv::unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Stop(contents, 0, "the file cannot be opened");
    return contents;
  }
  contents.opened = true;
  RecordLineReader reader(file.get());
  std::wstring line;
  for (std::uint64_t number = 0;; ++number) {
    const RecordLineReader::Status status = reader.Next(line);
    if (status == RecordLineReader::Status::End) break;
    if (status == RecordLineReader::Status::Failed) {
      Stop(contents, number, "the file cannot be read");
      break;
    }
    if (status == RecordLineReader::Status::TooLong) {
      Stop(contents, number, "the line is longer than 1,024 bytes");
      break;
    }
    TrimRight(line);
    if (line.size() >= 2 && line[0] == L'/' && line[1] == L'/') {
      if (!TakeHeaderLine(line, number, contents)) break;
      continue;
    }
    if (contents.version != recordFileVersion) {
      Stop(contents, number, "an entry line before a version 1 header");
      break;
    }
    RecordEntry entry;
    std::string why;
    if (!ParseRecordEntryLine(line, entry, why)) {
      Stop(contents, number, "malformed entry line: " + why);
      break;
    }
    contents.entries.push_back(std::move(entry));
  }
  return contents;
}
