#pragma once
// Helpers of the installer tests: product names of their own, whose App Paths and Uninstall entries are
// removed from both roots when the test ends, and reading those entries back without CRegistry.

#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace installer_testing {

// The registry view of the other build's width: what a 32-bit program on 64-bit Windows reaches with
// KEY_WOW64_64KEY, or a 64-bit one with KEY_WOW64_32KEY. 0 names this program's own view.
REGSAM OtherView();

// A product name no one else uses ("AddonTestApp-<pid>-<n>" plus `suffix`); its App Paths and Uninstall
// entries under both roots, in both views, are deleted on construction and destruction.
class TestProduct {
 public:
  explicit TestProduct(const std::string& suffix = "");
  ~TestProduct();
  TestProduct(const TestProduct&) = delete;
  TestProduct& operator=(const TestProduct&) = delete;

  const std::string& Name() const { return name_; }
  std::string AppPathsKey() const;
  std::string UninstallKey() const;

 private:
  void Clean() const;
  std::string name_;
};

bool KeyExists(HKEY root, const std::string& key, REGSAM view = 0);
// The string value, or "<missing>" when the key or the value is not there.
std::string ReadValue(HKEY root, const std::string& key, const std::string& name);
// Creates the key (or opens it) and sets the string values given as name, value pairs.
bool WriteValues(HKEY root, const std::string& key, std::initializer_list<std::pair<const char*, std::string>> values,
                 REGSAM view = 0);

}  // namespace installer_testing
