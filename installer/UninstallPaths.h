#pragma once
// The forms of path the uninstaller accepts from its information file, and the test that a path lies
// inside a folder. The file sits in a folder ordinary users can write to while the uninstaller usually
// runs with administrator rights, so every entry is treated as hostile until it passes these checks.
//
// Text is Shift-JIS: a trail byte equal to '\\', '/', ':' or '.' belongs to its character and is never
// taken for a separator, a drive or stream colon or a dot. No Win32 here (the canonical form, made with
// GetFullPathNameA, is the caller's); built natively as well.

#include <string>

// A full path of the one plain form: a drive letter, ':' and a separator, then names. Refused: "\\\\"
// forms (UNC, "\\\\?\\", "\\\\.\\"), a drive without a separator ("C:foo"), a ':' anywhere else
// (alternate data streams), a name made only of dots and spaces (".", "..", "...", ".. "), a name that
// ends in a dot or a space (the system would drop them and reach another name), device names (CON, NUL,
// COM1, LPT1, CONIN$ ... with any extension), wildcard and reserved characters, control bytes, a lead
// byte at the end or before a byte that cannot be a trail byte. Both '\\' and '/' separate; empty names
// (doubled separators) are passed over.
bool IsPlainFullPath(const std::string& path);

// A path relative to a folder, of names as IsPlainFullPath accepts them; it must not begin with a
// separator (the root of the current drive) nor hold a ':'.
bool IsPlainRelativePath(const std::string& path);

// "X:" or "X:\\" (or "X:/"): the root of a drive, which the uninstaller never removes.
bool IsDriveRoot(const std::string& path);

// True when `path` lies strictly below `folder`: the folder's bytes (ASCII letters of either case, a
// trailing separator ignored) followed by a separator and at least one more byte. Both are expected in
// one canonical form ('\\' only, no doubled separators).
bool IsPathInside(const std::string& path, const std::string& folder);

// True when the last character is a '\\' of its own (not the trail byte of a double-byte character).
bool EndsWithSeparator(const std::string& path);

// ASCII letters lowered, double-byte characters untouched: the case-blind spelling used to compare paths.
std::string FoldPathCase(const std::string& path);

// True when the last name ends in ".lnk" (either case).
bool HasShortcutExtension(const std::string& path);

// A leading UTF-8 byte-order mark removed (an editor may add one; it is not part of the first line).
std::string WithoutByteOrderMark(const std::string& line);
