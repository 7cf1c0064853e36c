#pragma once
// The uninstall information file and the uninstall it drives.
//
// The file (written by CInstallJob::WriteUninstallInfo into the installation folder, appended to by
// every installation that shares it) is text in the system code page with CR LF line ends, one section
// per installation:
//   #AppName,<name>
//   #UninstallFile
//   <one path per line: files to delete>
//   ##
//   #UninstallDirectory
//   <one path per line: folders to remove where empty>
//   ##
// A path is relative to the installation folder, or absolute (the shortcuts and programs-menu folders
// the installer made).
//
// The file lies in a folder ordinary users can write to, and the uninstaller usually runs with
// administrator rights: nothing in it is trusted. The installation folder is the folder that holds the
// information file, and a section is carried out only when its name's App Paths entry ("Path") names
// that folder. An entry is used only in the plain forms of IsPlainFullPath / IsPlainRelativePath and only
// where, made canonical, it lies inside the installation folder, or is a shortcut (".lnk") or a folder
// inside the desktop or one of the two programs folders; nothing is deleted through a junction or a
// symbolic link below those folders.

#include <string>
#include <vector>

// What an uninstall left and why, in the order the entries were tried. Everything but `folders`,
// `deferred` and `unregistered` means the uninstall is incomplete.
struct UninstallLeftovers {
  std::vector<std::string> files;          // listed files that are still there: their deletion failed
  std::vector<std::string> failedFolders;  // empty or not, folders whose removal failed for another reason
  std::vector<std::string> refused;        // entries not touched: an unsafe form, outside, or through a link
  std::vector<std::string> foreign;        // names of sections registered to another folder (not touched)
  std::vector<std::string> folders;        // folders that stay because they still hold something
  std::vector<std::string> deferred;       // entries that are the caller's `deferredFile`, left to it
  std::vector<std::string> unregistered;   // names of sections with no App Paths entry at all (not touched)
  bool noSection = false;                  // a non-empty file without any section (RunUninstall gave -1)

  bool IsComplete() const { return files.empty() && failedFolders.empty() && refused.empty() && foreign.empty(); }
};

// Reads the whole file first (a leading UTF-8 byte-order mark is passed over). When every list it holds
// is closed: deletes the files of every section it carries out, then removes the listed folders that are
// empty (folders of an earlier section emptied by a later one go too), then, when nothing stayed that
// should have gone, removes the App Paths and Uninstall entries of those sections where they name this
// folder, deletes the information file and removes the installation folder if it is empty and not a
// drive's root. When something stayed, the information file and the registrations of the sections
// concerned are kept, so that the uninstall can be run again. A section whose header is missing ends the
// reading there.
// `deferredFile` (the running uninstaller's own file, which it cannot delete) is recognised by identity
// and left in place for the caller; it counts as removed.
// Returns 1 when it ran (see `leftovers`, IsComplete), 0 when the file could not be read, -1 when a list
// runs to the end of the file without its "##" or a non-empty file holds no section: nothing is then
// deleted or unregistered.
int RunUninstall(const std::string& infoFile, UninstallLeftovers* leftovers = nullptr,
                 const std::string& deferredFile = std::string());

// The attribute reader that the link check asks (GetFileAttributesA unless a test gives its own, which
// returns the attributes or 0xFFFFFFFF for a missing path). Null restores the system's.
using UninstallAttributeReader = unsigned long (*)(const char* path);
void SetUninstallAttributeReader(UninstallAttributeReader reader);
