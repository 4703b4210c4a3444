#pragma once
// Reading version resources: the program's own (its application identifier, the name and version
// in window titles and the About box, the legal notice) and that of a file on disk (the file
// version of an installed product).

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// One version resource, read-only after construction. Nothing here reports an error: a missing
// resource, a failing query or a missing value give empty strings, no translations and a file
// version of 0.
class version_info {
 public:
  // The version resource of the running program (type RT_VERSION, identifier 1), read in place
  // from the loaded module. Its location is looked up once per process.
  version_info();
  // The version resource of the file at path, copied into this object; empty when the file is
  // missing, cannot be read or has no version resource.
  explicit version_info(const std::wstring& path);

  // Copies share the read-only resource bytes. There are deliberately no move operations: a move
  // copies, so the source keeps pointing at bytes that are still alive.
  version_info(const version_info&) = default;
  version_info& operator=(const version_info&) = default;
  ~version_info() = default;

  // The value of name in the string table of the first translation; empty when there is no
  // resource, no translation or no such value. A terminating NUL is not part of the result.
  std::wstring value(std::wstring_view name) const;
  // "ProductName".
  std::wstring product_name() const;
  // "ProductVersion".
  std::wstring product_version() const;
  // "LegalCopyright".
  std::wstring legal_text() const;
  // The fixed file version, dwFileVersionMS in the high half and dwFileVersionLS in the low half;
  // 0 without fixed information.
  std::uint64_t file_version() const;
  // The product name as shown to the user.
  std::wstring display_name() const;
  // The display name, then a space and the product version when there is one, then the build
  // marks: for a pre-release build "bêta" becomes "beta" (its last occurrence) unless the
  // installer's locale is of the French language; a private build appends " – Private", a debug
  // build " – Debug".
  std::wstring display_name_with_version() const;

  // The resource's VS_FIXEDFILEINFO, or null when it has none. Points into this object's data.
  const VS_FIXEDFILEINFO* fixed_info() const noexcept { return fixed_; }
  // One key per translation in code page 1200 (UTF-16), in resource order: the language
  // identifier and 1200 as 8 lower-case hexadecimal digits, such as "040004b0". Translations in
  // other code pages are not listed.
  const std::vector<std::wstring>& translations() const noexcept { return translations_; }

 private:
  void parse();

  // The resource bytes when they were read from a file; null for the program's own resource.
  std::shared_ptr<const std::vector<BYTE>> buffer_;
  const void* data_ = nullptr;
  DWORD size_ = 0;
  const VS_FIXEDFILEINFO* fixed_ = nullptr;
  std::vector<std::wstring> translations_;
};

}  // namespace kv
