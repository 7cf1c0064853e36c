#pragma once
// Finds the base game's installation through its App Paths entry
// ("Software\Microsoft\Windows\CurrentVersion\App Paths\<name>.exe"), under the local-machine root
// first and then under the current user's.

#include <string>

namespace setup {

// True when one root holds both the entry's default value (the executable, into outExecutable) and its
// "Path" value (the installation folder, into outFolder). On false both out strings are left as they
// were.
bool FindBaseGameInstall(const std::string& name, std::string& outFolder, std::string& outExecutable);

}  // namespace setup
