// The contents of the sample payload's kind-3 files, from the table that the build generates
// (shipped_contents.py) out of the payload's data files.
#include "uninstall/shipped_contents.h"

namespace uninstall {

const std::vector<ShippedContent>& PayloadUserFileContents() {
  static const std::vector<ShippedContent> contents{
#include "shipped_contents.inc"
  };
  return contents;
}

}  // namespace uninstall
