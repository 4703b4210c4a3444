#pragma once
// Temporary copies of what an installation replaces.

#include <string>

// Moves (copy false) or copies (copy true) source aside to a new "kv" temporary file in the user's
// temporary folder, keeping its attributes, and returns the backup's full path; empty when that
// fails (a failed move leaves the source in place with its attributes). Without a source, returns a
// fresh unique name with no file behind it, for a registry snapshot.
std::wstring MakeBackup(const std::wstring& source = {}, bool copy = false);
