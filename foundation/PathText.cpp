#include "foundation/PathText.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "foundation/ShiftJis.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Replaces every single-byte `from` by `to`, stepping over double-byte characters.
std::string ReplaceSingleByte(const std::string& text, char from, char to) {
  std::string out = text;
  for (size_t i = 0; i < out.size();) {
    size_t length = ShiftJisCharLength(out, i);
    if (length == 1 && out[i] == from) out[i] = to;
    i += length;
  }
  return out;
}

// Copies the text without its single-byte `removed` characters.
std::string RemoveSingleByte(const std::string& text, char removed) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = ShiftJisCharLength(text, i);
    if (length != 1 || text[i] != removed) out.append(text, i, length);
    i += length;
  }
  return out;
}

// Applies an ASCII letter mapping to the single-byte characters.
template <typename Map>
std::string MapLetters(const std::string& text, Map map) {
  std::string out = text;
  for (size_t i = 0; i < out.size();) {
    size_t length = ShiftJisCharLength(out, i);
    if (length == 1) out[i] = map(out[i]);
    i += length;
  }
  return out;
}

// True if the text ends in a '\\' of its own (not the trail byte of a double-byte character).
bool EndsInBackslash(const std::string& text) {
  bool last = false;
  for (size_t i = 0; i < text.size();) {
    size_t length = ShiftJisCharLength(text, i);
    last = length == 1 && text[i] == '\\';
    i += length;
  }
  return last;
}

}  // namespace

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  size_t start = 0;
  if (path.size() >= 2 && !IsShiftJisLeadByte(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    parts.drive = path.substr(0, 2);
    start = 2;
  }
  // The directory ends after the last separator; the extension begins at the last dot after it.
  size_t nameStart = start;
  size_t lastDot = std::string::npos;
  for (size_t i = start; i < path.size();) {
    size_t length = ShiftJisCharLength(path, i);
    if (length == 1 && IsSeparator(path[i])) {
      nameStart = i + 1;
      lastDot = std::string::npos;
    } else if (length == 1 && path[i] == '.') {
      lastDot = i;
    }
    i += length;
  }
  parts.directory = path.substr(start, nameStart - start);
  if (lastDot == std::string::npos) {
    parts.title = path.substr(nameStart);
  } else {
    parts.title = path.substr(nameStart, lastDot - nameStart);
    parts.extension = path.substr(lastDot);
  }
  return parts;
}

bool IsAbsolutePath(const std::string& path) {
  if (path.size() < 2) return false;
  if (path[0] == '\\' && path[1] == '\\') return true;
  for (size_t i = 0; i < path.size();) {
    size_t length = ShiftJisCharLength(path, i);
    if (length == 1 && path[i] == ':') return true;
    i += length;
  }
  return false;
}

std::string SlashToBackslash(const std::string& path) { return ReplaceSingleByte(path, '/', '\\'); }

std::string BackslashToSlash(const std::string& path) { return ReplaceSingleByte(path, '\\', '/'); }

std::string CollapseBackslashes(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  size_t position = 0;  // counts the characters of the original path, erased ones included
  char previous = 0;
  for (size_t i = 0; i < path.size();) {
    size_t length = ShiftJisCharLength(path, i);
    if (length == 1 && path[i] == '\\' && previous == '\\' && position >= 2) {
      // Dropped; the previous character stays a backslash.
    } else {
      out.append(path, i, length);
      previous = path[i];
    }
    position += length;
    i += length;
  }
  return out;
}

std::string GetParentDirectory(const std::string& path) {
  std::string s = CollapseBackslashes(SlashToBackslash(path));
  bool onlyBackslashesSoFar = true;
  size_t separator = std::string::npos;
  for (size_t i = 0; i < s.size();) {
    size_t length = ShiftJisCharLength(s, i);
    if (length == 1 && s[i] == '\\') {
      if (i + 1 == s.size()) break;  // a trailing separator is not a parent boundary
      if (!onlyBackslashesSoFar) separator = i;
    } else {
      onlyBackslashesSoFar = false;
    }
    i += length;
  }
  if (separator != std::string::npos) s.erase(separator);
  return s;
}

std::string GetRelativePath(const std::string& fullPath, const std::string& base) {
  if (base.empty()) return std::string();
  if (fullPath.compare(0, base.size(), base) != 0) return std::string();
  size_t cut = base.size() + (EndsInBackslash(base) ? 0 : 1);
  if (cut >= fullPath.size()) return std::string();
  return fullPath.substr(cut);
}

void SplitDirectoryAndName(const std::string& path, std::string& outFolder, std::string& outName) {
  PathParts parts = SplitPath(path);
  std::string folder = parts.drive + parts.directory;
  if (EndsInBackslash(folder) && folder.find_first_not_of('\\') != std::string::npos) folder.pop_back();
  outFolder = folder;
  outName = parts.title + parts.extension;
}

void SplitTitleAndExtension(const std::string& path, std::string& outTitle, std::string& outExtension) {
  PathParts parts = SplitPath(path);
  outTitle = parts.title;
  outExtension = parts.extension.empty() ? parts.extension : parts.extension.substr(1);
}

std::string GetDriveRoot(const std::string& path) {
  if (!IsAbsolutePath(path)) return std::string();
  return CollapseBackslashes(SplitPath(path).drive + "\\");
}

std::string ToLowerCase(const std::string& text) {
  return MapLetters(text, [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
}

std::string ToUpperCase(const std::string& text) {
  return MapLetters(text, [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
}

std::string RemoveSpaces(const std::string& text) { return RemoveSingleByte(text, ' '); }

std::string RemoveTabs(const std::string& text) { return RemoveSingleByte(text, '\t'); }

std::string RemoveCarriageReturns(const std::string& text) { return RemoveSingleByte(text, '\r'); }

std::string ConvertLfToCrLf(const std::string& text) {
  std::string lines = RemoveCarriageReturns(text);
  std::string out;
  out.reserve(lines.size() + lines.size() / 8);
  for (size_t i = 0; i < lines.size();) {
    size_t length = ShiftJisCharLength(lines, i);
    if (length == 1 && lines[i] == '\n') out += '\r';
    out.append(lines, i, length);
    i += length;
  }
  return out;
}

std::string IntToString(int64_t value) {
  // The low 32 bits, read as a signed number.
  uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(value));
  int32_t number = low <= 0x7FFFFFFFu ? static_cast<int32_t>(low) : -static_cast<int32_t>(~low) - 1;
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
  return text;
}

std::string FloatToString(double value) {
  // Large enough for the biggest double in fixed notation.
  char text[400];
  std::snprintf(text, sizeof text, "%1.2f", value);
  return text;
}

int StringToInt(const std::string& text) {
  if (text.empty()) return 0;
  char* end = nullptr;
  long long number = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str()) return 0;
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return static_cast<int>(number);
}

float StringToFloat(const std::string& text) {
  if (text.empty()) return 0.0f;
  char* end = nullptr;
  float number = std::strtof(text.c_str(), &end);
  if (end == text.c_str()) return 0.0f;
  return number;
}
