#include <gtest/gtest.h>

#include <windows.h>

#include <shlwapi.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/install_app.h"
#include "common/installation_removal.h"
#include "common/payload_resource.h"
#include "common/test_environment.h"
#include "dialog_ids.h"
#include "archive_writer.h"
#include "record/installation_record.h"
#include "record/shortcuts.h"
#include "support/encoding.h"
#include "support/paths.h"
#include "support/registry.h"
#include "support/wow64.h"
#include "ui/message_pump.h"
#include "wizard/install_page.h"
#include "wizard/wizard_frame.h"
#include "wizard_fixture.h"

namespace {

const std::wstring productKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7";
const std::wstring makerKey = L"Software\\Veltram & Ruziruzu";

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::string Content(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring LogText(HWND page) {
  const HWND log = GetDlgItem(page, IDC_LOG);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(log)) + 1, L'\0');
  GetWindowTextW(log, text.data(), static_cast<int>(text.size()));
  text.resize(wcslen(text.c_str()));
  return text;
}

// The real wizard on its installation page, installing the sample payload that is linked into the
// test program, into a scratch installation folder.
class InstallationRun : public testing::Test {
 protected:
  InstallationRun() {
    SetCurrentLanguage(English);
    app_.SetTitle(app_.GetInstallerTitle(true));
    app_.ApplyDefaultFolders();
    app_.options.installFolder = (scratch_.path() / L"Program Files" / L"Gradivo 7").wstring();
    app_.options.startMenuFolder = (scratch_.path() / L"Start Menu" / L"Gradivo 7").wstring();
    app_.options.desktopShortcut = false;
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_LOG", (scratch_.path() / L"dsetup.log").c_str());
  }
  ~InstallationRun() override {
    app_.SetMainDialog(nullptr);
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_LOG", nullptr);
    test::remove_installation(RecordFile());
  }
  void SetUp() override {
    ASSERT_TRUE(wizard_.Create(nullptr)) << GetLastError();
    app_.SetMainDialog(&wizard_);
    wizard_.ShowPage(CInstallDlg::InstallPage);
    ui::PumpWaitingMessages();
  }
  CDlgInstall& Page() { return static_cast<CDlgInstall&>(wizard_.Page(CInstallDlg::InstallPage)); }
  std::wstring RecordFile() const { return app_.options.installFolder + L"\\Uninstall.ulog"; }
  std::wstring Status() { return Text(GetDlgItem(Page().hwnd(), IDC_STATUS)); }

  test::scratch_folder scratch_;
  CInstallApp app_;
  CInstallDlg wizard_;
};

TEST_F(InstallationRun, InstallsTheSamplePayloadAndConnectsTheProduct) {
  app_.options.desktopShortcut = true;
  ASSERT_TRUE(Page().DoInstall());
  const InstallOptions& options = app_.options;
  const std::wstring product = options.installFolder + L"\\Gradivo.exe";
  const std::wstring uninstaller = options.installFolder + L"\\Uninstall.exe";
  EXPECT_TRUE(GetFileAttributesW(product.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(GetFileAttributesW(uninstaller.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(PathFileExistsW((options.installFolder + L"\\Lang\\Gradivo.de.dll").c_str()));
  EXPECT_EQ(Status(), L"Click on 'Next' to continue.");

  // The log: the preparation, one line per file, then each step, all "OK".
  const std::wstring log = LogText(Page().hwnd());
  for (const wchar_t* line : {L"Preparing Installation...OK\r\n", L"Shortcuts Creation...OK\r\n",
                              L"Registry Data Writing...OK\r\n", L"Installation Data Writing...OK\r\n"})
    EXPECT_NE(log.find(line), std::wstring::npos) << testing::PrintToString(std::wstring(line));
  EXPECT_NE(log.find(L"Copying File  \"" + product + L"\"...OK\r\n"), std::wstring::npos);
  EXPECT_EQ(log.find(L"Failed"), std::wstring::npos);

  // The run's temporary folder and its files are gone; DirectX ran from there.
  EXPECT_FALSE(options.temporaryFolder.empty());
  EXPECT_FALSE(PathFileExistsW(options.temporaryFolder.c_str()));
  std::ifstream dsetupLog(scratch_.path() / L"dsetup.log");
  std::string dsetupCall;
  std::getline(dsetupLog, dsetupCall);
  EXPECT_NE(dsetupCall.find("flags=0x10018"), std::string::npos) << dsetupCall;

  // The system knows the product.
  const kv::unique_hkey key = kv::open_registry_key(HKEY_LOCAL_MACHINE, productKey, KEY_READ);
  ASSERT_TRUE(key);
  EXPECT_EQ(kv::read_registry_string(key.get(), L"UninstallString"), uninstaller);
  EXPECT_EQ(kv::read_registry_string(key.get(), L"DisplayIcon"), product + L",0");
  EXPECT_EQ(kv::read_registry_dword(HKEY_LOCAL_MACHINE, productKey, L"KvLanguage"), DWORD{English});
  const kv::unique_hkey maker = kv::open_registry_key(HKEY_LOCAL_MACHINE, makerKey, KEY_READ);
  EXPECT_EQ(kv::read_registry_string(maker.get(), L"Gradivo 7 Path"), product);
  EXPECT_TRUE(PathFileExistsW((options.startMenuFolder + L"\\Gradivo 7.17a.lnk").c_str()));
  EXPECT_TRUE(PathFileExistsW((options.startMenuFolder + L"\\Uninstall Gradivo.lnk").c_str()));
  EXPECT_TRUE(PathFileExistsW((DesktopFolder() + L"\\Gradivo 7.17a.lnk").c_str()));
  // The product registered its project files when it was run once.
  HKEY association = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L".gvp", 0, KEY_READ, &association), ERROR_SUCCESS);
  if (association) RegCloseKey(association);

  // The record file lists every step, all succeeded.
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.Read(RecordFile());
  int files = 0, steps = 0;
  for (const RecordEntry& entry : record.previousEntries()) {
    EXPECT_TRUE(entry.succeeded) << static_cast<int>(entry.kind) << " " << testing::PrintToString(entry.text);
    if (entry.kind == RecordEntryKind::InstalledFile) ++files;
    if (entry.kind >= RecordEntryKind::ProgramShortcut) ++steps;
  }
  EXPECT_EQ(files, 10 + 1 + 1 + 13 + 41) << "every payload file but the temporary ones";
  EXPECT_EQ(steps, 3 + 1 + 1 + 1) << "three shortcuts, DirectX, the Uninstall key, the associations";
  // The steps' lines in the file, as the uninstaller reads them.
  const std::string bytes = Content(RecordFile());
  std::wstring text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  for (const std::wstring& line : std::vector<std::wstring>{
           L":05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7\r\n",
        L":06ff:1 -- HKEY_CLASSES_ROOT\\...\r\n", L":04ff:1 -- " + DesktopFolder() + L"\\Gradivo 7.17a.lnk\r\n",
        L":0101:1 -- " + product + L"\r\n"})
    EXPECT_NE(text.find(line), std::wstring::npos) << testing::PrintToString(line);
  EXPECT_NE(text.find(L":07ff:1 -- "), std::wstring::npos);
  EXPECT_EQ(record.previousInstallPath, options.installFolder);
}

TEST_F(InstallationRun, AFailedPlacementIsRolledBack) {
  // A folder stands where the uninstaller is to be written: opening it for writing is refused.
  const std::filesystem::path blocked = std::filesystem::path(app_.options.installFolder) / L"Uninstall.exe";
  std::filesystem::create_directories(blocked);
  EXPECT_FALSE(Page().DoInstall());
  EXPECT_EQ(Status().rfind(L"Installation failed (Error Code ", 0), 0u) << testing::PrintToString(Status());
  const std::wstring log = LogText(Page().hwnd());
  EXPECT_NE(log.rfind(L"...Failed\r\n"), std::wstring::npos);
  // Everything placed is gone again: only the blocking folder remains of the installation folder.
  EXPECT_FALSE(PathFileExistsW((app_.options.installFolder + L"\\Gradivo.exe").c_str()));
  EXPECT_TRUE(std::filesystem::is_directory(blocked));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(app_.options.installFolder),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_FALSE(PathFileExistsW(RecordFile().c_str()));
  EXPECT_FALSE(kv::open_registry_key(HKEY_LOCAL_MACHINE, productKey, KEY_READ));
  EXPECT_TRUE(app_.options.record.entries().empty());
  EXPECT_FALSE(PathFileExistsW(app_.options.temporaryFolder.c_str()));
}

// The user's temporary folder's backup files ("kv" temporary names).
int BackupFiles() {
  int count = 0;
  std::error_code ignored;
  for (const auto& item : std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ignored))
    if (item.path().filename().wstring().rfind(L"kv", 0) == 0) ++count;
  return count;
}

TEST_F(InstallationRun, AFileHeldOpenFailsTheRunWhichPutsBackWhatItReplacedThenASecondRunSucceeds) {
  const std::filesystem::path lang = std::filesystem::path(app_.options.installFolder) / L"Lang";
  std::filesystem::create_directories(lang);
  // A leftover read-only library of an earlier installation, replaced by the run.
  const std::filesystem::path french = lang / L"Gradivo.fr.dll";
  std::ofstream(french, std::ios::binary) << "earlier French library";
  SetFileAttributesW(french.c_str(), FILE_ATTRIBUTE_READONLY);
  // Another program holds a later library open without letting others write or delete it.
  const std::filesystem::path hungarian = lang / L"Gradivo.hu.dll";
  std::ofstream(hungarian, std::ios::binary) << "held by another program";
  HANDLE held = CreateFileW(hungarian.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const int backupsBefore = BackupFiles();

  EXPECT_FALSE(Page().DoInstall());
  CloseHandle(held);
  EXPECT_EQ(Status(), L"Installation failed (Error Code 1:00000020).");
  EXPECT_NE(LogText(Page().hwnd()).find(L"Gradivo.hu.dll\"...Failed\r\n"), std::wstring::npos);
  EXPECT_EQ(Content(french), "earlier French library");
  EXPECT_EQ(GetFileAttributesW(french.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
  EXPECT_EQ(Content(hungarian), "held by another program");
  EXPECT_FALSE(PathFileExistsW((lang / L"Gradivo.de.dll").c_str()));
  EXPECT_FALSE(PathFileExistsW((app_.options.installFolder + L"\\Gradivo.exe").c_str()));
  EXPECT_EQ(BackupFiles(), backupsBefore) << "no backup is left behind";

  // Nothing holds the file any more: the next run installs.
  EXPECT_TRUE(Page().DoInstall());
  EXPECT_NE(Content(french), "earlier French library");
  EXPECT_NE(Content(hungarian), "held by another program");
  EXPECT_TRUE(PathFileExistsW(RecordFile().c_str()));
  EXPECT_EQ(BackupFiles(), backupsBefore);
}

// A copy of this test program whose payload resource is replaced by raw archive bytes compressed
// as the build compresses the real payload, loaded for its resources only: as the language
// settings' resource module it gives the run its payload (and the same texts as the program).
class PayloadModule {
 public:
  PayloadModule(const std::filesystem::path& folder, const std::string& raw) {
    const std::filesystem::path copy = folder / L"payload-module.exe";
    std::filesystem::copy_file(kv::module_path(), copy);
    EXPECT_EQ(test::replace_payload_resource(copy, CompressPayload(raw)), 0u);
    module_ = LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    EXPECT_NE(module_, nullptr);
    GetLanguageSettings().resourceModule = module_;
  }
  ~PayloadModule() {
    GetLanguageSettings().resourceModule = nullptr;
    if (module_) FreeLibrary(module_);
  }
  PayloadModule(const PayloadModule&) = delete;
  PayloadModule& operator=(const PayloadModule&) = delete;

 private:
  HMODULE module_ = nullptr;
};

TEST_F(InstallationRun, AChecksumMismatchOnTheThirdFileIsRolledBack) {
  // Four files of the installation folder; the third one's checksum is wrong.
  std::vector<PayloadEntry> entries;
  std::string data;
  const struct {
    const wchar_t* name;
    const wchar_t* destination;
    std::uint32_t kind;
  } files[] = {{L"Gradivo.exe", L"<InstallPath>", 1},
               {L"Gradivo.de.dll", L"<InstallPath>\\Lang", 0},
               {L"Oak.bmp", L"<InstallPath>\\Textures", 4},
               {L"Uninstall.exe", L"<InstallPath>", 2}};
  for (const auto& file : files) {
    const std::string content = "content of " + kv::wide_to_utf8(file.name);
    std::uint32_t crc = PayloadCrc32(content);
    if (entries.size() == 2) crc ^= 1;
    entries.push_back({std::wstring(L"C:\\build\\") + file.name, file.destination, file.kind, content.size(), crc});
    data += content;
  }
  const PayloadModule payload(scratch_.path(), EncodePayloadHeader(entries) + data);

  EXPECT_FALSE(Page().DoInstall());
  EXPECT_EQ(Status(), L"Installation failed (Error Code 3).");
  const std::wstring log = LogText(Page().hwnd());
  EXPECT_NE(log.find(L"Oak.bmp\"...Failed\r\n"), std::wstring::npos) << testing::PrintToString(log);
  EXPECT_EQ(log.find(L"Uninstall.exe"), std::wstring::npos);
  EXPECT_FALSE(PathFileExistsW(app_.options.installFolder.c_str())) << "the files and the folders it created are gone";
  EXPECT_FALSE(PathFileExistsW(app_.options.temporaryFolder.c_str()));
}

TEST_F(InstallationRun, AnInstallationFolderThatCannotBeCreatedFailsCleanly) {
  // A file stands where a folder of the installation path would be created.
  const std::filesystem::path blocker = scratch_.path() / L"Blocked";
  std::ofstream(blocker) << "a file, not a folder";
  app_.options.installFolder = (blocker / L"Gradivo 7").wstring();
  EXPECT_FALSE(Page().DoInstall());
  EXPECT_EQ(Status().rfind(L"Installation failed (Error Code ", 0), 0u) << testing::PrintToString(Status());
  EXPECT_EQ(Content(blocker), "a file, not a folder");
  EXPECT_TRUE(app_.options.record.entries().empty());
  EXPECT_FALSE(PathFileExistsW(app_.options.temporaryFolder.c_str()));
}

TEST_F(InstallationRun, QuickInstallationThroughTheWizardReachesTheEndPage) {
  wizard_.ShowPage(CInstallDlg::StartPage);
  // Start, Mode (quick installation), then Install.
  for (int page : {CInstallDlg::ModePage, CInstallDlg::InstallPage}) {
    ASSERT_NO_FATAL_FAILURE(test::Click(wizard_.hwnd(), IDOK));
    ASSERT_EQ(wizard_.CurrentPage(), page);
  }
  ASSERT_EQ(Text(GetDlgItem(wizard_.hwnd(), IDOK)), L"Install");
  ASSERT_NO_FATAL_FAILURE(test::Click(wizard_.hwnd(), IDOK));
  EXPECT_TRUE(app_.options.installed);
  EXPECT_TRUE(PathFileExistsW(RecordFile().c_str()));
  ASSERT_NO_FATAL_FAILURE(test::Click(wizard_.hwnd(), IDOK));
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::EndPage);
}

// Runs one after the other, each with the application object and wizard that a new start of the
// installer makes, the earlier installation found as start-up finds it.
class LaterRuns : public testing::Test {
 protected:
  LaterRuns() {
    SetCurrentLanguage(English);
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_LOG", dsetupLog_.c_str());
    SetEnvironmentVariableW(L"GRADIVO_PRODUCT_LOG", productLog_.c_str());
  }
  ~LaterRuns() override {
    SetEnvironmentVariableW(L"GRADIVO_DSETUP_LOG", nullptr);
    SetEnvironmentVariableW(L"GRADIVO_PRODUCT_LOG", nullptr);
    test::remove_installation(installFolder_ + L"\\Uninstall.ulog");
  }

  // One start of the installer and one run; previousVersion non-zero makes it an update.
  bool Run(std::uint64_t previousVersion = 0) {
    CInstallApp app;
    app.SetTitle(app.GetInstallerTitle(true));
    app.DetectInstalledProduct();
    app.ReadPreviousRecord();
    app.ApplyDefaultFolders();
    if (app.options.installFolder != installFolder_ && app.options.previousState == PreviousInstallState::None) {
      app.options.installFolder = installFolder_;
      app.options.startMenuFolder = menuFolder_;
    }
    app.options.desktopShortcut = false;
    if (previousVersion != 0) {
      app.options.previousState = PreviousInstallState::OlderVersion;
      app.options.previousVersion = previousVersion;
    }
    state_ = app.options.previousState;
    folders_ = {app.options.installFolder, app.options.startMenuFolder};
    CInstallDlg wizard;
    if (!wizard.Create(nullptr)) return false;
    app.SetMainDialog(&wizard);
    wizard.ShowPage(CInstallDlg::InstallPage);
    const bool result = static_cast<CDlgInstall&>(wizard.Page(CInstallDlg::InstallPage)).DoInstall();
    log_ = LogText(wizard.Page(CInstallDlg::InstallPage).hwnd());
    app.SetMainDialog(nullptr);
    return result;
  }
  // The first file of a payload kind that the installation's record file lists.
  std::wstring FirstPlacedFile(int kind) const {
    InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
    record.Read(installFolder_ + L"\\Uninstall.ulog");
    for (const RecordEntry& entry : record.previousEntries())
      if (entry.kind == RecordEntryKind::InstalledFile && entry.tag == kind) return entry.text;
    return {};
  }
  static int Lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    int count = 0;
    for (std::string line; std::getline(in, line);) ++count;
    return count;
  }

  test::scratch_folder scratch_;
  std::wstring installFolder_ = (scratch_.path() / L"Program Files" / L"Gradivo 7").wstring();
  std::wstring menuFolder_ = (scratch_.path() / L"Start Menu" / L"Gradivo 7").wstring();
  std::wstring dsetupLog_ = (scratch_.path() / L"dsetup.log").wstring();
  std::wstring productLog_ = (scratch_.path() / L"product.log").wstring();
  PreviousInstallState state_ = PreviousInstallState::None;
  std::pair<std::wstring, std::wstring> folders_;
  std::wstring log_;
};

TEST_F(LaterRuns, ReinstallationKeepsTheUsersFilesAndRunsDirectXAgain) {
  ASSERT_TRUE(Run());
  // The user changes a parts library that the installation placed.
  const std::wstring library = FirstPlacedFile(3);
  ASSERT_FALSE(library.empty());
  std::ofstream(std::filesystem::path(library), std::ios::binary) << "the user's own parts";

  ASSERT_TRUE(Run());
  EXPECT_EQ(state_, PreviousInstallState::SameVersion);
  EXPECT_EQ(folders_.first, installFolder_) << "the earlier installation's folders are proposed again";
  EXPECT_EQ(folders_.second, menuFolder_);
  EXPECT_EQ(Content(library), "the user's own parts");
  EXPECT_EQ(Lines(dsetupLog_), 2) << "a reinstallation runs the DirectX update again";
  EXPECT_EQ(Lines(productLog_), 4) << "two registration runs, two lines each";
  EXPECT_EQ(Content(productLog_).find("/update="), std::string::npos);

  // The new record: the user's library once (carried over), one DirectX entry, one Uninstall key.
  InstallationRecord second(L"Gradivo 7.17a", L"Gradivo 7");
  second.Read(installFolder_ + L"\\Uninstall.ulog");
  int libraryEntries = 0, directX = 0, keys = 0;
  for (const RecordEntry& entry : second.previousEntries()) {
    if (entry.text == library) ++libraryEntries;
    if (entry.kind == RecordEntryKind::DirectXRuntime) ++directX;
    if (entry.kind == RecordEntryKind::UninstallKey) ++keys;
  }
  EXPECT_EQ(libraryEntries, 1);
  EXPECT_EQ(directX, 1);
  EXPECT_EQ(keys, 1);
}

TEST_F(LaterRuns, UpdateLeavesSharedContentAloneAndPassesThePreviousVersion) {
  ASSERT_TRUE(Run());
  // A texture the user deleted since: an update does not bring it back.
  const std::wstring texture = FirstPlacedFile(4);
  ASSERT_FALSE(texture.empty());
  DeleteFileW(texture.c_str());

  ASSERT_TRUE(Run(0x0007001000020000ull));
  EXPECT_FALSE(PathFileExistsW(texture.c_str()));
  EXPECT_EQ(log_.find(std::filesystem::path(texture).filename().wstring()), std::wstring::npos)
      << "no log line for a skipped texture";
  EXPECT_NE(Content(productLog_).find("/Register /Background /update=0007001000020000"), std::string::npos);
  EXPECT_EQ(Lines(dsetupLog_), 1) << "the earlier installation's DirectX update counts";
  const std::vector<std::wstring> lines = [&] {
    std::vector<std::wstring> result;
    const std::string bytes = Content(installFolder_ + L"\\Uninstall.ulog");
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    for (std::size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
      result.push_back(text.substr(start, end - start));
    return result;
  }();
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[2], L"// Install Gradivo 7.17a -- Update (Gradivo 7.17a)");
}

}  // namespace
