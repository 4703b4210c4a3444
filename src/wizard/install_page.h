#pragma once
// The installation page, page 4 of the wizard: the summary of the chosen options and then the
// log of the installation run, its progress bar and the status line. The frame's Install button
// starts the run (DoInstall).

#include <istream>
#include <string>
#include <system_error>

#include "engine/file_placement.h"
#include "engine/payload_archive.h"

#include "ui/controls.h"
#include "wizard/wizard_page.h"

// The error code an installation failure shows: "1:%08X" for a Windows error, "2:%08X" for a C
// runtime errno value, the value itself for the extractor's own errors, 7 for anything else.
std::wstring ErrorCodeText(int value, const std::error_category& category);

// The progress bar's position: processed of total in whole percent, rounded, but 99 until
// everything is placed.
int ProgressPercent(std::uint64_t processed, std::uint64_t total);

class CDlgInstall : public WizardPage {
 public:
  CDlgInstall();

  // Runs the installation and returns true when it succeeded. Called by the frame only while
  // `installed` is false.
  bool DoInstall();

  // Appends text to the log. An empty text or a heading becomes a separator line as wide as the
  // log, made of hyphen-minus characters with the heading (enclosed in blanks) in its middle, and
  // ends the line; any other text is appended as it comes, without a line end. The log then
  // scrolls down by one line.
  void AppendLog(const std::wstring& text, bool heading = false);

  // The status line: what to click to start the installation.
  void RefreshTexts() override;
  // The log grows in both directions; the progress bar grows in width and moves down.
  void Stretch(int dx, int dy) override;

  const ui::Edit& Log() const { return log_; }
  const ui::ProgressBar& Progress() const { return progress_; }

 protected:
  // The progress bar runs from 0 to 100 and is hidden until a run shows it.
  bool OnInitDialog() override;
  // Binds the log and the progress bar. Loading the page before a successful installation
  // writes the summary of the options into the log.
  void DoDataExchange(ui::DataExchange& exchange) override;

 private:
  // Clears the log and writes the product, the installation folder and the chosen shortcuts.
  void WriteSummary();
  // The separator line for AppendLog, with its line end.
  std::wstring SeparatorLine(const std::wstring& heading) const;

  ui::Edit log_;
  ui::ProgressBar progress_;

  // The installation run (installation_run.cpp), step by step.
  // The extractor's callback: handles the notification, then lets waiting window messages through.
  notification::result OnNotification(const notification& message, std::istream& payload);
  notification::result HandleNotification(const notification& message, std::istream& payload);
  void CreateShortcuts();
  void UpdateDirectX();
  // The Uninstall entry, the product path value and the product's registration run.
  void ConnectToSystem();
  void WriteRecordFile();

  std::wstring productExePath_;   // the placed product executable, once its entry has begun
  std::wstring uninstallerPath_;  // the placed uninstaller, once its entry has begun
  FilePlacement* placement_ = nullptr;  // the file placement of the run in progress
};

