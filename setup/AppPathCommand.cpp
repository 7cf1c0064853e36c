#include "setup/AppPathCommand.h"

// Neither '"' nor ' ' lies in the trail-byte range of Shift-JIS (0x40-0xFC), so a byte-wise scan never
// splits a double-byte character.
std::vector<std::string> GetCommandExecutableCandidates(const std::string& command) {
  std::vector<std::string> candidates;
  size_t begin = command.find_first_not_of(" \t");
  if (begin == std::string::npos) return candidates;
  if (command[begin] == '"') {
    size_t end = command.find('"', begin + 1);
    std::string name = command.substr(begin + 1, end == std::string::npos ? std::string::npos : end - begin - 1);
    if (!name.empty()) candidates.push_back(name);
    return candidates;
  }
  size_t end = command.find_last_not_of(" \t");
  std::string whole = command.substr(begin, end - begin + 1);
  candidates.push_back(whole);
  for (size_t space = whole.find_first_of(" \t"); space != std::string::npos;
       space = whole.find_first_of(" \t", space + 1)) {
    if (space > 0 && whole[space - 1] != ' ' && whole[space - 1] != '\t') candidates.push_back(whole.substr(0, space));
  }
  return candidates;
}
