#include "support/memory_stream.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <utility>

#include "app/languages.h"

namespace kv {

namespace {

using traits = std::streambuf::traits_type;

constexpr std::ios_base::openmode in = std::ios_base::in;
constexpr std::ios_base::openmode out = std::ios_base::out;
constexpr std::ios_base::openmode app = std::ios_base::app;
constexpr std::ios_base::openmode ate = std::ios_base::ate;
constexpr std::ios_base::openmode trunc = std::ios_base::trunc;

// Blocks stay within what a 32-bit build can address and a 32-bit size can describe.
constexpr std::uint64_t largest_block = 0xFFFFFFFFu;

const std::streambuf::pos_type bad_position = std::streambuf::pos_type(std::streambuf::off_type(-1));

}  // namespace

basic_membuf::basic_membuf(std::ios_base::openmode mode) : mode_(mode) {
  if (!(mode_ & out)) mode_ &= ~app;
}

basic_membuf::basic_membuf(const char* data, std::size_t size, std::ios_base::openmode mode)
    : block_(const_cast<char*>(data)), capacity_(data ? size : 0), mode_(mode & ~(out | app)) {
  // The viewed bytes are only ever read: the mode above keeps the put area away for good.
  char* const end = block_ + capacity_;
  high_water_ = (mode_ & trunc) ? block_ : end;
  if (mode_ & in) {
    const bool at_end = (mode_ & ate) && !(mode_ & trunc);
    setg(block_, at_end ? high_water_ : block_, high_water_);
  }
}

basic_membuf::basic_membuf(basic_membuf&& other) noexcept
    : std::streambuf(other),
      block_(std::exchange(other.block_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      high_water_(std::exchange(other.high_water_, nullptr)),
      mode_(other.mode_),
      owns_block_(std::exchange(other.owns_block_, false)) {
  other.setg(nullptr, nullptr, nullptr);
  other.setp(nullptr, nullptr);
}

basic_membuf& basic_membuf::operator=(basic_membuf&& other) noexcept {
  if (this != &other) {
    reset();
    std::streambuf::operator=(other);
    block_ = std::exchange(other.block_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    high_water_ = std::exchange(other.high_water_, nullptr);
    mode_ = other.mode_;
    owns_block_ = std::exchange(other.owns_block_, false);
    other.setg(nullptr, nullptr, nullptr);
    other.setp(nullptr, nullptr);
  }
  return *this;
}

basic_membuf::~basic_membuf() {
  if (owns_block_) delete[] block_;
}

std::string_view basic_membuf::contents() const noexcept {
  return std::string_view(block_, static_cast<std::size_t>(valid_end() - block_));
}

std::size_t basic_membuf::grown_capacity(std::size_t size) noexcept {
  std::uint64_t increment = size < 512 ? 256 : size / 2;
  while (increment != 0 && size + increment > largest_block) increment /= 2;
  return increment == 0 ? 0 : static_cast<std::size_t>(size + increment);
}

basic_membuf::int_type basic_membuf::overflow(int_type c) {
  if (!(mode_ & out)) return traits::eof();
  if (mode_ & app) {
    char* const end = valid_end();
    high_water_ = end;
    set_put_area(block_, end, block_ + capacity_);
  }
  if (traits::eq_int_type(c, traits::eof())) return traits::not_eof(c);

  if (pptr() == epptr()) {
    const std::size_t grown = grown_capacity(capacity_);
    if (grown == 0) return traits::eof();
    char* const fresh = new char[grown];
    if (capacity_ != 0) std::memcpy(fresh, block_, capacity_);
    const auto moved = [&](char* p) { return fresh + (p - block_); };
    if (mode_ & in) setg(fresh, moved(gptr()), moved(egptr()));
    set_put_area(fresh, moved(pptr()), fresh + grown);
    high_water_ = moved(high_water_);
    if (owns_block_) delete[] block_;
    block_ = fresh;
    capacity_ = grown;
    owns_block_ = true;
  }
  if ((mode_ & in) && egptr() <= pptr()) setg(eback(), gptr(), pptr() + 1);
  *pptr() = traits::to_char_type(c);
  pbump(1);
  return c;
}

basic_membuf::int_type basic_membuf::pbackfail(int_type c) {
  if (!eback() || gptr() == eback()) return traits::eof();
  if (traits::eq_int_type(c, traits::eof())) {
    gbump(-1);
    return traits::not_eof(c);
  }
  const char byte = traits::to_char_type(c);
  if (traits::eq(byte, gptr()[-1])) {
    gbump(-1);
    return c;
  }
  if (!(mode_ & out)) return traits::eof();
  gbump(-1);
  *gptr() = byte;
  return c;
}

basic_membuf::int_type basic_membuf::underflow() {
  if (!eback()) return traits::eof();
  high_water_ = valid_end();
  // Bytes written since the last read become readable here, without a seek.
  if (egptr() < high_water_) setg(eback(), gptr(), high_water_);
  return gptr() < egptr() ? traits::to_int_type(*gptr()) : traits::eof();
}

basic_membuf::pos_type basic_membuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                             std::ios_base::openmode which) {
  high_water_ = valid_end();
  const bool seek_in = (which & in) && (mode_ & in);
  const bool seek_out = (which & out) && (mode_ & out);
  if (!seek_in && !seek_out) return bad_position;
  if (dir == std::ios_base::cur && (which & in) && (which & out)) return bad_position;

  const off_type size = high_water_ - block_;
  off_type base = 0;
  if (dir == std::ios_base::cur) {
    base = seek_in ? gptr() - block_ : pptr() - block_;
  } else if (dir == std::ios_base::end) {
    base = size;
  } else if (dir != std::ios_base::beg) {
    return bad_position;
  }
  // base lies within [0, size], so neither bound overflows.
  if (off < -base || off > size - base) return bad_position;
  const off_type target = base + off;

  bool move_put = seek_out || (seek_in && (mode_ & out));
  if (mode_ & app) {
    // Appending writes only at the end; a read seek leaves the write position there.
    if (seek_out && target != size) return bad_position;
    move_put = seek_out;
  }
  if (seek_in) setg(block_, block_ + target, high_water_);
  if (move_put) set_put_area(block_, block_ + target, block_ + capacity_);
  return pos_type(target);
}

basic_membuf::pos_type basic_membuf::seekpos(pos_type pos, std::ios_base::openmode which) {
  if (pos == bad_position) return bad_position;
  return seekoff(off_type(pos), std::ios_base::beg, which);
}

int basic_membuf::sync() { return 0; }

char* basic_membuf::valid_end() const noexcept { return pptr() > high_water_ ? pptr() : high_water_; }

void basic_membuf::set_put_area(char* begin, char* next, char* end) noexcept {
  setp(begin, end);
  // pbump takes an int; a block may be larger.
  for (std::ptrdiff_t left = next - begin; left > 0;) {
    const int step = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    pbump(step);
    left -= step;
  }
}

void basic_membuf::reset() noexcept {
  if (owns_block_) delete[] block_;
  block_ = nullptr;
  capacity_ = 0;
  high_water_ = nullptr;
  owns_block_ = false;
  setg(nullptr, nullptr, nullptr);
  setp(nullptr, nullptr);
}

// The stream bases are built without a buffer (which sets badbit); attaching the member buffer
// afterwards clears the state again.
basic_imemstream::basic_imemstream() : std::istream(nullptr), buffer_(in) { std::ios::rdbuf(&buffer_); }

basic_imemstream::basic_imemstream(const char* data, std::size_t size, std::ios_base::openmode mode)
    : std::istream(nullptr), buffer_(data, size, mode) {
  std::ios::rdbuf(&buffer_);
}

basic_imemstream::basic_imemstream(basic_imemstream&& other)
    : std::istream(std::move(other)), buffer_(std::move(other.buffer_)) {
  set_rdbuf(&buffer_);
}

basic_imemstream& basic_imemstream::operator=(basic_imemstream&& other) {
  std::istream::operator=(std::move(other));
  buffer_ = std::move(other.buffer_);
  return *this;
}

basic_memstream::basic_memstream(std::ios_base::openmode mode) : std::iostream(nullptr), buffer_(mode) {
  std::ios::rdbuf(&buffer_);
}

basic_memstream::basic_memstream(basic_memstream&& other)
    : std::iostream(std::move(other)), buffer_(std::move(other.buffer_)) {
  set_rdbuf(&buffer_);
}

basic_memstream& basic_memstream::operator=(basic_memstream&& other) {
  std::iostream::operator=(std::move(other));
  buffer_ = std::move(other.buffer_);
  return *this;
}

basic_imemstream load_resource_stream(const wchar_t* type, const wchar_t* name) {
  LanguageSettings& settings = GetLanguageSettings();
  const HMODULE program = GetModuleHandleW(nullptr);
  if (!settings.resourceModule) settings.resourceModule = program;

  HMODULE module = settings.resourceModule;
  HRSRC found = FindResourceW(module, name, type);
  if (!found && module != program) {
    module = program;
    found = FindResourceW(module, name, type);
  }
  if (!found) return basic_imemstream();

  const HGLOBAL loaded = LoadResource(module, found);
  const DWORD size = loaded ? SizeofResource(module, found) : 0;
  const void* data = size != 0 ? LockResource(loaded) : nullptr;
  if (!data) return basic_imemstream();
  return basic_imemstream(static_cast<const char*>(data), size, in);
}

}  // namespace kv
