// installation_bench: the installation page's whole run (CDlgInstall::DoInstall) over the payload
// linked into this program as resource 260/134, against one plain libbz2 decode of the same bytes.
//
//   installation_bench
//
// The real wizard is created in this process as the installer's start-up makes it and shows its
// installation page; DoInstall then extracts the payload with its verification, places the files
// into a scratch installation folder below the temporary folder, records every change, creates the
// Start-menu and desktop shortcuts, runs the DirectX stand-in, writes the Uninstall entry and the
// product path, runs the product's registration and writes the record file. Only DoInstall is
// timed, not the wizard's navigation. Between passes the installation is undone from its record
// file (files, folders, registry keys, associations).
//
// A payload below 64 MB is installed three times over, the fastest pass counting, a larger one
// once. Every pass is watched through the page's controls (a subclass procedure in front of the
// log, the status line and the progress bar: a function call per message), which tells the phases
// apart and how long the controls take. After the passes, a few parts of the run are timed apart
// for the breakdown. It prints the times, the ratio run/decode, the peak private memory (commit
// charge) of the process during the runs, and last the line "result run-ratio R memory M".
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/install_app.h"
#include "app/messages.h"
#include "app/product.h"
#include "common/installation_removal.h"
#include "common/test_environment.h"
#include "dialog_ids.h"
#include "engine/file_placement.h"
#include "engine/payload_extractor.h"
#include "engine/product_registration.h"
#include "engine/temporary_file_list.h"
#include "measures.h"
#include "support/encoding.h"
#include "support/handles.h"
#include "support/memory_stream.h"
#include "support/wow64.h"
#include "ui/message_pump.h"
#include "wizard/install_page.h"
#include "wizard/wizard_frame.h"

namespace {

using bench::mebibyte;
using bench::MemoryPeak;
using bench::Stopwatch;

// How many times a file's path is shown in the status line for the breakdown (the sample payload's
// files, but for the temporary ones).
constexpr int pathDisplays = 66;

// Payloads below this size are installed three times over, the fastest pass counting.
constexpr std::size_t repeatedBelow = 64u << 20;

// The payload resource in this program's image: the bytes the run decompresses, in place.
struct PayloadBytes {
  const char* data = nullptr;
  std::size_t size = 0;
};

PayloadBytes LinkedPayload() {
  const HMODULE program = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(134), MAKEINTRESOURCEW(260));
  const HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) throw std::runtime_error("the program carries no payload resource");
  return {static_cast<const char*>(data), SizeofResource(program, found)};
}

// What a watched run shows: the status line's texts with their times, and per control of the page
// (log, status line, progress bar) the messages sent to it and the time they took, what the
// control sent on meanwhile (notifications to the page, for one) included.
struct RunWatch {
  struct Mark {
    double milliseconds;
    std::wstring text;
  };
  // The messages a control handles, by what they ask of it.
  enum Work { Append, Scroll, Paint, Other, WorkCount };
  struct Control {
    const char* name;
    int id;
    int messages = 0;
    double milliseconds = 0;
    double work[WorkCount] = {};
  };
  Stopwatch clock;
  std::vector<Mark> status;
  Control controls[3] = {{"log", IDC_LOG}, {"status line", IDC_STATUS}, {"progress bar", IDC_PROGRESS}};
  int depth = 0;  // messages to a watched control being handled; only the outermost one counts
  int logAppends = 0;
};

RunWatch* watched = nullptr;

RunWatch::Work KindOfWork(UINT message) {
  switch (message) {
    case EM_REPLACESEL:
    case WM_SETTEXT:
    case PBM_SETPOS:
      return RunWatch::Append;
    case EM_LINESCROLL:
    case WM_VSCROLL:
      return RunWatch::Scroll;
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_NCPAINT:
    case WM_CTLCOLORSTATIC:
      return RunWatch::Paint;
    default:
      return RunWatch::Other;
  }
}

// The watched controls' window procedure in front of their own: a function call per message, so
// that watching does not change what it watches.
LRESULT CALLBACK WatchControl(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (!watched) return DefSubclassProc(window, message, wParam, lParam);
  auto& control = *reinterpret_cast<RunWatch::Control*>(data);
  if (message == WM_SETTEXT && control.id == IDC_STATUS)
    watched->status.push_back({watched->clock.milliseconds(), reinterpret_cast<const wchar_t*>(lParam)});
  if (message == EM_REPLACESEL && control.id == IDC_LOG) ++watched->logAppends;
  if (watched->depth > 0) return DefSubclassProc(window, message, wParam, lParam);
  ++watched->depth;
  const double start = watched->clock.milliseconds();
  const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  const double took = watched->clock.milliseconds() - start;
  control.milliseconds += took;
  ++control.messages;
  control.work[KindOfWork(message)] += took;
  --watched->depth;
  return result;
}

// Watches the page's controls while it lives.
class ControlWatch {
 public:
  ControlWatch(HWND page, RunWatch& watch) : page_(page) {
    for (RunWatch::Control& control : watch.controls)
      if (!SetWindowSubclass(GetDlgItem(page_, control.id), WatchControl, 1, reinterpret_cast<DWORD_PTR>(&control)))
        throw std::runtime_error("cannot watch the page's controls");
    watched = &watch;
  }
  ControlWatch(const ControlWatch&) = delete;
  ControlWatch& operator=(const ControlWatch&) = delete;
  ~ControlWatch() {
    watched = nullptr;
    for (int id : {IDC_LOG, IDC_STATUS, IDC_PROGRESS}) RemoveWindowSubclass(GetDlgItem(page_, id), WatchControl, 1);
  }

 private:
  HWND page_;
};

// One installation: a new application object with the options that start-up gives on a machine
// without the product, both shortcuts chosen and the folders inside the scratch folder, the wizard
// created as the main dialog and showing its installation page; then DoInstall, timed.
struct RunResult {
  bool succeeded = false;
  double milliseconds = 0;
  std::wstring installFolder;
  std::wstring status;
  bool stepFailed = false;  // a line of the log ends in "Failed"
  std::size_t logCharacters = 0;
  double pathDisplayMilliseconds = 0;  // pathDisplays paths shown in the status line after the run
};

RunResult InstallOnce(const std::filesystem::path& scratch, MemoryPeak& memory, RunWatch& watch) {
  CInstallApp app;
  app.SetTitle(app.GetInstallerTitle(true));
  app.ApplyDefaultFolders();
  app.options.installFolder = (scratch / L"Program Files" / L"Gradivo 7").wstring();
  app.options.startMenuFolder = (scratch / L"Start Menu" / L"Gradivo 7").wstring();
  app.options.startMenuShortcuts = true;
  app.options.desktopShortcut = true;
  CInstallDlg wizard;
  if (!wizard.Create(nullptr)) throw std::runtime_error("cannot create the wizard");
  app.SetMainDialog(&wizard);
  wizard.ShowPage(CInstallDlg::InstallPage);
  ui::PumpWaitingMessages();
  CDlgInstall& page = wizard.Installation();

  RunResult result;
  result.installFolder = app.options.installFolder;
  {
    const bench::MemorySampler sampler(memory);
    const ControlWatch controls(page.hwnd(), watch);
    watch.clock = Stopwatch();
    result.succeeded = page.DoInstall();
    result.milliseconds = watch.clock.milliseconds();
  }
  wchar_t status[512] = {};
  GetDlgItemTextW(page.hwnd(), IDC_STATUS, status, 512);
  result.status = status;
  // A step after the extraction that fails does not fail the run, but it would leave work undone.
  const HWND log = GetDlgItem(page.hwnd(), IDC_LOG);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(log)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(log, text.data(), static_cast<int>(text.size()))));
  result.stepFailed = text.find(GetMessageText(12)) != std::wstring::npos;
  result.logCharacters = text.size();
  // For the breakdown: the status line shows each file's path, compacted to the line's width.
  const std::wstring path = app.options.installFolder + L"\\Lang\\Gradivo.de.dll";
  const Stopwatch pathClock;
  for (int i = 0; i < pathDisplays; ++i) PathSetDlgItemPathW(page.hwnd(), IDC_STATUS, path.c_str());
  result.pathDisplayMilliseconds = pathClock.milliseconds();
  ui::PumpWaitingMessages();
  app.SetMainDialog(nullptr);
  return result;
}

std::wstring RecordFile(const RunResult& run) { return run.installFolder + L"\\Uninstall.ulog"; }

// The registration run alone, as the installation starts it: the placed product with its
// registration command line, waited for.
double TimeRegistrationRun(const std::wstring& productExePath) {
  std::wstring commandLine = RegistrationCommandLine(productExePath, 0);
  std::wstring folder = std::filesystem::path(productExePath).parent_path().wstring();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNOACTIVATE;
  PROCESS_INFORMATION process{};
  const Stopwatch clock;
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                      folder.c_str(), &startup, &process))
    return -1;
  const kv::unique_handle processHandle(process.hProcess);
  const kv::unique_handle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  return clock.milliseconds();
}

// What the run's extraction costs without the page: the payload extracted into the same folders
// with the same file placement (decisions, record, grants, temporary files), without the
// verification, the log, the progress bar and the dispatching of window messages; then rolled back.
double TimeBarePlacement(const std::filesystem::path& scratch) {
  CInstallApp app;
  app.ApplyDefaultFolders();
  InstallOptions& options = app.options;
  options.installFolder = (scratch / L"Program Files" / L"Gradivo 7").wstring();
  std::wstring errorText;
  if (!app.PrepareTemporaryFolder(errorText)) throw std::runtime_error("no temporary folder for the run");
  const std::wstring sampleFolder = FormatMessageText(GetMessageText(18), app.GetProductName(true));
  double milliseconds = 0;
  {
    TemporaryFileList temporaryFiles(options.temporaryFolder);
    FilePlacement placement(options, temporaryFiles);
    kv::basic_imemstream payload = kv::load_resource_stream(MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134));
    const Stopwatch clock;
    const bool extracted =
        ExtractPayload(payload, options.installFolder, sampleFolder, options.temporaryFolder, [&](notification message) {
          if (const auto* begin = std::get_if<notification::file_begin>(&message)) return placement.OnFileBegin(begin->entry).result;
          if (const auto* end = std::get_if<notification::file_end>(&message)) placement.OnFileEnd(end->entry);
          if (std::holds_alternative<notification::failure>(message)) return notification::result::abort;
          return notification::result::proceed;
        });
    milliseconds = clock.milliseconds();
    if (!extracted) throw std::runtime_error("the extraction without the page failed");
  }
  options.record.Rollback();
  return milliseconds;
}

// The phases of a watched run, told apart by the status line's texts: the run sets message 114
// when it starts and again when the extraction starts, the first file's path when the verification
// is done, then messages 117, 131, 118 and 119 for the steps after the extraction, and message 106
// at the end.
void PrintPhases(const RunWatch& watch, double total, std::size_t logCharacters) {
  const std::wstring preparing = GetMessageText(114);
  const std::vector<std::pair<std::wstring, const char*>> steps = {
      {GetMessageText(117), "shortcuts"},
      {GetMessageText(131), "DirectX stand-in"},
      {GetMessageText(118), "Uninstall entry, product path, registration run"},
      {GetMessageText(119), "record file"},
      {FormatMessageText(GetMessageText(106), GetMessageText(6)), "after the record file"}};
  struct Phase {
    const char* name;
    double start;
  };
  std::vector<Phase> phases = {{"temporary folder, resource, extraction start", 0}};
  int preparingSeen = 0;
  bool firstFileSeen = false;
  for (const RunWatch::Mark& mark : watch.status) {
    if (mark.text == preparing) {
      if (++preparingSeen == 2) phases.push_back({"verification (VerifyPayload)", mark.milliseconds});
      continue;
    }
    const auto step = std::find_if(steps.begin(), steps.end(), [&](const auto& s) { return s.first == mark.text; });
    if (step != steps.end()) {
      phases.push_back({step->second, mark.milliseconds});
    } else if (!firstFileSeen && preparingSeen == 2) {
      firstFileSeen = true;
      phases.push_back({"extraction and placement (ExtractPayload)", mark.milliseconds});
    }
  }
  std::printf("  phases of the fastest run, told apart by the status line (%.1f ms in all):\n", total);
  for (std::size_t i = 0; i < phases.size(); ++i) {
    const double end = i + 1 < phases.size() ? phases[i + 1].start : total;
    std::printf("    %-50s %9.1f ms\n", phases[i].name, end - phases[i].start);
  }
  std::printf("    of all phases, in the page's controls (messages sent to them, what they sent on included):\n");
  for (const RunWatch::Control& control : watch.controls)
    std::printf("      %-14s %9.1f ms, %d messages: changing its text or position %.1f ms, scrolling %.1f ms, painting %.1f ms, "
                "other %.1f ms\n",
                control.name, control.milliseconds, control.messages, control.work[RunWatch::Append],
                control.work[RunWatch::Scroll], control.work[RunWatch::Paint], control.work[RunWatch::Other]);
  std::printf("      (%d texts appended to the log, %zu characters in it at the end)\n", watch.logAppends, logCharacters);
}

// Every Windows has the list of uninstallable programs in both registry views; a fresh Wine prefix
// of the 64-bit loader lacks it in the 32-bit view, which the Uninstall entry opens.
void EnsureUninstallList() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, uninstallListKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | kv::registry_view(), nullptr, &key, nullptr) == ERROR_SUCCESS)
    RegCloseKey(key);
}

int Run() {
  SetCurrentLanguage(English);
  EnsureUninstallList();
  MemoryPeak memory;
  memory.sample();
  const PayloadBytes payload = LinkedPayload();
  const test::scratch_folder scratch;
  const int passes = payload.size < repeatedBelow ? 3 : 1;

  double raw = 0;
  std::uint64_t decompressed = 0;
  std::vector<double> installTimes;
  RunResult fastest;
  RunWatch fastestWatch;
  double before = 0;
  for (int pass = 0; pass < passes; ++pass) {
    const Stopwatch rawClock;
    decompressed = bench::RawDecode(payload.data, payload.size);
    const double rawTime = rawClock.milliseconds();
    raw = pass == 0 ? rawTime : std::min(raw, rawTime);
    memory.sample();
    if (pass == 0) before = memory.peakMegabytes();

    RunWatch watch;
    RunResult run = InstallOnce(scratch.path(), memory, watch);
    if (!run.succeeded || run.stepFailed) {
      test::remove_installation(RecordFile(run));
      std::fprintf(stderr, "installation_bench: the installation %s: %s\n", run.succeeded ? "had a failed step" : "failed",
                   kv::wide_to_utf8(run.status).c_str());
      return 1;
    }
    installTimes.push_back(run.milliseconds);
    const bool last = pass + 1 == passes;
    if (!last) test::remove_installation(RecordFile(run));
    if (pass == 0 || run.milliseconds < fastest.milliseconds) {
      fastest = std::move(run);
      fastestWatch = std::move(watch);
    }
  }
  const double peak = memory.peakMegabytes();
  const double ratio = fastest.milliseconds / raw;

  std::printf("installation run over the linked-in payload (fastest of %d passes)\n", passes);
  std::printf("  compressed             %10.1f MB (%zu bytes)\n", static_cast<double>(payload.size) / mebibyte, payload.size);
  std::printf("  decompressed           %10.1f MB (%llu bytes)\n", static_cast<double>(decompressed) / mebibyte,
              static_cast<unsigned long long>(decompressed));
  std::printf("  a) raw libbz2 decode   %10.1f ms (%.1f MB/s)\n", raw, static_cast<double>(decompressed) / mebibyte / (raw / 1000.0));
  std::printf("  b) DoInstall           %10.1f ms (passes:", fastest.milliseconds);
  for (double time : installTimes) std::printf(" %.1f", time);
  std::printf(")\n");
  std::printf("  ratio b/a              %10.2f\n", ratio);
  std::printf("  peak private memory    %10.1f MB (%.1f MB before the first run)\n", peak, before);
  PrintPhases(fastestWatch, fastest.milliseconds, fastest.logCharacters);
  std::fflush(stdout);

  // The last pass's installation is still in place for the parts timed apart.
  const std::wstring& installFolder = fastest.installFolder;
  std::printf("  timed apart:\n");
  std::printf("    the registration run alone                   %9.1f ms\n", TimeRegistrationRun(installFolder + L"\\Gradivo.exe"));
  const Stopwatch notifyClock;
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  std::printf("    the association change notice                %9.1f ms\n", notifyClock.milliseconds());
  constexpr int dispatches = 2000;
  const Stopwatch pumpClock;
  for (int i = 0; i < dispatches; ++i) ui::PumpWaitingMessages();
  std::printf("    dispatching waiting messages, none waiting   %9.1f us a time\n", pumpClock.milliseconds() * 1000.0 / dispatches);
  std::printf("    a file's path shown in the status line, %d times %9.1f ms\n", pathDisplays, fastest.pathDisplayMilliseconds);
  test::remove_installation(RecordFile(fastest));
  if (passes > 1)
    std::printf("    extraction with file placement, no page      %9.1f ms (no verification, log, progress or dispatching)\n",
                TimeBarePlacement(scratch.path()));

  std::printf("result run-ratio %.2f memory %.1f\n", ratio, peak);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int wmain() {
  try {
    return Run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "installation_bench: %s\n", error.what());
    return 1;
  }
}
