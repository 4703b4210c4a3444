#include "uninstall/uninstall_texts.h"

#include <vector>

namespace uninstall {

namespace {

std::wstring ItemList(const std::vector<std::wstring>& items) {
  std::wstring list;
  for (std::size_t i = 0; i < items.size() && i < shownItemLimit; ++i) list += L"\n    " + items[i];
  if (items.size() > shownItemLimit)
    list += L"\n    ... and " + std::to_wstring(items.size() - shownItemLimit) + L" more";
  return list;
}

std::wstring DamageNote(const RecordFileContents& record) {
  return L"The installation record is damaged: only its first " + std::to_wstring(record.entries.size()) +
         (record.entries.size() == 1 ? L" entry" : L" entries") + L" could be read.";
}

}  // namespace

std::wstring ProductText(const RecordFileContents& record) {
  return record.product.empty() ? std::wstring(uninstallCaption) : record.product;
}

std::wstring ConfirmationText(const RecordFileContents& record) {
  std::wstring text = L"Remove " + ProductText(record) + L" and all of its components?";
  if (!record.complete)
    text += L"\n\n" + DamageNote(record) + L" Only what they name will be removed; the rest stays on your computer.";
  return text;
}

std::wstring DoneText(const RecordFileContents& record, const UninstallReport& report) {
  const std::wstring product = ProductText(record);
  const std::vector<std::wstring> failed = report.Subjects(Outcome::failed);
  const std::vector<std::wstring> kept = report.Subjects(Outcome::kept);
  std::wstring text = failed.empty() && record.complete
                          ? product + L" was removed from your computer."
                          : product + L" could not be removed completely.";
  if (!failed.empty()) text += L"\n\nThese items could not be removed:" + ItemList(failed);
  if (!kept.empty())
    text += L"\n\nThese items were kept, since they were changed after the installation, hold other files "
            L"or belong to another installation:" + ItemList(kept);
  if (!record.complete)
    text += L"\n\n" + DamageNote(record) + L" Parts of " + product + L" that the rest names remain on your computer.";
  return text;
}

std::wstring RecordErrorText(const std::wstring& recordFile, const RecordFileContents& record) {
  std::wstring text = record.opened ? L"The installation record cannot be read:\n    " + recordFile
                                    : L"The installation record cannot be found or opened:\n    " + recordFile;
  text += L"\n\nNothing was removed.";
  return text;
}

}  // namespace uninstall
