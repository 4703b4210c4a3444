#pragma once
// Writing record files byte for byte, for the record tests.

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/encoding.h"

namespace record_test {

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-16LE bytes of text, with the byte-order mark in front when bom is set.
inline std::string Utf16(const std::wstring& text, bool bom = true) {
  std::string bytes = bom ? std::string("\xFF\xFE", 2) : std::string();
  for (wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
  }
  return bytes;
}

// The text in the thread's ANSI code page.
inline std::string Narrow(const std::wstring& text) { return kv::w2a(text); }

// A well-formed record's text with the given folders and entry lines ("\r\n" after each).
inline std::wstring RecordText(const std::wstring& installPath, const std::wstring& shortcutPath,
                               const std::wstring& entryLines, const std::wstring& product = L"Gradivo 7.17a") {
  return L"// Uninstall Log File v1\r\n"
         L"// ############ WARNING: Do not delete or modify this file. ############\r\n"
         L"// Install " + product + L"\r\n"
         L"// Install Path : " + installPath + L"\r\n"
         L"// Shortcut Path : " + shortcutPath + L"\r\n"
         L"// " + std::wstring(16 + shortcutPath.size(), L'-') + L"\r\n" + entryLines;
}

}  // namespace record_test
