#include "common/payload_resource.h"

#include "support/handles.h"

namespace test {

namespace {

// A resource update that is not committed is discarded, leaving the file unchanged.
void DiscardUpdate(HANDLE update) { EndUpdateResourceW(update, TRUE); }
using unique_resource_update = kv::unique_resource<HANDLE, DiscardUpdate>;

}  // namespace

DWORD replace_payload_resource(const std::filesystem::path& executable, std::string_view compressed) {
  unique_resource_update update(BeginUpdateResourceW(executable.c_str(), FALSE));
  if (!update) return GetLastError();
  const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  if (!UpdateResourceW(update.get(), MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), neutral,
                       const_cast<char*>(compressed.data()), static_cast<DWORD>(compressed.size())))
    return GetLastError();
  if (!EndUpdateResourceW(update.release(), FALSE)) return GetLastError();
  return 0;
}

}  // namespace test
