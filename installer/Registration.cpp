#include "installer/Registration.h"

#include <cstring>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/Process.h"
#include "foundation/Registry.h"
#include "installer/CanonicalPath.h"
#include "installer/UninstallPaths.h"

namespace {

const HKEY kRootsInLookupOrder[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// RegDeleteKeyExA names the view; systems without it have one view only.
LONG DeleteKeyIn(HKEY root, const std::string& key, REGSAM view) {
  using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
  static const DeleteKeyEx deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  return deleteKeyEx ? deleteKeyEx(root, key.c_str(), view, 0) : RegDeleteKeyA(root, key.c_str());
}

void RemoveEntryAt(HKEY root, REGSAM view, const std::string& key, const char* firstValue, const char* secondValue) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, kRegistryFullAccess | view, &opened) == ERROR_SUCCESS) {
    RegDeleteValueA(opened, firstValue);
    RegDeleteValueA(opened, secondValue);
    RegCloseKey(opened);
  }
  DeleteKeyIn(root, key, view);  // fails while it has subkeys: they are not ours
}

void RemoveEntry(const std::string& key, const char* firstValue, const char* secondValue) {
  for (HKEY root : kRootsInLookupOrder) {
    for (REGSAM view : kViews) RemoveEntryAt(root, view, key, firstValue, secondValue);
  }
}

// The string value of a key at one place; false when the key or the value is missing or not a string.
bool ReadStringAt(HKEY root, REGSAM view, const std::string& key, const char* name, std::string& outText) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return false;
  bool read = false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(opened, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size < 65536) {
    std::vector<char> data(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) == ERROR_SUCCESS &&
        got <= size) {
      outText.assign(data.data(), strnlen(data.data(), got));
      read = true;
    }
  }
  RegCloseKey(opened);
  return read;
}

}  // namespace

std::vector<RegistrationPlace> FindRegistrationsOf(const std::string& name, const std::string& folder) {
  std::vector<RegistrationPlace> places;
  const std::string wanted = GetCanonicalPath(folder);
  if (name.empty() || wanted.empty()) return places;
  for (HKEY root : kRootsInLookupOrder) {
    for (REGSAM view : kViews) {
      std::string registered;
      if (!ReadStringAt(root, view, GetAppPathsKey(name), "Path", registered)) continue;
      const std::string canonical = GetCanonicalPath(registered);
      if (!canonical.empty() && FoldPathCase(canonical) == FoldPathCase(wanted)) places.push_back({root, view});
    }
  }
  return places;
}

bool IsRegisteredAnywhere(const std::string& name) {
  if (name.empty()) return false;
  for (HKEY root : kRootsInLookupOrder) {
    for (REGSAM view : kViews) {
      HKEY opened = nullptr;
      if (RegOpenKeyExA(root, GetAppPathsKey(name).c_str(), 0, KEY_QUERY_VALUE | view, &opened) == ERROR_SUCCESS) {
        RegCloseKey(opened);
        return true;
      }
    }
  }
  return false;
}

void UnregisterAt(const std::string& name, const RegistrationPlace& place) {
  if (name.empty()) return;
  RemoveEntryAt(place.root, place.view, GetAppPathsKey(name), "path", "");
  RemoveEntryAt(place.root, place.view, GetUninstallKey(name), "DisplayName", "UninstallString");
}

std::string RegisteredFolderOf(const std::string& folder) {
  return folder.size() == 2 && IsDriveRoot(folder) ? folder + "\\" : folder;
}

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
    if (read && RunProcess(commandLine, false, RegisteredFolderOf(folder))) return true;
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
