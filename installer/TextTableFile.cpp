// CTextTable's reading through the file front: Windows programs only.
#include <cstdint>

#include "installer/TextTable.h"
#include "pack/File.h"

bool CTextTable::Load(const std::string& fileName) {
  Release();
  CFile file;
  if (file.Open(fileName) != 1) return false;
  const uint32_t size = file.GetSize();
  char* text = Allocate(size);
  if (!text) return false;
  if (size > 0 && file.Read(text, 1, size) != size) {
    Release();
    return false;
  }
  return true;
}
