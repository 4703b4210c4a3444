#pragma once
// Finding the record file of an earlier installation.

#include <string>

// The first of three candidates that exists: "Uninstall.ulog" beside the uninstaller registered in
// the product's Uninstall key ("UninstallString", used as stored), beside this program, and beside
// the installed product's executable (installedProductPath, empty when none). Empty when none
// exists.
std::wstring FindPreviousRecord(const std::wstring& productKeyName, const std::wstring& installedProductPath);

// "Uninstall.ulog" in the folder of a full path (its last component removed); empty for an empty
// path.
std::wstring RecordFileBeside(const std::wstring& path);
