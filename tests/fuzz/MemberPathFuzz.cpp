// extract's check of stored member names on any bytes: a name it accepts must stay below the extract
// folder whatever the system makes of it, and must come back as stored (separators made '\\').

#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/ShiftJis.h"
#include "tools/packtool/MemberPath.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// The checks again, written apart from the checker: single-byte characters found by a double-byte walk.
void CheckAccepted(const std::string& stored, const std::string& relative) {
  Require(!relative.empty() && relative.size() == stored.size());
  std::string component;
  auto endComponent = [&] {
    Require(!component.empty() && component != "." && component != "..");
    Require(component.back() != '.' && component.back() != ' ');
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    Require(base != "con" && base != "nul" && base != "prn" && base != "aux");
    Require(!(base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
              base[3] >= '0' && base[3] <= '9'));
    component.clear();
  };
  for (size_t i = 0; i < relative.size();) {
    const size_t length = ShiftJisCharLength(relative, i);
    const unsigned char c = static_cast<unsigned char>(relative[i]);
    if (length == 2) {
      Require(relative.compare(i, 2, stored, i, 2) == 0);
      component.append(relative, i, 2);
    } else {
      Require(!IsShiftJisLeadByte(c));
      Require(c >= 0x20 && c != ':' && c != '/' && c != '*' && c != '?' && c != '"' && c != '<' && c != '>' &&
              c != '|');
      if (c == '\\') {
        Require(stored[i] == '\\' || stored[i] == '/');
        endComponent();
      } else {
        Require(stored[i] == relative[i]);
        component += static_cast<char>(c);
      }
    }
    i += length;
  }
  endComponent();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string stored(reinterpret_cast<const char*>(data), size);
  std::string relative = "left over";
  const MemberPathProblem problem = CheckMemberPath(stored, &relative);
  Require(DescribeMemberPathProblem(problem) != nullptr);
  if (problem != MemberPathProblem::kNone) {
    Require(relative.empty());
    return 0;
  }
  CheckAccepted(stored, relative);
  // What was accepted is accepted again unchanged.
  std::string again;
  Require(CheckMemberPath(relative, &again) == MemberPathProblem::kNone && again == relative);
  return 0;
}
