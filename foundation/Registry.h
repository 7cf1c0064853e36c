#pragma once
// CRegistry: one open key of the system registry below a fixed root (HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, ...). Opens or creates the key, reads and writes string, 32-bit and binary values,
// deletes values and keys, and enumerates subkeys. Names and data are byte strings in the system code
// page. Failure is reported as false or 0; every read and write fails while no key is open, and a failed
// Open or CreateKey leaves the object closed.

#include <windows.h>

#include <string>

// KEY_ALL_ACCESS as the registry code of this program has always asked for it: STANDARD_RIGHTS_REQUIRED
// with every key right.
constexpr REGSAM kRegistryFullAccess = 0xF003F;

class CRegistry {
 public:
  explicit CRegistry(HKEY root);
  virtual ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // Closes what is open, then opens the subkey with the given access mask.
  bool Open(const std::string& subkey, REGSAM access);
  // Closes what is open, then creates or opens the subkey (non-volatile, full access).
  bool CreateKey(const std::string& subkey);
  // True if the key closed or nothing was open; the path is cleared either way.
  bool Close();

  // The value's type code and data size in bytes; 0 and 0 when there is no such value.
  DWORD QueryValueType(const std::string& name, DWORD& outSize);
  // The value's bytes up to its first NUL (the type is not checked).
  bool ReadString(const std::string& name, std::string& outText);
  // outValue is 0 unless the value holds exactly 4 bytes.
  bool ReadDword(const std::string& name, DWORD& outValue);
  // The value must have between 1 and capacity bytes.
  bool ReadBinary(const std::string& name, void* buffer, DWORD capacity);

  // A string value of the text's bytes, without a terminating NUL.
  bool WriteString(const std::string& name, const std::string& text);
  bool WriteDword(const std::string& name, DWORD value);
  bool WriteBinary(const std::string& name, const void* data, DWORD size);
  // The empty name deletes the key's default value.
  bool DeleteValue(const std::string& name);

  // Deletes the subkey below this object's root (closing it first if it is the open one). A subkey
  // that does not exist counts as deleted.
  bool DeleteKey(const std::string& subkey);

  // The name of the open key's subkey at the index; false and empty past the last one.
  bool EnumSubKey(DWORD index, std::string& outName);

  HKEY GetRoot() const { return root_; }
  bool IsOpen() const { return key_ != nullptr; }
  const std::string& GetPath() const { return path_; }

 private:
  HKEY root_;
  HKEY key_ = nullptr;
  std::string path_;
};
