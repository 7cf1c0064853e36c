#pragma once
// The setup program from start to end: one instance only, the base game found through its App Paths
// entry, the please-wait dialog, the files of the add-on's categories collected into the install job, the
// free-space test, the copy on the job's worker while the main thread pumps messages, and the outcome in a
// message box. Every path returns 0.

#include <windows.h>

#include <cstdint>
#include <string>

class CInstallJob;

int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// The folder to make current for the program's own folder: a drive's root keeps its '\\' ("G:\\"), since
// a bare "G:" means the folder last current on that drive.
std::string GetProgramFolderAsCurrentDirectory(const std::string& moduleDirectory);

// Whether the executable registered for the base game exists. The entry's default value is read as the
// shell reads a command (environment strings expanded, quotes and arguments taken off); each name it may
// mean is tested as it stands when absolute, else joined to the entry's folder. A folder does not count.
bool BaseGameExecutableExists(const std::string& folder, const std::string& executable);

// Adds every file of the categories to install, in the order of copying, and returns the required size.
// Categories 1 and 0 always; 2 and 3 when their patch pack lies below the base game's folder. The category
// folders are relative to the current directory (the disc).
uint64_t CollectInstallFiles(CInstallJob& job, const std::string& gameFolder);
