#pragma once
// The compiled-in constants of the one product this program installs.

#include <cstdint>
#include <string>

struct ProductDefinition {
  std::wstring productName = L"Gradivo";
  std::wstring versionText = L"7.17a";
  // 7.17.1.1, four 16-bit parts with the major part highest.
  std::uint64_t productVersion = 0x0007001100010001ull;
  // High byte the product family, low byte its generation.
  std::uint16_t productCode = 0x0407;
  std::wstring productKeyName = L"Gradivo 7";
  std::wstring makerFolder = L"Veltram & Ruziruzu";
  // The version as the list of installed programs shows it.
  std::wstring displayVersion = L"7.17.1.1";
  // The maker's details in the product's Uninstall entry.
  std::wstring webAddress = L"https://www.veltram-ruziruzu.example";
  std::wstring supportTelephone = L"+33 1 00 00 00 00";
  // Base of the names of the objects shared with the product; taken from the version block.
  std::wstring applicationId;
};

// The list of uninstallable programs under HKEY_LOCAL_MACHINE, where the product has its key.
inline constexpr wchar_t uninstallListKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The registry key of the product's entry in that list, under HKEY_LOCAL_MACHINE.
std::wstring GetUninstallKeyPath(const std::wstring& productKeyName);

// The product's key name for one of the maker's product codes ("Gradivo 7" for 0x0407). Throws
// std::logic_error for a code the maker has not assigned.
std::wstring GetProductKeyName(std::uint16_t productCode);

// Packs four version parts into one number, major part highest (as VS_FIXEDFILEINFO's two halves).
constexpr std::uint64_t PackVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                                    std::uint16_t revision) {
  return (std::uint64_t{major} << 48) | (std::uint64_t{minor} << 32) | (std::uint64_t{build} << 16) | revision;
}
