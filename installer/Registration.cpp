#include "installer/Registration.h"

#include "foundation/Folders.h"
#include "foundation/Process.h"
#include "foundation/Registry.h"

namespace {

const HKEY kRootsInLookupOrder[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

void RemoveEntry(const std::string& key, const char* firstValue, const char* secondValue) {
  for (HKEY root : kRootsInLookupOrder) {
    CRegistry registry(root);
    if (registry.Open(key, kRegistryFullAccess)) {
      registry.DeleteValue(firstValue);
      registry.DeleteValue(secondValue);
      registry.Close();
    }
    registry.DeleteKey(key);
  }
}

}  // namespace

std::string GetAppPathsKey(const std::string& name) {
  return "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + ".exe";
}

std::string GetUninstallKey(const std::string& name) {
  return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
}

HKEY GetRegistrationRoot() { return CanWriteLocalMachine() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

bool RunRegisteredProgram(const std::string& name) {
  const std::string key = GetAppPathsKey(name);
  for (HKEY root : kRootsInLookupOrder) {
    CRegistry registry(root);
    if (!registry.Open(key, kRegistryFullAccess)) continue;
    std::string commandLine, folder;
    const bool read = registry.ReadString("", commandLine) && registry.ReadString("Path", folder);
    registry.Close();
    if (read && RunProcess(commandLine, false, folder)) return true;
  }
  return false;
}

bool UnregisterAppPath(const std::string& name) {
  if (!name.empty()) RemoveEntry(GetAppPathsKey(name), "path", "");
  return true;
}

bool UnregisterUninstall(const std::string& name) {
  if (!name.empty()) RemoveEntry(GetUninstallKey(name), "DisplayName", "UninstallString");
  return true;
}
