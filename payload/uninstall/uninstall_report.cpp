#include "uninstall/uninstall_report.h"

#include <windows.h>

#include <algorithm>

#include "support/encoding.h"
#include "support/handles.h"

namespace uninstall {

namespace {

const wchar_t* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::removed: return L"removed";
    case Outcome::kept: return L"kept";
    case Outcome::failed: return L"failed";
    case Outcome::gone: return L"gone";
    case Outcome::skipped: return L"skipped";
  }
  return L"?";
}

}  // namespace

std::wstring ActionLine(const Action& action) {
  std::wstring line = OutcomeWord(action.outcome);
  line += L' ' + action.what;
  if (!action.subject.empty()) line += L' ' + action.subject;
  if (!action.reason.empty()) line += L" (" + action.reason + L')';
  return line;
}

UninstallReport::UninstallReport(std::wstring logFile) : logFile_(std::move(logFile)) {}

void UninstallReport::Add(Outcome outcome, std::wstring what, std::wstring subject, std::wstring reason) {
  actions_.push_back(Action{outcome, std::move(what), std::move(subject), std::move(reason)});
  AppendLogLine(logFile_, ActionLine(actions_.back()));
}

void UninstallReport::Note(const std::wstring& line) const { AppendLogLine(logFile_, line); }

std::vector<std::wstring> UninstallReport::Subjects(Outcome outcome) const {
  std::vector<std::wstring> subjects;
  for (const Action& action : actions_)
    if (action.outcome == outcome) subjects.push_back(action.subject.empty() ? action.what : action.subject);
  return subjects;
}

bool UninstallReport::HasFailures() const {
  return std::any_of(actions_.begin(), actions_.end(),
                     [](const Action& action) { return action.outcome == Outcome::failed; });
}

void AppendLogLine(const std::wstring& file, const std::wstring& line) {
  if (file.empty()) return;
  const kv::unique_file log(CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!log) return;
  const std::string text = kv::wide_to_utf8(line + L"\r\n");
  DWORD written = 0;
  WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::wstring LogFileFromEnvironment() {
  const DWORD size = GetEnvironmentVariableW(L"GRADIVO_UNINSTALL_LOG", nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"GRADIVO_UNINSTALL_LOG", value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

}  // namespace uninstall
