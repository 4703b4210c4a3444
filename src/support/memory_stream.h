#pragma once
// Byte streams over memory: a read-only view of bytes that stay where they are (the payload
// resource is read in place, never copied) and a growable read/write block that collects bytes
// (the archive header). Also the access to the program's resources as such views.

#include <cstddef>
#include <cstdint>
#include <ios>
#include <istream>
#include <streambuf>
#include <string_view>

namespace kv {

// A stream buffer over one block of bytes: either a view of caller memory, which is never written
// and never freed, or a block the buffer allocates on the first write and grows as needed.
// Positions run from 0 to the number of valid bytes; seeking follows std::stringbuf.
class basic_membuf : public std::streambuf {
 public:
  // An empty owned buffer; the first write allocates the block. Append is dropped unless out is
  // in mode.
  explicit basic_membuf(std::ios_base::openmode mode);
  // A view of the size bytes at data, neither copied nor freed; they must outlive the buffer. out
  // and app are dropped from mode, so a view is never writable. With in it is readable from the
  // start (from the end with ate); with trunc it holds no valid bytes.
  basic_membuf(const char* data, std::size_t size, std::ios_base::openmode mode);
  // Takes over the other buffer's block and positions; other is left empty, without any block.
  basic_membuf(basic_membuf&& other) noexcept;
  // Frees this buffer's own block, then takes over other's as the move constructor does.
  basic_membuf& operator=(basic_membuf&& other) noexcept;
  basic_membuf(const basic_membuf&) = delete;
  basic_membuf& operator=(const basic_membuf&) = delete;
  // Frees the block when the buffer allocated it.
  ~basic_membuf() override;

  // The valid bytes: from the start of the block to the farthest point ever written, or the
  // viewed bytes. Valid until the next write or the buffer's destruction.
  std::string_view contents() const noexcept;
  // The size of the current block: the viewed size, or the allocated size of an owned block (0
  // before the first write).
  std::size_t capacity() const noexcept { return capacity_; }
  // The open mode after the adjustments made at construction.
  std::ios_base::openmode mode() const noexcept { return mode_; }

  // The block size an owned block of size bytes grows to: +256 below 512 bytes, +half otherwise,
  // the increment halved until the result fits in 32 bits. 0 when the block cannot grow.
  static std::size_t grown_capacity(std::size_t size) noexcept;

 protected:
  // Stores c at the write position, growing an owned block when it is full; eof when the buffer
  // does not write (a view, or no out in mode) or the block cannot grow. eof itself is accepted.
  int_type overflow(int_type c) override;
  // Steps the read position back over c: always for the byte already there or for eof (giving 0),
  // overwriting with another byte only when the buffer writes; eof at the start or without input.
  int_type pbackfail(int_type c) override;
  // The byte at the read position, after making every byte written so far readable; eof at the
  // end of the valid bytes or without input.
  int_type underflow() override;
  // Moves the read and/or write position within 0 to the number of valid bytes, as
  // std::stringbuf does; moving the read position of a writing buffer moves the write position
  // too, except in append mode, where writing stays at the end. pos_type(-1) on failure, with
  // nothing moved.
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
  // seekoff from the start to pos; pos_type(-1) fails.
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;
  // Nothing to flush: 0.
  int sync() override;

 private:
  // The end of the valid bytes brought up to the write position.
  char* valid_end() const noexcept;
  // Sets the put area to [begin, end) with the write position at next.
  void set_put_area(char* begin, char* next, char* end) noexcept;
  // Drops the block (freeing it when owned) and every position.
  void reset() noexcept;

  char* block_ = nullptr;        // start of the block, viewed or owned
  std::size_t capacity_ = 0;     // size of the block
  char* high_water_ = nullptr;   // end of the valid bytes, as of the last update
  std::ios_base::openmode mode_;
  bool owns_block_ = false;
};

// An input stream over a view of caller memory, or over nothing.
class basic_imemstream : public std::istream {
 public:
  // A stream without bytes (mode in): the first read reports end-of-file.
  basic_imemstream();
  // A stream over a view of the size bytes at data; see basic_membuf for mode.
  basic_imemstream(const char* data, std::size_t size, std::ios_base::openmode mode = std::ios_base::in);
  // Takes over other's buffer and state; reading goes on where other was.
  basic_imemstream(basic_imemstream&& other);
  // Takes over other's buffer and state.
  basic_imemstream& operator=(basic_imemstream&& other);
  basic_imemstream(const basic_imemstream&) = delete;
  basic_imemstream& operator=(const basic_imemstream&) = delete;
  ~basic_imemstream() override = default;

  // The stream's own buffer.
  basic_membuf* rdbuf() const noexcept { return const_cast<basic_membuf*>(&buffer_); }
  // The viewed bytes (basic_membuf::contents).
  std::string_view contents() const noexcept { return buffer_.contents(); }

 private:
  basic_membuf buffer_;
};

// An input/output stream over an owned block that grows as bytes are written. Bytes written are
// readable at once, without a seek.
class basic_memstream : public std::iostream {
 public:
  // An empty stream; see basic_membuf for mode.
  explicit basic_memstream(std::ios_base::openmode mode = std::ios_base::in | std::ios_base::out);
  // Takes over other's buffer and state.
  basic_memstream(basic_memstream&& other);
  // Takes over other's buffer and state.
  basic_memstream& operator=(basic_memstream&& other);
  basic_memstream(const basic_memstream&) = delete;
  basic_memstream& operator=(const basic_memstream&) = delete;
  ~basic_memstream() override = default;

  // The stream's own buffer.
  basic_membuf* rdbuf() const noexcept { return const_cast<basic_membuf*>(&buffer_); }
  // The bytes written so far (basic_membuf::contents).
  std::string_view contents() const noexcept { return buffer_.contents(); }

 private:
  basic_membuf buffer_;
};

// A read-only stream over the bytes of resource name of type type (each a string or a
// MAKEINTRESOURCEW identifier), in place. Looked up in GetLanguageSettings().resourceModule (set
// to the program's own module when null), then in the program itself. Empty when the resource is
// missing, cannot be loaded or has no bytes; never throws for these.
basic_imemstream load_resource_stream(const wchar_t* type, const wchar_t* name);

}  // namespace kv
