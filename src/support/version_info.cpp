#include "support/version_info.h"

#include "app/languages.h"

namespace kv {

namespace {

// Where the program's own version resource lies in the loaded module; null and 0 when the program
// has none.
struct program_resource {
  const void* data = nullptr;
  DWORD size = 0;
};

program_resource find_program_resource() {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(1), RT_VERSION);
  if (!info) return {};
  const HGLOBAL loaded = LoadResource(module, info);
  if (!loaded) return {};
  const DWORD size = SizeofResource(module, info);
  const void* data = LockResource(loaded);
  if (!data || size == 0) return {};
  return {data, size};
}

// The program's resource, found on first use and kept for the rest of the run.
const program_resource& cached_program_resource() {
  static const program_resource resource = find_program_resource();
  return resource;
}

// The translation key of a language in code page 1200: both numbers as 4 lower-case hex digits.
std::wstring translation_key(WORD language, WORD code_page) {
  static constexpr wchar_t digits[] = L"0123456789abcdef";
  std::uint32_t both = (std::uint32_t{language} << 16) | code_page;
  std::wstring key(8, L'0');
  for (auto position = key.rbegin(); position != key.rend(); ++position, both >>= 4) *position = digits[both & 0xF];
  return key;
}

constexpr WORD unicode_code_page = 1200;

}  // namespace

version_info::version_info() {
  const program_resource& resource = cached_program_resource();
  data_ = resource.data;
  size_ = resource.size;
  parse();
}

version_info::version_info(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return;
  std::vector<BYTE> bytes(size, 0);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, bytes.data())) return;
  buffer_ = std::make_shared<const std::vector<BYTE>>(std::move(bytes));
  data_ = buffer_->data();
  size_ = size;
  parse();
}

void version_info::parse() {
  if (size_ == 0) return;
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data_, L"\\", &fixed, &length) || !fixed) return;
  fixed_ = static_cast<const VS_FIXEDFILEINFO*>(fixed);

  void* pairs = nullptr;
  length = 0;
  if (!VerQueryValueW(data_, L"\\VarFileInfo\\Translation", &pairs, &length) || !pairs) return;
  const WORD* pair = static_cast<const WORD*>(pairs);
  for (UINT i = 0; i < length / 4; ++i, pair += 2) {
    if (pair[1] == unicode_code_page) translations_.push_back(translation_key(pair[0], unicode_code_page));
  }
}

std::wstring version_info::value(std::wstring_view name) const {
  if (size_ == 0 || translations_.empty()) return {};
  std::wstring sub_block = L"\\StringFileInfo\\";
  sub_block += translations_.front();
  sub_block += L'\\';
  sub_block += name;

  void* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data_, sub_block.c_str(), &text, &length) || !text || length == 0) return {};
  const wchar_t* characters = static_cast<const wchar_t*>(text);
  if (characters[length - 1] == L'\0') --length;
  return std::wstring(characters, length);
}

std::wstring version_info::product_name() const { return value(L"ProductName"); }

std::wstring version_info::product_version() const { return value(L"ProductVersion"); }

std::wstring version_info::legal_text() const { return value(L"LegalCopyright"); }

std::uint64_t version_info::file_version() const {
  if (!fixed_) return 0;
  return (std::uint64_t{fixed_->dwFileVersionMS} << 32) | fixed_->dwFileVersionLS;
}

std::wstring version_info::display_name() const { return product_name(); }

std::wstring version_info::display_name_with_version() const {
  std::wstring text = display_name();
  const std::wstring version = product_version();
  if (!version.empty()) {
    text += L' ';
    text += version;
  }

  const DWORD flags = fixed_ ? (fixed_->dwFileFlags & fixed_->dwFileFlagsMask) : 0;
  if (flags & VS_FF_PRERELEASE) {
    // Only French writes the pre-release mark with its accent.
    constexpr LCID primary_language_bits = 0x3FF;
    if ((GetLanguageSettings().localeId & primary_language_bits) != LANG_FRENCH) {
      const std::wstring_view accented = L"b\u00EAta";
      if (const std::size_t at = text.rfind(accented); at != std::wstring::npos)
        text.replace(at, accented.size(), L"beta");
    }
  }
  if (flags & VS_FF_PRIVATEBUILD) text += L" \u2013 Private";
  if (flags & VS_FF_DEBUG) text += L" \u2013 Debug";
  return text;
}

}  // namespace kv
