#include "installer/UninstallPaths.h"

#include <cstring>

#include "foundation/ShiftJis.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$: the system opens the device whatever folder and
// extension go with them, and whatever spaces follow the base name.
bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = LowerAscii(c);
  if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" || base == "conout$") {
    return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '0' &&
         base[3] <= '9';
}

bool IsPlainName(const std::string& name) {
  bool onlyDotsAndSpaces = true;
  for (char c : name) onlyDotsAndSpaces = onlyDotsAndSpaces && (c == '.' || c == ' ');
  if (onlyDotsAndSpaces) return false;
  const char last = name.back();  // a trail byte is never '.' or ' ' (both are below 0x40)
  if (last == '.' || last == ' ') return false;
  return !IsDeviceName(name);
}

// The names from `start` on: each one plain, no ':' and no reserved byte outside double-byte characters.
bool HasPlainNames(const std::string& path, size_t start) {
  std::string name;
  for (size_t i = start; i <= path.size();) {
    if (i == path.size() || IsSeparator(path[i])) {
      if (!name.empty() && !IsPlainName(name)) return false;
      name.clear();
      ++i;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsShiftJisLeadByte(c)) {
      if (i + 1 >= path.size()) return false;  // a lead byte without its trail byte
      // A byte that cannot be a trail byte (a ':' or '\\' among them) may be read by the system as a
      // character of its own.
      const unsigned char trail = static_cast<unsigned char>(path[i + 1]);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
      name.append(path, i, 2);
      i += 2;
      continue;
    }
    if (c < 0x20 || c == 0x7F || std::strchr(":*?\"<>|", c)) return false;
    name += path[i++];
  }
  return true;
}

// Where the text's last character begins (a double-byte one takes its last two bytes).
size_t StartOfLastCharacter(const std::string& text) {
  size_t i = 0;
  while (i + ShiftJisCharLength(text, i) < text.size()) i += ShiftJisCharLength(text, i);
  return i;
}

}  // namespace

bool IsPlainFullPath(const std::string& path) {
  if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != ':' || !IsSeparator(path[2])) return false;
  return HasPlainNames(path, 3);
}

bool IsPlainRelativePath(const std::string& path) {
  if (path.empty() || IsSeparator(path[0])) return false;
  return HasPlainNames(path, 0);
}

bool IsDriveRoot(const std::string& path) {
  if (path.size() < 2 || path.size() > 3 || !IsAsciiLetter(path[0]) || path[1] != ':') return false;
  return path.size() == 2 || IsSeparator(path[2]);
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && StartOfLastCharacter(path) == path.size() - 1 && path.back() == '\\';
}

std::string FoldPathCase(const std::string& path) {
  std::string folded = path;
  for (size_t i = 0; i < folded.size();) {
    const size_t length = ShiftJisCharLength(folded, i);
    if (length == 1) folded[i] = LowerAscii(folded[i]);
    i += length;
  }
  return folded;
}

bool IsPathInside(const std::string& path, const std::string& folder) {
  std::string base = FoldPathCase(folder);
  if (EndsWithSeparator(base)) base.pop_back();
  if (base.empty()) return false;
  const std::string folded = FoldPathCase(path);
  // The same bytes from the start split into the same characters, so the byte after the folder's
  // bytes starts a character of the path.
  return folded.size() > base.size() + 1 && folded.compare(0, base.size(), base) == 0 && folded[base.size()] == '\\';
}

bool HasShortcutExtension(const std::string& path) {
  if (path.size() < 4) return false;
  // ".lnk" must be four characters of their own, not the trail byte of a character and three more.
  size_t i = 0;
  while (i < path.size() - 4) i += ShiftJisCharLength(path, i);
  return i == path.size() - 4 && FoldPathCase(path.substr(i)) == ".lnk";
}

std::string WithoutByteOrderMark(const std::string& line) {
  return line.compare(0, 3, "\xEF\xBB\xBF") == 0 ? line.substr(3) : line;
}
