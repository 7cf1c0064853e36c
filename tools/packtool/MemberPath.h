#pragma once
// Where extract may write a member: the check of a stored member name, which comes from a file and is
// untrusted. No Win32 here, so that it builds natively for fuzzing.

#include <string>

enum class MemberPathProblem {
  kNone,
  kEmpty,           // no name, or a name without any component
  kAbsolute,        // begins with a separator ("\\x", "\\\\server\\share")
  kDrive,           // a ':' of its own: a drive ("C:x") or a stream ("a:b")
  kClimbs,          // a component "." or "..", or one that the system would shorten to them
  kEmptyComponent,  // two separators in a row, or one at the end
  kDevice,          // a component that names a device (CON, NUL, COM1, LPT1, ...), with any extension
  kBadCharacter,    // a control character, one of < > " | ? *, or a lead byte without its trail byte
};

// The relative path below the extract folder for a stored name ('\\' and '/' both separate, both
// written as '\\'), or a problem and an empty path. Walks the name character by character in
// Shift-JIS, so that a trail byte 0x5C or 0x7C is part of its character and never a separator or a
// forbidden character.
MemberPathProblem CheckMemberPath(const std::string& stored, std::string* relative);

// A short English description of a problem, for the message that names the refused member.
const char* DescribeMemberPathProblem(MemberPathProblem problem);
