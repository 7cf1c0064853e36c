#pragma once
// Registration of an installed program with the system: its App Paths entry (the key of name + ".exe",
// default value the executable's full path, "Path" its folder; the form the base-game lookup reads) and
// its entry in the list of uninstallable programs ("DisplayName", "UninstallString"). Writers (the
// install job's RegisterAppPath and RegisterUninstall) use the local-machine root when this user may
// write there, else the current user's, through this program's own registry view; the removers here try
// both roots in both views (a 32-bit program on 64-bit Windows sees a redirected Uninstall list, so what a
// build of the other width wrote is elsewhere) and ignore every failure.

#include <windows.h>

#include <string>
#include <vector>

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

// One root in one registry view (KEY_WOW64_64KEY or KEY_WOW64_32KEY).
struct RegistrationPlace {
  HKEY root;
  REGSAM view;
};

// The roots and views whose App Paths entry of the name has a "Path" naming `folder`: the same folder
// once both are made canonical, compared case-blind (a drive named bare, "C:", counts as its root).
// Empty for an empty name or folder.
std::vector<RegistrationPlace> FindRegistrationsOf(const std::string& name, const std::string& folder);
// True when any root in any view holds an App Paths entry of the name.
bool IsRegisteredAnywhere(const std::string& name);
// Removes the name's App Paths and Uninstall entries at that one place.
void UnregisterAt(const std::string& name, const RegistrationPlace& place);

// The folder to register as "Path" for a program in `folder`: a bare drive ("C:", which the system
// reads as that drive's current folder) becomes its root ("C:\\").
std::string RegisteredFolderOf(const std::string& folder);

// Remove the name's entry under both roots in both views (the entry's values, then its key, where it
// has no subkeys).
// Always true. An empty name removes nothing (its Uninstall key would be the list of every program).
bool UnregisterAppPath(const std::string& name);
bool UnregisterUninstall(const std::string& name);
