#pragma once
// Finds the base game's installation through its App Paths entry
// ("Software\Microsoft\Windows\CurrentVersion\App Paths\<name>.exe"), under the local-machine root
// first and then under the current user's; under each root in this program's own registry view first
// and then in the other one (32-bit or 64-bit), so that a game registered by an installer of either
// kind is found.

#include <string>

namespace setup {

// True when one root holds both the entry's default value (the executable, into outExecutable) and its
// "Path" value (the installation folder, into outFolder). On false both out strings are left as they
// were.
bool FindBaseGameInstall(const std::string& name, std::string& outFolder, std::string& outExecutable);

namespace lookup_internal {

// FindBaseGameInstall for any key below the two roots (the tests use keys that the system keeps apart
// per view, which App Paths may not be).
bool FindRegisteredInstall(const std::string& key, std::string& outFolder, std::string& outExecutable);

}  // namespace lookup_internal

}  // namespace setup
