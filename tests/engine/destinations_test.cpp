#include <gtest/gtest.h>

#include <shlobj.h>

#include <system_error>

#include "engine/destinations.h"
#include "engine/payload_archive.h"

namespace {

std::wstring Shell(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
  return path;
}

DestinationFolders Folders(const std::wstring& sample = L"Gradivo Examples") {
  return DestinationFolders{L"C:\\Apps\\Gradivo 7", sample, L"C:\\Temp\\veltram_{x}", {}};
}

std::vector<std::wstring> SharedPaths(const DestinationFolders& folders) {
  std::vector<std::wstring> paths;
  for (const SharedFolder& shared : folders.sharedFolders) paths.push_back(shared.path);
  return paths;
}

int FailureValue(const std::wstring& destination, DestinationFolders folders) {
  try {
    ResolveDestination(destination, folders);
  } catch (const std::system_error& error) {
    EXPECT_EQ(&error.code().category(), &compress_category());
    return error.code().value();
  }
  return 0;
}

TEST(ResolveDestination, MacrosResolveToTheirBaseFolders) {
  const std::wstring commonData = Shell(CSIDL_COMMON_APPDATA);
  const struct {
    const wchar_t* destination;
    std::wstring expected;
  } cases[] = {
      {L"<InstallPath>", L"C:\\Apps\\Gradivo 7"},
      {L"<InstallPath>\\Lang", L"C:\\Apps\\Gradivo 7\\Lang"},
      {L"<InstallPath>/Lang/", L"C:\\Apps\\Gradivo 7\\Lang"},
      {L"<Temporary>", L"C:\\Temp\\veltram_{x}"},
      {L"<UserData>\\Veltram & Ruziruzu", Shell(CSIDL_APPDATA) + L"\\Veltram & Ruziruzu"},
      {L"<WinDir>", Shell(CSIDL_WINDOWS)},
      {L"<System>\\drivers", Shell(CSIDL_SYSTEM) + L"\\drivers"},
      {L"<Documents>", Shell(CSIDL_PERSONAL)},
      {L"<ProgramFiles>\\Veltram & Ruziruzu", Shell(CSIDL_PROGRAM_FILESX86) + L"\\Veltram & Ruziruzu"},
      {L"D:\\Absolute\\Folder", L"D:\\Absolute\\Folder"},
  };
  for (const auto& c : cases) {
    DestinationFolders folders = Folders();
    EXPECT_EQ(ResolveDestination(c.destination, folders), c.expected) << std::wstring(c.destination).size();
    EXPECT_TRUE(folders.sharedFolders.empty());
  }
  DestinationFolders noTemporary = Folders();
  noTemporary.temporaryFolder.clear();
  EXPECT_EQ(ResolveDestination(L"<Temporary>", noTemporary), L"C:\\Apps\\Gradivo 7");
}

TEST(ResolveDestination, SharedBasesRegisterEveryFolderBelowThemOnce) {
  const std::wstring base = Shell(CSIDL_COMMON_APPDATA);
  DestinationFolders folders = Folders();
  EXPECT_EQ(ResolveDestination(L"<CommonData>\\Veltram & Ruziruzu\\Textures\\Gradivo", folders),
            base + L"\\Veltram & Ruziruzu\\Textures\\Gradivo");
  ResolveDestination(L"<CommonData>\\Veltram & Ruziruzu\\Textures\\Gradivo", folders);
  ResolveDestination(L"<CommonData>\\Veltram & Ruziruzu\\Gradivo", folders);
  const std::vector<std::wstring> expected = {
      base + L"\\Veltram & Ruziruzu", base + L"\\Veltram & Ruziruzu\\Textures",
      base + L"\\Veltram & Ruziruzu\\Textures\\Gradivo", base + L"\\Veltram & Ruziruzu\\Gradivo"};
  EXPECT_EQ(SharedPaths(folders), expected);
  for (const SharedFolder& shared : folders.sharedFolders) EXPECT_FALSE(shared.granted);
}

TEST(ResolveDestination, SampleFolderRules) {
  const std::wstring desktop = Shell(CSIDL_COMMON_DESKTOPDIRECTORY);
  DestinationFolders relative = Folders(L"Gradivo Examples");
  EXPECT_EQ(ResolveDestination(L"<SamplePath>", relative), desktop + L"\\Gradivo Examples");
  EXPECT_EQ(ResolveDestination(L"<SamplePath>\\Bridges", relative), desktop + L"\\Gradivo Examples\\Bridges");
  EXPECT_EQ(SharedPaths(relative), std::vector<std::wstring>{desktop + L"\\Gradivo Examples"});

  DestinationFolders absolute = Folders(L"E:\\Samples");
  EXPECT_EQ(ResolveDestination(L"<SamplePath>", absolute), L"E:\\Samples");
  EXPECT_TRUE(absolute.sharedFolders.empty());

  DestinationFolders none = Folders(L"");
  EXPECT_EQ(ResolveDestination(L"<SamplePath>", none), desktop);
  EXPECT_TRUE(none.sharedFolders.empty());
}

TEST(ResolveDestination, RejectsWhatWouldLeaveTheDestinations) {
  const int unexpected = static_cast<int>(compress_error::unexpected);
  for (const wchar_t* destination : {
           L"<commondata>\\Veltram & Ruziruzu",  // letter case matters: not a known macro
           L"<Nowhere>\\Folder",
           L"relative\\folder",                  // would be relative to the current folder
           L"<InstallPath>\\..\\..\\Windows",
           L"C:\\Apps\\..\\Windows",
       }) {
    EXPECT_EQ(FailureValue(destination, Folders()), unexpected) << std::wstring(destination).size();
  }
  EXPECT_EQ(FailureValue(L"<SamplePath>", Folders(L"..\\..\\Windows")), unexpected);
}

TEST(SharedFolderList, SameFolderOnDiskIsAddedOnce) {
  std::vector<SharedFolder> list;
  AddSharedFolder(list, L"C:\\windows");
  AddSharedFolder(list, L"C:\\Windows");   // the same folder on disk
  AddSharedFolder(list, L"C:\\WINDOWS\\"); // the same folder, by its elements
  AddSharedFolder(list, L"C:\\windows\\system32");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].path, L"C:\\windows");
  EXPECT_EQ(list[1].path, L"C:\\windows\\system32");
}

}  // namespace
