#pragma once
// Text between the system's ANSI code page and UTF-16, and the system calls whose ANSI form cannot be
// trusted with a size for double-byte text: their answer is taken from the wide form and converted
// once. (Under Wine, ExpandEnvironmentStringsA answers in characters, not bytes, and
// GetModuleFileNameA cuts a long name and reports success.) Every conversion sizes its output from the
// same input it then converts and checks what was written. Failure gives false; the out text is then
// left as it was.

#include <windows.h>

#include <string>

// Text that holds a byte sequence the code page does not define, or a character it cannot represent
// (no best-fit substitutes), fails.
bool AnsiToWide(const std::string& text, std::wstring& outText);
bool WideToAnsi(const std::wstring& text, std::string& outText);

// The text with its environment strings (%NAME%) expanded as the system does, whatever its length; a
// text without '%' comes back byte for byte. Unknown names stay as written.
bool ExpandEnvironmentText(const std::string& text, std::string& outText);

// The full file name of a module of this process (null: the executable), whatever its length.
bool GetModuleFileNameText(HMODULE module, std::string& outName);
