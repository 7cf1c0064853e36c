#pragma once
// Path and text helpers over byte strings in the system code page (Shift-JIS on the target systems).
// Every walk is double-byte aware: a lead byte (0x81-0x9F, 0xE0-0xFC) and the byte after it form one
// character, and that trail byte is never taken for '\\', '/', ':' or '.' on its own.
// All functions return a new string and leave their arguments unchanged. No Win32 here: the helpers
// that need the operating system (full paths, folders, dialogs) are in Folders.h.

#include <cstdint>
#include <string>

// The standard path splitter: drive ("C:"), directory (up to and including the last separator; both
// '\\' and '/' separate), title, and extension (from the last '.' of the name, the dot included).
struct PathParts {
  std::string drive;
  std::string directory;
  std::string title;
  std::string extension;
};
PathParts SplitPath(const std::string& path);

// True if the path has at least 2 bytes and begins with two backslashes or holds a ':' of its own.
bool IsAbsolutePath(const std::string& path);

std::string SlashToBackslash(const std::string& path);
std::string BackslashToSlash(const std::string& path);

// Runs of '\\' reduced to one; the first two characters are kept as they are, so a network path keeps
// its leading "\\\\".
std::string CollapseBackslashes(const std::string& path);

// The path less its last component and the separator before it: C:\a\b and C:\a\b\ give C:\a, C:\a
// gives C:, a bare name comes back unchanged.
std::string GetParentDirectory(const std::string& path);

// The part of fullPath below base (byte-exact, case matters); empty when fullPath does not begin with
// base or base is empty.
std::string GetRelativePath(const std::string& fullPath, const std::string& base);

// Folder (drive plus directory, without a trailing '\\' unless it is all backslashes) and name.
void SplitDirectoryAndName(const std::string& path, std::string& outFolder, std::string& outName);

// File title, and extension without its leading dot.
void SplitTitleAndExtension(const std::string& path, std::string& outTitle, std::string& outExtension);

// For an absolute path, its drive followed by '\\' (C:\); empty otherwise.
std::string GetDriveRoot(const std::string& path);

// ASCII letters changed; every other byte and every double-byte character untouched.
std::string ToLowerCase(const std::string& text);
std::string ToUpperCase(const std::string& text);

// Single-byte spaces, tabs or carriage returns removed.
std::string RemoveSpaces(const std::string& text);
std::string RemoveTabs(const std::string& text);
std::string RemoveCarriageReturns(const std::string& text);

// Carriage returns removed, then one put before every line feed.
std::string ConvertLfToCrLf(const std::string& text);

// "%d" of the low 32 bits of the value, as a signed number.
std::string IntToString(int64_t value);
// "%1.2f".
std::string FloatToString(double value);

// The leading number of the text (leading white space skipped); 0 for an empty text or one that does
// not begin with a number. StringToInt clamps a number beyond the 32-bit range to its nearest end.
int StringToInt(const std::string& text);
float StringToFloat(const std::string& text);
