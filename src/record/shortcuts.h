#pragma once
// Shell shortcuts (".lnk" files) that start the product and its uninstaller.

#include <optional>
#include <string>

// Saves "<folder>\<name>.lnk" starting target, with the target's folder as working folder and
// nothing else set. Without a name, the target's file name without extension is used. On success
// returns true and, when shortcutPath is given, stores the file's path there; on failure leaves it
// unchanged.
bool CreateShortcut(const std::wstring& target, const std::wstring& folder, const std::optional<std::wstring>& name,
                    std::wstring* shortcutPath);

// The all-users desktop folder, or the user's own when that cannot be determined; neither is
// created. Empty when neither is known.
std::wstring DesktopFolder();
