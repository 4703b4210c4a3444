#pragma once
// What an uninstallation did, one action at a time: the lines of the action log and the lists that
// the closing message shows.

#include <string>
#include <vector>

namespace uninstall {

enum class Outcome {
  removed,  // the item is gone now
  kept,     // left on purpose: changed by the user, not empty, or not this installation's
  failed,   // could not be removed
  gone,     // was no longer there
  skipped   // the record names nothing this program may act on (failed or unusable entry)
};

struct Action {
  Outcome outcome = Outcome::removed;
  std::wstring what;     // "file", "shortcut", "folder", "key", "value", "record", ...
  std::wstring subject;  // the path or registry name
  std::wstring reason;   // why it was kept, failed or skipped; may be empty
};

// The action's log line: outcome, what, subject and the reason in brackets, for example
// "removed file C:\...\Gradivo.exe" or "kept folder C:\...\Libraries (not empty)".
std::wstring ActionLine(const Action& action);

// Collects the actions of one run and appends each one's line, as it happens, to a log file.
class UninstallReport {
 public:
  // logFile: the file that receives one UTF-8 line per action; empty for none.
  explicit UninstallReport(std::wstring logFile = {});

  void Add(Outcome outcome, std::wstring what, std::wstring subject, std::wstring reason = {});
  // Appends a line that is no action (a note for the log only).
  void Note(const std::wstring& line) const;

  const std::vector<Action>& actions() const noexcept { return actions_; }
  // The subjects of the actions with that outcome, in order.
  std::vector<std::wstring> Subjects(Outcome outcome) const;
  bool HasFailures() const;

 private:
  std::wstring logFile_;
  std::vector<Action> actions_;
};

// Appends line and CR LF, in UTF-8, to file; does nothing for an empty file name. Failures are
// ignored: the log serves tests, never the uninstallation.
void AppendLogLine(const std::wstring& file, const std::wstring& line);

// The log file that the environment variable GRADIVO_UNINSTALL_LOG names; empty when unset.
std::wstring LogFileFromEnvironment();

}  // namespace uninstall
