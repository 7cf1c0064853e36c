#include "foundation/Registry.h"

#include <limits>
#include <vector>

CRegistry::CRegistry(HKEY root) : root_(root) {}

CRegistry::~CRegistry() { Close(); }

bool CRegistry::Open(const std::string& subkey, REGSAM access) {
  Close();
  HKEY key = nullptr;
  if (RegOpenKeyExA(root_, subkey.c_str(), 0, access, &key) != ERROR_SUCCESS) {
    Close();
    return false;
  }
  key_ = key;
  path_ = subkey;
  return true;
}

bool CRegistry::CreateKey(const std::string& subkey) {
  Close();
  HKEY key = nullptr;
  DWORD disposition = 0;
  char emptyClass[] = "";
  if (RegCreateKeyExA(root_, subkey.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE, kRegistryFullAccess, nullptr, &key,
                      &disposition) != ERROR_SUCCESS) {
    Close();
    return false;
  }
  key_ = key;
  path_ = subkey;
  return true;
}

bool CRegistry::Close() {
  bool closed = true;
  if (key_) {
    closed = RegCloseKey(key_) == ERROR_SUCCESS;
    key_ = nullptr;
  }
  path_.clear();
  return closed;
}

DWORD CRegistry::QueryValueType(const std::string& name, DWORD& outSize) {
  outSize = 0;
  if (!key_) return 0;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return 0;
  outSize = size;
  return type;
}

bool CRegistry::ReadString(const std::string& name, std::string& outText) {
  outText.clear();
  if (!key_) return false;
  DWORD size = 0;
  QueryValueType(name, size);
  if (size == 0) return false;
  std::vector<char> data(size);
  DWORD type = 0;
  if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  // The call may report fewer bytes than it first asked for; never more than the buffer.
  if (size > data.size()) size = static_cast<DWORD>(data.size());
  size_t length = 0;
  while (length < size && data[length] != '\0') ++length;
  outText.assign(data.data(), length);
  return true;
}

bool CRegistry::ReadDword(const std::string& name, DWORD& outValue) {
  outValue = 0;
  if (!key_) return false;
  DWORD size = 0;
  QueryValueType(name, size);
  if (size != sizeof(DWORD)) return false;
  DWORD value = 0;
  DWORD type = 0;
  if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      size != sizeof(DWORD)) {
    return false;
  }
  outValue = value;
  return true;
}

bool CRegistry::ReadBinary(const std::string& name, void* buffer, DWORD capacity) {
  if (!key_ || !buffer) return false;
  DWORD size = 0;
  QueryValueType(name, size);
  if (size == 0 || size > capacity) return false;
  DWORD type = 0;
  return RegQueryValueExA(key_, name.c_str(), nullptr, &type, static_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
}

bool CRegistry::WriteString(const std::string& name, const std::string& text) {
  if (!key_ || text.size() > std::numeric_limits<DWORD>::max()) return false;
  return RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                        static_cast<DWORD>(text.size())) == ERROR_SUCCESS;
}

bool CRegistry::WriteDword(const std::string& name, DWORD value) {
  if (!key_) return false;
  return RegSetValueExA(key_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
         ERROR_SUCCESS;
}

bool CRegistry::WriteBinary(const std::string& name, const void* data, DWORD size) {
  if (!key_ || (!data && size != 0)) return false;
  return RegSetValueExA(key_, name.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool CRegistry::DeleteValue(const std::string& name) {
  if (!key_) return false;
  return RegDeleteValueA(key_, name.c_str()) == ERROR_SUCCESS;
}

bool CRegistry::DeleteKey(const std::string& subkey) {
  // An empty name would be the root itself, which is never ours to delete.
  if (subkey.empty()) return false;
  if (key_ && subkey == path_) Close();
  {
    CRegistry probe(root_);
    if (!probe.Open(subkey, kRegistryFullAccess)) return true;
  }
  return RegDeleteKeyA(root_, subkey.c_str()) == ERROR_SUCCESS;
}

bool CRegistry::EnumSubKey(DWORD index, std::string& outName) {
  outName.clear();
  if (!key_) return false;
  // A key name holds up to 255 characters, each of which may take two bytes in the code page.
  char name[2 * 255 + 2];
  DWORD length = sizeof name;
  FILETIME written;
  if (RegEnumKeyExA(key_, index, name, &length, nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS) return false;
  if (length >= sizeof name) return false;
  outName.assign(name, length);
  return true;
}
