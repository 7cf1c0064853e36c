// The uninstaller's entry checks on any line of any uninstall information text: the bytes are read with
// CTextTable as RunUninstall reads them (whole lines), and every line is checked as a full path, a
// relative path and against the line before it as a folder. A line accepted as a full path must have the
// plain form the checks promise; a path inside a folder must begin with that folder's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/ShiftJis.h"
#include "installer/TextTable.h"
#include "installer/UninstallPaths.h"

namespace {

// No ':' of its own after the drive and no name of dots only, walking characters as the checks do.
bool HasPlainShape(const std::string& path, size_t start) {
  std::string name;
  for (size_t i = start; i <= path.size();) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (name == "." || name == "..") return false;
      name.clear();
      ++i;
      continue;
    }
    if (path[i] == ':') return false;
    const size_t length = ShiftJisCharLength(path, i);
    name.append(path, i, length);
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CTextTable table;
  table.SetCommaSeparates(false);
  table.SetWhitespaceSeparates(false);
  table.SetCollapseWhitespace(false);
  if (!table.LoadFromMemory(data, size)) return 0;
  std::string line, previous;
  while (table.ReadRecord(1, &line)) {
    line = WithoutByteOrderMark(line);
    if (IsPlainFullPath(line)) {
      if (line.size() < 3 || line[1] != ':' || line.compare(0, 2, "\\\\") == 0 || !HasPlainShape(line, 3)) std::abort();
    }
    if (IsPlainRelativePath(line)) {
      if (line[0] == '\\' || line[0] == '/' || !HasPlainShape(line, 0)) std::abort();
    }
    if (IsPathInside(line, previous)) {
      const std::string folded = FoldPathCase(line), base = FoldPathCase(previous);
      if (folded.compare(0, base.size() - (EndsWithSeparator(base) ? 1 : 0), base, 0,
                         base.size() - (EndsWithSeparator(base) ? 1 : 0)) != 0) {
        std::abort();
      }
    }
    if (FoldPathCase(line).size() != line.size()) std::abort();
    HasShortcutExtension(line);
    IsDriveRoot(line);
    previous = line;
  }
  return 0;
}
