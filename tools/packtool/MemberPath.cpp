#include "tools/packtool/MemberPath.h"

#include <cstring>
#include <vector>

#include "foundation/ShiftJis.h"

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The system opens a device for these names whatever extension follows and whatever the case; it also
// drops trailing spaces before the extension ("nul .txt").
bool NamesDevice(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = LowerAscii(c);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '0' &&
         base[3] <= '9';
}

// Whether the single-byte character may stand in a file name.
bool IsAllowedSingleByte(unsigned char c) { return c >= 0x20 && c != 0x7F && std::strchr("<>\"|?*", c) == nullptr; }

}  // namespace

MemberPathProblem CheckMemberPath(const std::string& stored, std::string* relative) {
  relative->clear();
  if (stored.empty()) return MemberPathProblem::kEmpty;
  // Split into components with a double-byte walk.
  std::vector<std::string> components(1);
  for (size_t i = 0; i < stored.size();) {
    const unsigned char c = static_cast<unsigned char>(stored[i]);
    if (IsShiftJisLeadByte(c)) {
      if (i + 1 >= stored.size()) return MemberPathProblem::kBadCharacter;
      const unsigned char trail = static_cast<unsigned char>(stored[i + 1]);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return MemberPathProblem::kBadCharacter;
      components.back().append(stored, i, 2);
      i += 2;
      continue;
    }
    if (c == '\\' || c == '/') {
      if (i == 0) return MemberPathProblem::kAbsolute;
      components.emplace_back();
    } else if (c == ':') {
      return MemberPathProblem::kDrive;
    } else if (!IsAllowedSingleByte(c)) {
      return MemberPathProblem::kBadCharacter;
    } else {
      components.back() += static_cast<char>(c);
    }
    ++i;
  }
  std::string path;
  for (const std::string& component : components) {
    if (component.empty()) return MemberPathProblem::kEmptyComponent;
    // The system drops trailing dots and spaces, so "..." and ".. " are ".." to it; a name that ends so
    // is never one the packer took from a folder.
    const char last = component.back();
    if (component == "." || component == ".." || last == '.' || last == ' ') return MemberPathProblem::kClimbs;
    if (NamesDevice(component)) return MemberPathProblem::kDevice;
    if (!path.empty()) path += '\\';
    path += component;
  }
  *relative = path;
  return MemberPathProblem::kNone;
}

const char* DescribeMemberPathProblem(MemberPathProblem problem) {
  switch (problem) {
    case MemberPathProblem::kNone: return "usable";
    case MemberPathProblem::kEmpty: return "empty name";
    case MemberPathProblem::kAbsolute: return "absolute name";
    case MemberPathProblem::kDrive: return "name with a drive or a stream";
    case MemberPathProblem::kClimbs: return "name with a \".\" or \"..\" component";
    case MemberPathProblem::kEmptyComponent: return "name with an empty component";
    case MemberPathProblem::kDevice: return "name of a device";
    case MemberPathProblem::kBadCharacter: return "name with a character no file name may hold";
  }
  return "refused name";
}
