#include "setup/BaseGameLookup.h"

#include <windows.h>

#include "foundation/Registry.h"

namespace setup {

namespace {

// A 32-bit program on 64-bit Windows sees the 32-bit view of the machine's software keys unless it asks
// for the other one; a 64-bit program sees the 64-bit view. The base game's installer may have been
// either, so both views are read: this program's own first (asked for without a flag, as on systems
// that know no views), then the other.
constexpr REGSAM kOtherRegistryView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

}  // namespace

namespace lookup_internal {

bool FindRegisteredInstall(const std::string& key, std::string& outFolder, std::string& outExecutable) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (REGSAM view : {static_cast<REGSAM>(0), kOtherRegistryView}) {
      CRegistry registry(root);
      // Full access although only reads follow: a user who may not open the machine-wide entry that
      // way falls through to the current user's.
      if (!registry.Open(key, kRegistryFullAccess | view)) continue;
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
  }
  return false;
}

}  // namespace lookup_internal

bool FindBaseGameInstall(const std::string& name, std::string& outFolder, std::string& outExecutable) {
  return lookup_internal::FindRegisteredInstall(
      "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + ".exe", outFolder, outExecutable);
}

}  // namespace setup
