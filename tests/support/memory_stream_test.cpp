#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "app/languages.h"
#include "common/test_environment.h"
#include "support/handles.h"
#include "support/memory_stream.h"

namespace {

using namespace std::string_view_literals;
using std::ios_base;
using traits = std::char_traits<char>;

constexpr ios_base::openmode in = ios_base::in;
constexpr ios_base::openmode out = ios_base::out;
constexpr ios_base::openmode app = ios_base::app;
constexpr ios_base::openmode ate = ios_base::ate;
constexpr ios_base::openmode trunc = ios_base::trunc;
constexpr ios_base::openmode none = ios_base::openmode();

const std::streampos bad_position = std::streampos(std::streamoff(-1));

// Everything left to read in a stream, taken from its buffer; the stream's state is left alone.
std::string rest_of(std::istream& stream) {
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// Gives the tests the put-back hook itself, for the end-of-file case no public call reaches.
class exposed_membuf : public kv::basic_membuf {
 public:
  using kv::basic_membuf::basic_membuf;
  using kv::basic_membuf::pbackfail;
};

TEST(MemoryBuffer, OwnedBlockGrowsBy256ThenByHalf) {
  kv::basic_membuf buffer(in | out);
  EXPECT_EQ(buffer.capacity(), 0u);
  std::string written;
  std::vector<std::size_t> blocks;
  for (int i = 0; i < 1000; ++i) {
    const char byte = static_cast<char>('a' + i % 26);
    ASSERT_EQ(buffer.sputc(byte), traits::to_int_type(byte)) << "byte " << i;
    written += byte;
    if (blocks.empty() || blocks.back() != buffer.capacity()) blocks.push_back(buffer.capacity());
  }
  EXPECT_EQ(blocks, (std::vector<std::size_t>{256, 512, 768, 1152}));
  EXPECT_EQ(buffer.contents(), written);
  EXPECT_EQ(buffer.pubseekoff(0, ios_base::end, in), std::streampos(1000));
}

TEST(MemoryBuffer, GrowthStaysWithin32Bits) {
  struct growth_case {
    std::size_t from;
    std::size_t to;
  };
  const growth_case cases[] = {
      {0, 256},
      {255, 511},
      {256, 512},
      {511, 767},
      {512, 768},
      {768, 1152},
      {1152, 1728},
      {0xAAAAAAAA, 0xFFFFFFFF},  // n + n/2 is exactly the largest 32-bit size
      {0xAAAAAAAB, 0xD5555555},  // one more byte: the increment is halved once
      {0xFFFFFFFE, 0xFFFFFFFF},  // halved down to a single byte
      {0xFFFFFFFF, 0},           // no room left at all
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kv::basic_membuf::grown_capacity(c.from), c.to) << "from " << c.from;
  }
}

TEST(MemoryBuffer, ConstructionAdjustsMode) {
  struct mode_case {
    const char* what;
    bool view;
    ios_base::openmode requested;
    ios_base::openmode kept;
  };
  const mode_case cases[] = {
      {"owned, append without output", false, in | app, in},
      {"owned, append with output", false, out | app, out | app},
      {"owned, every bit", false, in | out | app | ate | trunc, in | out | app | ate | trunc},
      {"view, read and write", true, in | out, in},
      {"view, append", true, in | out | app, in},
      {"view, truncate", true, in | out | trunc, in | trunc},
      {"view, output only", true, out, none},
  };
  char bytes[] = "abc";
  for (const auto& c : cases) {
    const kv::basic_membuf buffer = c.view ? kv::basic_membuf(bytes, 3, c.requested) : kv::basic_membuf(c.requested);
    EXPECT_EQ(buffer.mode(), c.kept) << c.what;
  }
}

TEST(MemoryBuffer, ViewStartsWhereModeSays) {
  struct view_case {
    const char* what;
    ios_base::openmode mode;
    std::string_view contents;
    std::streampos position;  // of reading; -1 when the view cannot be read
    int first_read;
  };
  const int eof = traits::eof();
  const view_case cases[] = {
      {"read", in, "hello", 0, 'h'},
      {"read from the end", in | ate, "hello", 5, eof},
      {"truncated", in | trunc, "", 0, eof},
      {"truncated wins over at-end", in | ate | trunc, "", 0, eof},
      {"no input", out, "hello", bad_position, eof},
  };
  char bytes[] = "hello";
  for (const auto& c : cases) {
    kv::basic_membuf view(bytes, 5, c.mode);
    EXPECT_EQ(view.contents(), c.contents) << c.what;
    EXPECT_EQ(view.capacity(), 5u) << c.what;
    EXPECT_EQ(view.pubseekoff(0, ios_base::cur, in), c.position) << c.what;
    EXPECT_EQ(view.sgetc(), c.first_read) << c.what;
  }
}

TEST(MemoryBuffer, TruncatedViewHasNoValidPosition) {
  char bytes[] = "hello";
  kv::basic_imemstream stream(bytes, 5, in | trunc);
  EXPECT_EQ(stream.get(), traits::eof());
  stream.clear();
  EXPECT_TRUE(stream.seekg(0));
  EXPECT_FALSE(stream.seekg(1));
}

TEST(MemoryBuffer, ViewOpenedForWritingRejectsEveryWrite) {
  char bytes[] = "hello";
  kv::basic_membuf view(bytes, 5, in | out);
  EXPECT_EQ(view.sputc('x'), traits::eof());
  EXPECT_EQ(view.sputn("xyz", 3), 0);
  EXPECT_EQ(view.pubseekoff(1, ios_base::beg, out), bad_position);

  std::iostream stream(&view);
  EXPECT_TRUE(stream.seekg(1));
  EXPECT_EQ(stream.get(), 'e');
  stream.write("XY", 2);
  EXPECT_TRUE(stream.bad());
  stream.clear();
  stream << 'Z' << std::flush;
  EXPECT_TRUE(stream.bad());
  stream.clear();

  // Reading still works after the failed writes, from where it was.
  EXPECT_EQ(stream.get(), 'l');
  EXPECT_TRUE(stream.seekg(0, ios_base::end));
  EXPECT_EQ(stream.tellg(), std::streampos(5));
  EXPECT_EQ(std::string_view(bytes, 5), "hello");
  EXPECT_EQ(view.contents(), "hello");
}

TEST(MemoryBuffer, SeeksStayWithinValidBytes) {
  struct seek_case {
    std::streamoff from;
    std::streamoff offset;
    ios_base::seekdir dir;
    ios_base::openmode which;
    std::streamoff result;  // -1: the seek fails and the position stays at from
  };
  const ios_base::seekdir beg = ios_base::beg, cur = ios_base::cur, end = ios_base::end;
  const seek_case cases[] = {
      {2, 0, beg, in, 0},
      {2, 6, beg, in, 6},  // the end itself is a valid position
      {2, 7, beg, in, -1},
      {2, -1, beg, in, -1},
      {2, 0, end, in, 6},
      {2, -6, end, in, 0},
      {2, 1, end, in, -1},
      {2, -7, end, in, -1},
      {2, 4, cur, in, 6},
      {2, 5, cur, in, -1},
      {2, -2, cur, in, 0},
      {2, -3, cur, in, -1},
      {2, 1, beg, in | out, 1},   // a view ignores the output side
      {2, 0, cur, in | out, -1},  // relative to which of the two positions?
      {2, 1, beg, out, -1},       // a view has no write position
      {2, 1, beg, none, -1},
  };
  char bytes[] = "abcdef";
  for (const auto& c : cases) {
    kv::basic_membuf view(bytes, 6, in);
    ASSERT_EQ(view.pubseekpos(c.from, in), std::streampos(c.from));
    const std::streampos result = view.pubseekoff(c.offset, c.dir, c.which);
    const std::streamoff now = c.result == -1 ? c.from : c.result;
    SCOPED_TRACE(testing::Message() << "from " << c.from << " offset " << c.offset << " dir " << c.dir);
    EXPECT_EQ(result, std::streampos(c.result));
    EXPECT_EQ(view.sgetc(), now < 6 ? traits::to_int_type(bytes[now]) : traits::eof());
  }
  kv::basic_membuf view(bytes, 6, in);
  EXPECT_EQ(view.pubseekpos(bad_position, in), bad_position);
  EXPECT_EQ(view.pubseekpos(4, in), std::streampos(4));
}

TEST(MemoryBuffer, StreamSeekToEndOfViewThenReadIsEof) {
  const char bytes[] = "abc";
  kv::basic_imemstream stream(bytes, 3);
  ASSERT_TRUE(stream.seekg(3));
  EXPECT_EQ(stream.get(), traits::eof());
  EXPECT_TRUE(stream.eof());
  stream.clear();
  EXPECT_FALSE(stream.seekg(4));
  stream.clear();
  EXPECT_EQ(stream.tellg(), std::streampos(3));
  EXPECT_FALSE(stream.seekg(-1, ios_base::cur).seekg(-4, ios_base::cur));
}

TEST(MemoryBuffer, PutBack) {
  struct putback_case {
    const char* what;
    bool owned;  // an owned in|out buffer holding "abc"; otherwise a view of "abc"
    ios_base::openmode mode;
    int reads;
    char byte;
    bool accepted;
    char next;
    std::string_view contents;
  };
  const putback_case cases[] = {
      {"view, the same byte", false, in, 1, 'a', true, 'a', "abc"},
      {"view, another byte", false, in, 1, 'X', false, 'b', "abc"},
      {"view opened for writing, another byte", false, in | out, 2, 'X', false, 'c', "abc"},
      {"view, at the start", false, in, 0, 'a', false, 'a', "abc"},
      {"owned, the same byte", true, in | out, 2, 'b', true, 'b', "abc"},
      {"owned, another byte", true, in | out, 2, 'X', true, 'X', "aXc"},
      {"owned, at the start", true, in | out, 0, 'X', false, 'a', "abc"},
  };
  char bytes[] = "abc";
  for (const auto& c : cases) {
    kv::basic_membuf buffer = c.owned ? kv::basic_membuf(c.mode) : kv::basic_membuf(bytes, 3, c.mode);
    if (c.owned) {
      ASSERT_EQ(buffer.sputn("abc", 3), 3);
    }
    for (int i = 0; i < c.reads; ++i) buffer.sbumpc();
    const int result = buffer.sputbackc(c.byte);
    EXPECT_EQ(result, c.accepted ? traits::to_int_type(c.byte) : traits::eof()) << c.what;
    EXPECT_EQ(buffer.sgetc(), c.next) << c.what;
    EXPECT_EQ(buffer.contents(), c.contents) << c.what;
    EXPECT_EQ(std::string_view(bytes, 3), "abc") << c.what;
  }
}

TEST(MemoryBuffer, PutBackOfEofStepsBack) {
  const char bytes[] = "abc";
  exposed_membuf view(bytes, 3, in);
  EXPECT_EQ(view.pbackfail(traits::eof()), traits::eof()) << "nothing read yet";
  view.sbumpc();
  view.sbumpc();
  EXPECT_EQ(view.pbackfail(traits::eof()), 0);
  EXPECT_EQ(view.sgetc(), 'b');

  exposed_membuf write_only(out);
  write_only.sputn("abc", 3);
  EXPECT_EQ(write_only.pbackfail('c'), traits::eof()) << "no get area";
}

TEST(MemoryStream, WritesAfterLastReadAreReadableWithoutSeek) {
  kv::basic_memstream stream;
  stream << "abc";
  char two[2];
  ASSERT_TRUE(stream.read(two, 2));
  EXPECT_EQ(std::string_view(two, 2), "ab");
  stream << "def";
  EXPECT_EQ(rest_of(stream), "cdef");

  stream.clear();
  stream << "gh";
  EXPECT_EQ(stream.get(), 'g');
  EXPECT_EQ(stream.get(), 'h');
  EXPECT_EQ(stream.peek(), traits::eof());
  stream.clear();
  stream.write("i\0j", 3);
  EXPECT_EQ(rest_of(stream), "i\0j"sv);
  EXPECT_EQ(stream.contents(), "abcdefghi\0j"sv);
}

TEST(MemoryStream, ContentsAfterMixedWritesAndSeeks) {
  kv::basic_memstream stream;
  stream << "hello world";
  char five[5];
  ASSERT_TRUE(stream.read(five, 5));
  EXPECT_EQ(stream.tellp(), std::streampos(11));

  // Moving the write position back overwrites; the valid bytes keep their length.
  ASSERT_TRUE(stream.seekp(0));
  stream << 'J';
  EXPECT_EQ(stream.contents(), "Jello world");
  EXPECT_EQ(stream.tellg(), std::streampos(5)) << "writing leaves the read position alone";
  EXPECT_EQ(rest_of(stream), " world");

  // Moving the read position moves the write position with it.
  stream.clear();
  ASSERT_TRUE(stream.seekg(6));
  EXPECT_EQ(stream.tellp(), std::streampos(6));
  stream << "W";
  EXPECT_EQ(stream.get(), 'W');
  EXPECT_EQ(stream.contents(), "Jello World");

  // A seek past the valid bytes fails, even where the block has room.
  EXPECT_FALSE(stream.seekp(12));
  stream.clear();
  EXPECT_EQ(stream.rdbuf()->capacity(), 256u);
  EXPECT_TRUE(stream.seekp(0, ios_base::end));
  stream << '!';
  EXPECT_EQ(stream.contents(), "Jello World!");
}

TEST(MemoryStream, AppendWritesAlwaysAtEnd) {
  kv::basic_memstream stream(in | out | app);
  stream << "abc";
  EXPECT_FALSE(stream.seekp(1)) << "the write position is fixed at the end";
  stream.clear();
  EXPECT_TRUE(stream.seekp(0, ios_base::end));
  ASSERT_TRUE(stream.seekg(1));
  EXPECT_EQ(stream.tellp(), std::streampos(3)) << "a read seek does not move writing";
  stream << "de";
  EXPECT_EQ(stream.contents(), "abcde");
  EXPECT_EQ(rest_of(stream), "bcde");

  // Growth keeps appending at the end.
  stream.clear();
  ASSERT_TRUE(stream.seekg(0));
  const std::string more(300, 'x');
  stream << more;
  EXPECT_EQ(stream.contents(), "abcde" + more);
  EXPECT_EQ(stream.get(), 'a');
}

TEST(MemoryStream, OpenedWithoutInputOrOutput) {
  kv::basic_memstream write_only(out);
  write_only << "abc";
  EXPECT_TRUE(write_only.good());
  EXPECT_EQ(write_only.get(), traits::eof());
  EXPECT_EQ(write_only.contents(), "abc");

  kv::basic_memstream read_only(in);
  read_only << "abc";
  EXPECT_TRUE(read_only.bad());
  EXPECT_EQ(read_only.contents(), "");
}

TEST(MemoryStream, MoveKeepsBytesAndPositions) {
  kv::basic_memstream first;
  first << "abc";
  EXPECT_EQ(first.get(), 'a');
  kv::basic_memstream second(std::move(first));
  second << "d";
  EXPECT_EQ(rest_of(second), "bcd");
  EXPECT_EQ(second.contents(), "abcd");
  EXPECT_EQ(first.contents(), "");
}

TEST(MemoryInputStream, MoveKeepsReadingWhereItWas) {
  const char bytes[] = "0123456789";
  kv::basic_imemstream first(bytes, 10);
  char two[2];
  ASSERT_TRUE(first.read(two, 2));

  kv::basic_imemstream second(std::move(first));
  EXPECT_EQ(second.rdbuf()->contents().data(), bytes) << "still a view, not a copy";
  EXPECT_EQ(second.tellg(), std::streampos(2));
  EXPECT_EQ(second.get(), '2');
  EXPECT_EQ(first.get(), traits::eof()) << "the moved-from stream has no bytes left";

  kv::basic_imemstream third;
  third = std::move(second);
  EXPECT_EQ(third.get(), '3');
  EXPECT_EQ(rest_of(third), "456789");
  ASSERT_TRUE(third.seekg(0));
  EXPECT_EQ(rest_of(third), "0123456789");
}

TEST(MemoryInputStream, EmptyStreamReportsEof) {
  kv::basic_imemstream stream;
  EXPECT_EQ(stream.contents(), "");
  EXPECT_EQ(stream.get(), traits::eof());
  EXPECT_TRUE(stream.eof());
  stream.clear();
  EXPECT_TRUE(stream.seekg(0));
  EXPECT_FALSE(stream.seekg(1));
}

// Sets LanguageSettings::resourceModule for the life of the object and restores the previous one.
class resource_module_override {
 public:
  explicit resource_module_override(HMODULE module) : saved_(GetLanguageSettings().resourceModule) {
    GetLanguageSettings().resourceModule = module;
  }
  ~resource_module_override() { GetLanguageSettings().resourceModule = saved_; }
  resource_module_override(const resource_module_override&) = delete;
  resource_module_override& operator=(const resource_module_override&) = delete;

 private:
  HMODULE saved_;
};

// The bytes of a resource as Windows gives them, or an empty view.
std::string_view resource_bytes(HMODULE module, const wchar_t* type, const wchar_t* name) {
  const HRSRC found = FindResourceW(module, name, type);
  if (!found) return {};
  const HGLOBAL loaded = LoadResource(module, found);
  return {static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found)};
}

kv::unique_hmodule load_fixture(const wchar_t* name) {
  return kv::unique_hmodule(LoadLibraryW((test::test_program_folder() / name).wstring().c_str()));
}

TEST(ResourceStream, ViewsProgramResourcesInPlace) {
  struct resource_case {
    const char* what;
    const wchar_t* type;
    const wchar_t* name;
  };
  const resource_case cases[] = {
      {"version block", RT_VERSION, MAKEINTRESOURCEW(1)},
      {"manifest", RT_MANIFEST, MAKEINTRESOURCEW(1)},
      {"program icon group", RT_GROUP_ICON, MAKEINTRESOURCEW(128)},
      {"string block of French message 0", RT_STRING, MAKEINTRESOURCEW(GetLanguageTableBase(French) / 16 + 1)},
      {"names in their string form", L"#24", L"#1"},
  };
  const resource_module_override module(nullptr);
  for (const auto& c : cases) {
    const std::string_view expected = resource_bytes(GetModuleHandleW(nullptr), c.type, c.name);
    ASSERT_FALSE(expected.empty()) << c.what;
    kv::basic_imemstream stream = kv::load_resource_stream(c.type, c.name);
    EXPECT_EQ(stream.contents().data(), expected.data()) << c.what;
    EXPECT_EQ(stream.contents().size(), expected.size()) << c.what;
    EXPECT_EQ(rest_of(stream), expected) << c.what;
    // Rewinding for a second pass reads the same bytes again.
    stream.clear();
    ASSERT_TRUE(stream.seekg(0)) << c.what;
    EXPECT_EQ(rest_of(stream), expected) << c.what;
  }
  EXPECT_EQ(GetLanguageSettings().resourceModule, GetModuleHandleW(nullptr)) << "a null module is set to the program";
}

TEST(ResourceStream, BytesAreTheResourceItself) {
  kv::basic_imemstream version = kv::load_resource_stream(RT_VERSION, MAKEINTRESOURCEW(1));
  const std::string_view bytes = version.contents();
  ASSERT_GE(bytes.size(), 6 + sizeof(L"VS_VERSION_INFO"));
  EXPECT_EQ(std::wstring_view(reinterpret_cast<const wchar_t*>(bytes.data() + 6), 15), L"VS_VERSION_INFO");

  kv::basic_imemstream manifest = kv::load_resource_stream(RT_MANIFEST, MAKEINTRESOURCEW(1));
  std::string line;
  ASSERT_TRUE(std::getline(manifest, line));
  EXPECT_EQ(line.rfind("<?xml", 0), 0u) << line;
}

TEST(ResourceStream, MissingResourceGivesEmptyStream) {
  struct missing_case {
    const char* what;
    const wchar_t* type;
    const wchar_t* name;
  };
  const missing_case cases[] = {
      {"unknown identifier of a known type", RT_VERSION, MAKEINTRESOURCEW(2)},
      {"unknown type", MAKEINTRESOURCEW(0x7A31), MAKEINTRESOURCEW(1)},
      {"unknown string names", L"NO_SUCH_TYPE", L"NO_SUCH_NAME"},
      {"string name of a known type", RT_MANIFEST, L"NO_SUCH_NAME"},
  };
  for (const auto& c : cases) {
    kv::basic_imemstream stream = kv::load_resource_stream(c.type, c.name);
    EXPECT_EQ(stream.contents(), "") << c.what;
    EXPECT_TRUE(stream.good()) << c.what;
    EXPECT_EQ(stream.get(), traits::eof()) << c.what;
    EXPECT_TRUE(stream.eof()) << c.what;
  }
}

TEST(ResourceStream, ChosenModuleComesFirstThenProgram) {
  const kv::unique_hmodule with_version = load_fixture(L"version_fixture_prerelease.dll");
  const kv::unique_hmodule without_version = load_fixture(L"version_fixture_none.dll");
  ASSERT_TRUE(with_version);
  ASSERT_TRUE(without_version);
  const std::string_view program_version = resource_bytes(GetModuleHandleW(nullptr), RT_VERSION, MAKEINTRESOURCEW(1));
  const std::string_view fixture_version = resource_bytes(with_version.get(), RT_VERSION, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(program_version.empty());
  ASSERT_FALSE(fixture_version.empty());
  ASSERT_NE(fixture_version, program_version);

  {
    const resource_module_override module(with_version.get());
    const kv::basic_imemstream stream = kv::load_resource_stream(RT_VERSION, MAKEINTRESOURCEW(1));
    EXPECT_EQ(stream.contents().data(), fixture_version.data());
    EXPECT_EQ(stream.contents(), fixture_version);
  }
  {
    const resource_module_override module(without_version.get());
    const kv::basic_imemstream stream = kv::load_resource_stream(RT_VERSION, MAKEINTRESOURCEW(1));
    EXPECT_EQ(stream.contents().data(), program_version.data()) << "found in the program after the chosen module";
    EXPECT_EQ(GetLanguageSettings().resourceModule, without_version.get()) << "the chosen module stays chosen";
    const kv::basic_imemstream missing = kv::load_resource_stream(RT_VERSION, MAKEINTRESOURCEW(2));
    EXPECT_EQ(missing.contents(), "");
  }
}

}  // namespace
