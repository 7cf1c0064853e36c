#pragma once
// Canonical paths and file identity for the uninstaller's comparisons: two spellings of one place
// ("c:\\game\\.\\Data", "C:/Game/data") must compare equal, and a file is the same file by its volume and
// index, not by the spelling of its path.

#include <string>

// The full path the system makes of `path` (GetFullPathNameA: "." and ".." taken away, '/' turned into
// '\\'), without a trailing separator unless it is a drive's root; empty when the system cannot make one
// or the result is not a plain full path (IsPlainFullPath). A bare drive ("C:") is taken as its root.
std::string GetCanonicalPath(const std::string& path);

// True when both paths open and name the same file or folder (volume serial number and file index).
bool IsSameFile(const std::string& first, const std::string& second);
