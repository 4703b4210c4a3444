#pragma once
// The installation record: every change an installation makes to the machine, in order, with the
// backups of what the changes replaced. It becomes the record file "Uninstall.ulog" that the
// product's uninstaller reads, and it undoes the changes when an installation fails.

#include <windows.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "record/record_entry.h"

class InstallationRecord {
 public:
  // productText is the product's name and version as the Install line shows it ("Gradivo 7.17a"),
  // productKeyName the name of its Uninstall key and folders ("Gradivo 7").
  InstallationRecord(std::wstring productText, std::wstring productKeyName);
  // The record of the product this program installs.
  InstallationRecord();
  InstallationRecord(const InstallationRecord&) = delete;
  InstallationRecord& operator=(const InstallationRecord&) = delete;

  // Every Add operation opens a new entry (not yet succeeded) that the caller closes with
  // CloseEntry once the change is made. AddFile and AddShortcut first record the folders they
  // create.

  // A file about to be placed at path, tag its payload kind. An existing file there is moved aside
  // (copyBackup false: the caller writes the new one in its place) or copied (copyBackup true).
  void AddFile(const std::wstring& path, int tag, bool copyBackup);
  // A shortcut about to be made in folder: which 0 the product's, 1 the uninstaller's, any other
  // value the desktop one. The previous installation's shortcut of the same kind is moved aside.
  void AddShortcut(int which, const std::wstring& folder);
  // The product's Uninstall key, about to be written. key is the open key when it existed before
  // this run: a snapshot of it is saved to a temporary file so that a rollback can restore it.
  // Without one, a rollback deletes the key.
  void AddUninstallKey(HKEY key);
  void AddFileAssociations();
  void AddDirectXRuntime();
  // Closes the open entry with its outcome and, when given, its text; does nothing without one.
  void CloseEntry(bool succeeded, const std::optional<std::wstring>& text = std::nullopt);
  // Creates the missing folders of path, outermost first, recording each one created; stops at the
  // first that cannot be created. Does not open an entry.
  void CreateFolders(const std::wstring& path);

  // Merges the previous installation's entries that this run did not supersede in front of this
  // run's, writes the record file (replacing a read-only one) and deletes every backup, whether or
  // not the file could be written. True when the file was created and every line written.
  bool Write(const std::wstring& recordFile, const std::wstring& installFolder, const std::wstring& startMenuFolder);

  // Undoes every change of this run, newest first: placed files deleted and the replaced ones put
  // back with their attributes, created folders removed when empty, the Uninstall key restored
  // or deleted. Failures are ignored. The entries are gone afterwards; the previous installation's
  // entries and its record file stay.
  void Rollback();

  // Reads a previous installation's record file (none: only forgets the previous folders). Never
  // fails; reading stops at the first line it cannot take.
  void Read(const std::optional<std::wstring>& recordFile);
  // The previous installation placed exactly this path (letter case counts) successfully.
  bool WasFileInstalled(const std::wstring& path) const;
  // The previous installation updated the DirectX runtime successfully.
  bool HasDirectXRuntime() const;

  const std::deque<RecordEntry>& entries() const noexcept { return entries_; }
  const std::deque<RecordEntry>& previousEntries() const noexcept { return previousEntries_; }
  bool entryOpen() const noexcept { return entryOpen_; }

  // The previous installation's folders (only when they still exist) and product text.
  std::wstring previousInstallPath;
  std::wstring previousShortcutPath;
  std::wstring previousProduct;

 private:
  RecordEntry& Append(RecordEntryKind kind, int tag = -1);
  void MergePreviousEntries();
  bool WriteFile(const std::wstring& recordFile, const std::wstring& installFolder, const std::wstring& startMenuFolder);
  void DeleteBackups();
  void RollbackUninstallKey(const RecordEntry& entry);

  std::wstring productText_;
  std::wstring productKeyName_;
  std::deque<RecordEntry> previousEntries_;
  std::deque<RecordEntry> entries_;  // oldest first; the newest is the open one while entryOpen_
  bool entryOpen_ = false;
};
