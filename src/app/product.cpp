#include "app/product.h"

#include <stdexcept>

namespace {

struct ProductKey {
  std::uint16_t productCode;
  const wchar_t* keyName;
};

// The maker's product codes that this installer knows.
constexpr ProductKey productKeys[] = {
    {0x0407, L"Gradivo 7"},
};

}  // namespace

std::wstring GetProductKeyName(std::uint16_t productCode) {
  for (const ProductKey& key : productKeys)
    if (key.productCode == productCode) return key.keyName;
  throw std::logic_error("unknown product code");
}

std::wstring GetUninstallKeyPath(const std::wstring& productKeyName) {
  return std::wstring(uninstallListKey) + L"\\" + productKeyName;
}
