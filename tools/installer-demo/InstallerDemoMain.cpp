// installer_demo.exe: installs a folder of game files the way an installer built on this framework would,
// with every installer helper: the copy by the install job, the App Paths entry, the Uninstall entry
// (its command runs uninstall.exe on the uninstall information file), a desktop shortcut and a programs
// menu shortcut in a folder of its own, and the uninstall information file listing all of it.
//
//   installer_demo.exe SOURCE DESTINATION
//
// SOURCE holds the game's files, uninstall.exe among them; the game's executable is Sorvane.exe. Prints
// what it made, one line each. Exit code 0 when everything was made, 1 when something failed (the line
// says which), 2 for bad usage.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "foundation/FileFinder.h"
#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "installer/Shortcuts.h"
#include "setup/InstallJob.h"

namespace {

const char* const kTitle = "SorvaneDemo";
const char* const kDisplayName = "Sorvane～Quellith～ デモ";
const char* const kExecutable = "Sorvane.exe";
const char* const kUninstaller = "uninstall.exe";
const char* const kInfoFile = "uninstall.dat";
const char* const kMenuFolder = "Sorvane Demo";
const char* const kMenuShortcut = "Sorvane Demo\\Sorvane";
const char* const kDesktopShortcut = "Sorvane Demo";

int failures = 0;

void Report(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "made  " : "FAILED", what.c_str());
  if (!ok) ++failures;
}

}  // namespace

int main() {
  std::vector<std::string> arguments = SplitCommandLine(GetCommandLineA());
  if (arguments.size() != 3) {
    std::fprintf(stderr, "usage: installer_demo.exe SOURCE DESTINATION\n");
    return 2;
  }
  const std::string source = GetFullPath(arguments[1]);
  const std::string destination = GetFullPath(arguments[2]);

  CLocalInstallJob job;
  job.SetTitle(kTitle);
  job.SetCategoryFolder(source, 0);
  job.SetDestination(destination);
  CFileList files;
  files.ListFiles(source, "*.*", true);
  uint64_t bytes = 1;
  std::set<std::string> folders;  // relative, every level
  for (size_t i = 0; i < files.GetCount(); ++i) {
    const std::string relative = GetRelativePath(files.GetAt(i), source);
    job.AddFile(relative, 0);
    // Where the job puts it (a folder named voice becomes voice2), relative to the destination.
    const std::string installed = GetRelativePath(job.MakeDestinationPath(relative), destination);
    job.AddUninstallFile(installed);
    for (std::string folder = GetParentDirectory(installed); folder != installed && !folder.empty();) {
      folders.insert(folder);
      const std::string parent = GetParentDirectory(folder);
      if (parent == folder) break;
      folder = parent;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(files.GetAt(i).c_str(), GetFileExInfoStandard, &data)) {
      bytes += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
  }
  // Deepest folders first, so that each is empty when its turn comes.
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) job.AddUninstallDirectory(*it);
  job.SetRequiredSize(bytes);

  if (!job.StartInstall()) {
    Report(false, "the copy: no worker thread");
    return 1;
  }
  while (!job.IsFinished() && !job.IsCancelled()) Sleep(50);
  job.Stop();
  Report(job.IsFinished() && !job.IsCancelled(),
         FormatString("%d files copied into %s", static_cast<int>(files.GetCount()), destination.c_str()));

  Report(job.RegisterAppPath(kExecutable), std::string("App Paths entry of ") + kTitle + ".exe");
  const std::string uninstallCommand =
      "\"" + destination + "\\" + kUninstaller + "\" \"" + destination + "\\" + kInfoFile + "\"";
  Report(job.RegisterUninstall(uninstallCommand, kDisplayName), std::string("Uninstall entry of ") + kTitle);

  const std::string target = destination + "\\" + kExecutable;
  Report(CreateDesktopShortcut(target, kDesktopShortcut),
         "desktop shortcut " + GetDesktopShortcutPath(kDesktopShortcut));
  job.AddUninstallDesktopShortcut(kDesktopShortcut);
  Report(CreateProgramsShortcut(target, kMenuShortcut), "programs shortcut " + GetProgramsShortcutPath(kMenuShortcut));
  job.AddUninstallProgramsShortcut(kMenuShortcut);
  job.AddUninstallProgramsFolder(kMenuFolder);

  Report(job.WriteUninstallInfo(kInfoFile), "uninstall information " + destination + "\\" + kInfoFile);
  return failures == 0 ? 0 : 1;
}
