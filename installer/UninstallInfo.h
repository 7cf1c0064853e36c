#pragma once
// The uninstall information file and the uninstall it drives.
//
// The file (written by CInstallJob::WriteUninstallInfo, appended to by every installation that shares
// it) is text in the system code page with CR LF line ends, one section per installation:
//   #AppName,<name>
//   #UninstallFile
//   <one path per line: files to delete>
//   ##
//   #UninstallDirectory
//   <one path per line: folders to remove where empty>
//   ##
// A path is absolute, or relative to the installation folder that the name's App Paths entry gives.

#include <string>
#include <vector>

// What an uninstall could not take away: the files whose deletion failed and the folders that stayed
// (still holding something, or gone already), in the order they were tried.
struct UninstallLeftovers {
  std::vector<std::string> files;
  std::vector<std::string> folders;
};

// Reads the whole file first. When every list it holds is closed, for each section: deletes the listed
// files and removes the listed folders that are empty (failures are passed over); then removes the App
// Paths and Uninstall entries of every complete section's name, deletes the information file and removes
// each installation folder that is empty. A section whose header is missing ends the reading there.
// Relative paths are used only below a section's own installation folder: when its name has no App Paths
// entry they are skipped, as are relative paths that climb out with "..".
// Returns 1 when done, 0 when the file could not be read, -1 when a list runs to the end of the file
// without its "##" (nothing is then deleted or unregistered). `leftovers`, when given, receives what
// stayed.
int RunUninstall(const std::string& infoFile, UninstallLeftovers* leftovers = nullptr);
