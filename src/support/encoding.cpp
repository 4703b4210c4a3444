#include "support/encoding.h"

#include <climits>
#include <cstddef>
#include <memory>

namespace kv {

namespace {

// Conversion buffers under this many bytes live on the stack; larger ones come from the heap.
constexpr std::size_t stack_buffer_bytes = 512;

// A buffer of count elements, on the stack when it takes under stack_buffer_bytes, otherwise on
// the heap (released with the buffer).
template <typename T>
class conversion_buffer {
 public:
  explicit conversion_buffer(std::size_t count) {
    if (count * sizeof(T) >= stack_buffer_bytes) {
      heap_ = std::make_unique_for_overwrite<T[]>(count);
      data_ = heap_.get();
    }
  }
  conversion_buffer(const conversion_buffer&) = delete;
  conversion_buffer& operator=(const conversion_buffer&) = delete;

  T* data() noexcept { return data_; }

 private:
  T stack_[stack_buffer_bytes / sizeof(T)];
  std::unique_ptr<T[]> heap_;
  T* data_ = stack_;
};

// The length of a range as the int the system's conversion functions take; -1 when it does not fit.
template <typename T>
int system_length(const T* begin, const T* end) noexcept {
  const std::ptrdiff_t length = end - begin;
  return length <= INT_MAX ? static_cast<int>(length) : -1;
}

// The capacity of an output range, clamped to what the system's conversion functions accept.
template <typename T>
int system_capacity(const T* begin, const T* end) noexcept {
  const std::ptrdiff_t length = end - begin;
  return length <= INT_MAX ? static_cast<int>(length) : INT_MAX;
}

}  // namespace

namespace details {

bool w2a_codecvt::do_always_noconv() const noexcept { return false; }

int w2a_codecvt::do_max_length() const noexcept { return 5; }

int w2a_codecvt::do_encoding() const noexcept { return 0; }

w2a_codecvt::result w2a_codecvt::do_in(state_type&, const extern_type* from, const extern_type* from_end,
                                       const extern_type*& from_next, intern_type* to, intern_type* to_end,
                                       intern_type*& to_next) const {
  from_next = from;
  to_next = to;
  if (from == from_end) return ok;
  const int length = system_length(from, from_end);
  if (length < 0) return error;
  const int produced =
      MultiByteToWideChar(code_page_, MB_PRECOMPOSED, from, length, to, system_capacity(to, to_end));
  if (produced == 0) return error;
  from_next = from_end;
  to_next = to + produced;
  return ok;
}

w2a_codecvt::result w2a_codecvt::do_out(state_type&, const intern_type* from, const intern_type* from_end,
                                        const intern_type*& from_next, extern_type* to, extern_type* to_end,
                                        extern_type*& to_next) const {
  from_next = from;
  to_next = to;
  if (from == from_end) return ok;
  const int length = system_length(from, from_end);
  if (length < 0) return error;
  const int produced = WideCharToMultiByte(code_page_, WC_NO_BEST_FIT_CHARS, from, length, to,
                                           system_capacity(to, to_end), nullptr, nullptr);
  if (produced == 0) return error;
  from_next = from_end;
  to_next = to + produced;
  return ok;
}

w2a_codecvt::result w2a_codecvt::do_unshift(state_type&, extern_type* to, extern_type*, extern_type*& to_next) const {
  to_next = to;
  return ok;
}

int w2a_codecvt::do_length(state_type&, const extern_type* from, const extern_type* end, std::size_t max) const {
  const int length = system_length(from, end);
  if (length <= 0) return 0;
  const int count = MultiByteToWideChar(code_page_, MB_PRECOMPOSED, from, length, nullptr, 0);
  if (count <= 0) return 0;
  return static_cast<std::size_t>(count) < max ? count : static_cast<int>(max);
}

}  // namespace details

std::wstring a2w(std::string_view text) {
  if (text.empty()) return {};
  const details::w2a_codecvt facet(1);
  std::mbstate_t state{};
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const int count = facet.length(state, begin, end, 0x7FFFFFFE);
  if (count <= 0) return {};

  conversion_buffer<wchar_t> buffer(static_cast<std::size_t>(count));
  const char* consumed = nullptr;
  wchar_t* produced = nullptr;
  if (facet.in(state, begin, end, consumed, buffer.data(), buffer.data() + count, produced) !=
      std::codecvt_base::ok)
    return {};
  return std::wstring(buffer.data(), produced);
}

std::string w2a(std::wstring_view text) {
  if (text.empty()) return {};
  const details::w2a_codecvt facet(1);
  const std::size_t per_character = static_cast<std::size_t>(facet.max_length());
  if (text.size() > static_cast<std::size_t>(INT_MAX) / per_character) return {};
  const std::size_t capacity = text.size() * per_character;

  conversion_buffer<char> buffer(capacity);
  std::mbstate_t state{};
  const wchar_t* consumed = nullptr;
  char* produced = nullptr;
  if (facet.out(state, text.data(), text.data() + text.size(), consumed, buffer.data(), buffer.data() + capacity,
                produced) != std::codecvt_base::ok)
    return {};
  return std::string(buffer.data(), produced);
}

std::wstring utf8_to_wide(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string wide_to_utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

}  // namespace kv
