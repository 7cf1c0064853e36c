#include "setup/BaseGameLookup.h"

#include <windows.h>

#include "foundation/Registry.h"

namespace setup {

bool FindBaseGameInstall(const std::string& name, std::string& outFolder, std::string& outExecutable) {
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + ".exe";
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    CRegistry registry(root);
    // Full access although only reads follow: a user who may not open the machine-wide entry that way
    // falls through to the current user's.
    if (!registry.Open(key, kRegistryFullAccess)) continue;
    std::string executable;
    std::string folder;
    if (!registry.ReadString("", executable) || !registry.ReadString("Path", folder)) {
      registry.Close();
      continue;
    }
    registry.Close();
    outFolder = folder;
    outExecutable = executable;
    return true;
  }
  return false;
}

}  // namespace setup
