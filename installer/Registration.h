#pragma once
// Registration of an installed program with the system: its App Paths entry (the key of name + ".exe",
// default value the executable's full path, "Path" its folder; the form the base-game lookup reads) and
// its entry in the list of uninstallable programs ("DisplayName", "UninstallString"). Writers (the
// install job's RegisterAppPath and RegisterUninstall) use the local-machine root when this user may
// write there, else the current user's; the removers here try both roots and ignore every failure.

#include <windows.h>

#include <string>

std::string GetAppPathsKey(const std::string& name);
std::string GetUninstallKey(const std::string& name);

// The root a registration is written under: the local machine's when it opens with full access, else the
// current user's.
HKEY GetRegistrationRoot();

// Starts the program of the name's App Paths entry (its default value as the command line, in its "Path"
// folder) without waiting for it. The roots are tried as the base-game lookup tries them: the local
// machine's, then the current user's; a root whose entry cannot be read or whose program does not start
// is passed over. True when a program was started.
bool RunRegisteredProgram(const std::string& name);

// Remove the name's entry under both roots (the entry's values, then its key, where it has no subkeys).
// Always true. An empty name removes nothing (its Uninstall key would be the list of every program).
bool UnregisterAppPath(const std::string& name);
bool UnregisterUninstall(const std::string& name);
