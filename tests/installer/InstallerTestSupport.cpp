#include "tests/installer/InstallerTestSupport.h"

#include <atomic>

#include "tests/support/TestSupport.h"

namespace installer_testing {

namespace {
const std::string kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The leaf key in the given view (the entries of the tests have no subkeys).
void DeleteLeafKey(HKEY root, const std::string& key, REGSAM view) {
  using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
  static const DeleteKeyEx deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  if (deleteKeyEx) deleteKeyEx(root, key.c_str(), view, 0);
}

}  // namespace

REGSAM OtherView() { return sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

TestProduct::TestProduct(const std::string& suffix) {
  static std::atomic<unsigned> counter{0};
  name_ = "AddonTestApp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + suffix;
  Clean();
}

TestProduct::~TestProduct() { Clean(); }

std::string TestProduct::AppPathsKey() const { return kAppPaths + name_ + ".exe"; }
std::string TestProduct::UninstallKey() const { return kUninstall + name_; }

void TestProduct::Clean() const {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    testing_support::DeleteRegistryTree(root, AppPathsKey());
    testing_support::DeleteRegistryTree(root, UninstallKey());
    DeleteLeafKey(root, AppPathsKey(), OtherView());
    DeleteLeafKey(root, UninstallKey(), OtherView());
  }
}

bool KeyExists(HKEY root, const std::string& key, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

std::string ReadValue(HKEY root, const std::string& key, const std::string& name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return "<missing>";
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  const LONG result = RegQueryValueExA(opened, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(opened);
  if (result != ERROR_SUCCESS) return "<missing>";
  return std::string(data, strnlen(data, size));
}

bool WriteValues(HKEY root, const std::string& key, std::initializer_list<std::pair<const char*, std::string>> values,
                 REGSAM view) {
  HKEY created = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &created, nullptr) !=
      ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (const auto& value : values) {
    ok = ok && RegSetValueExA(created, value.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                              static_cast<DWORD>(value.second.size() + 1)) == ERROR_SUCCESS;
  }
  RegCloseKey(created);
  return ok;
}

}  // namespace installer_testing
