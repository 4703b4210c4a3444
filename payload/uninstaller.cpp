// Uninstall.exe of the sample payload: the product's uninstaller. It reads the installation record
// "Uninstall.ulog" beside it with the installer's own reader, asks before it changes anything, and
// then undoes every change that the record names (uninstall/uninstall_steps.h).
//
// Started without arguments, as the "UninstallString" of the product's Uninstall key starts it, it
// asks, then hands the work to a copy of itself in the temporary folder and ends, so that its own
// file and folder can go too; the copy's command line is described in uninstall/temporary_copy.h.
// When no copy can be started, the work is done here and this program's file and folder stay.
//
// Exit codes: 0 removed (or handed to the copy); 1 done in part: something could not be removed or
// the record is damaged; 2 the record is missing or cannot be read, nothing removed; 3 the user
// answered No, nothing removed.
//
// For tests: when the environment variable GRADIVO_UNINSTALL_LOG names a file, one line per action
// is appended to it (see uninstall/uninstall_report.h), with "cancelled", "started copy PATH",
// "scheduled removal at restart PATH" and "finished" or "finished incomplete" around them.
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "app/product.h"
#include "record/record_file_reader.h"
#include "record/record_format.h"
#include "support/paths.h"
#include "uninstall/shipped_contents.h"
#include "uninstall/temporary_copy.h"
#include "uninstall/uninstall_report.h"
#include "uninstall/uninstall_steps.h"
#include "uninstall/uninstall_texts.h"

namespace {

using namespace uninstall;

enum ExitCode : int { removedExit = 0, partlyRemovedExit = 1, recordUnusableExit = 2, cancelledExit = 3 };

int Box(const std::wstring& text, UINT type) {
  return MessageBoxW(nullptr, text.c_str(), uninstallCaption, type | MB_SETFOREGROUND);
}

std::wstring RecordFileIn(const std::wstring& folder) { return (std::filesystem::path(folder) / recordFileName).wstring(); }

// The record in folder when it can be acted on; otherwise says why and gives nothing.
std::optional<RecordFileContents> ReadUsableRecord(const std::wstring& recordFile, const std::wstring& log) {
  RecordFileContents record = ReadRecordFile(recordFile);
  if (IsUsableRecord(record)) return record;
  AppendLogLine(log, L"failed record " + recordFile + L" (" +
                         std::wstring(record.stopReason.begin(), record.stopReason.end()) + L")");
  Box(RecordErrorText(recordFile, record), MB_OK | MB_ICONERROR);
  return std::nullopt;
}

// Undoes the installation whose record lies in folder and says how it went.
int Finish(const std::wstring& folder, const std::wstring& log) {
  const std::wstring recordFile = RecordFileIn(folder);
  const std::optional<RecordFileContents> record = ReadUsableRecord(recordFile, log);
  if (!record) return recordUnusableExit;
  UninstallReport report(log);
  const UninstallSettings settings{ProductNamesOf(ProductDefinition{}), PayloadUserFileContents()};
  UndoInstallation(recordFile, *record, settings, report);
  const bool complete = record->complete && !report.HasFailures();
  report.Note(complete ? L"finished" : L"finished incomplete");
  Box(DoneText(*record, report), MB_OK | (complete ? MB_ICONINFORMATION : MB_ICONWARNING));
  return complete ? removedExit : partlyRemovedExit;
}

// The temporary copy: waits for the uninstaller that started it, then does the work.
int RunCopy(const FinishArguments& arguments, const std::wstring& log) {
  WaitForOriginal(arguments.original);
  const std::wstring self = kv::module_path();
  if (ScheduleRemovalAtRestart(self)) AppendLogLine(log, L"scheduled removal at restart " + self);
  return Finish(arguments.folder, log);
}

// The uninstaller in the installation folder: asks, then starts the copy.
int RunOriginal(const std::wstring& log) {
  const std::wstring self = kv::module_path();
  const std::wstring folder = std::filesystem::path(self).parent_path().wstring();
  const std::optional<RecordFileContents> record = ReadUsableRecord(RecordFileIn(folder), log);
  if (!record) return recordUnusableExit;
  if (Box(ConfirmationText(*record), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
    AppendLogLine(log, L"cancelled");
    return cancelledExit;
  }
  std::wstring copy;
  if (StartTemporaryCopy(self, folder, &copy)) {
    AppendLogLine(log, L"started copy " + copy);
    return removedExit;
  }
  AppendLogLine(log, L"failed copy (the work is done by the uninstaller itself)");
  return Finish(folder, log);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring log = LogFileFromEnvironment();
  const std::optional<FinishArguments> copy = ParseFinishArguments(GetCommandLineW());
  if (copy && kv::is_rooted_path(copy->folder)) return RunCopy(*copy, log);
  return RunOriginal(log);
}
