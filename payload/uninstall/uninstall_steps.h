#pragma once
// Undoing an installation from its record file "Uninstall.ulog": every change the record names,
// newest first, and nothing the record does not name.

#include <string>
#include <vector>

#include "app/product.h"
#include "record/record_file_reader.h"
#include "uninstall/shipped_contents.h"
#include "uninstall/uninstall_report.h"

namespace uninstall {

// The product's registry names that an uninstallation removes. The record names the Uninstall key
// and the associations only by their kind, and the product path value not at all.
struct ProductNames {
  std::wstring productKeyName;    // the key below the Uninstall list (HKEY_LOCAL_MACHINE): "Gradivo 7"
  std::wstring makerKey;          // below HKEY_LOCAL_MACHINE: "Software\Veltram & Ruziruzu"
  std::wstring productPathValue;  // its value naming the product's executable: "Gradivo 7 Path"
  std::wstring fileExtension;     // below HKEY_CLASSES_ROOT: ".gvp"
  std::wstring fileType;          // below HKEY_CLASSES_ROOT: "Gradivo.Project"
};

// The names of the product of this program.
ProductNames ProductNamesOf(const ProductDefinition& product);

struct UninstallSettings {
  ProductNames names;
  // The contents of the kind-3 files as shipped; a kind-3 file with any other content is kept.
  std::vector<ShippedContent> shippedContents;
};

// A record that can be acted on: it was opened, its version is the known one, and either it was
// read to its end or at least one entry was read before the damage.
bool IsUsableRecord(const RecordFileContents& record);

// Undoes the entries of record (read from recordFile) newest first, skipping entries recorded as
// failed and those whose text is no full path:
// - installed files: read-only cleared and deleted; a kind-3 file whose contents are not a shipped
//   one is kept as changed, one that cannot be read is kept too; the uninstaller's own program
//   file is retried for a moment, since its process may just have ended;
// - shortcuts (".lnk" files only) deleted; created folders removed when empty;
// - the Uninstall key deleted, unless its "UninstallString" names an uninstaller in another folder;
//   with it, the product path value when it names a program the record placed, and the maker's key
//   when that leaves it empty;
// - the associations: the extension's key when it still names the file type, and the file type's key;
// - the DirectX runtime stays.
// The record file itself is deleted just before the first created folder that holds it, else at the
// end. Every action goes to report. Never throws for what it finds on the machine.
void UndoInstallation(const std::wstring& recordFile, const RecordFileContents& record,
                      const UninstallSettings& settings, UninstallReport& report);

// The texts under which the log and the closing message name the registry items.
std::wstring UninstallKeyName(const ProductNames& names);
std::wstring ProductPathValueName(const ProductNames& names);

}  // namespace uninstall
