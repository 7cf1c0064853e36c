// Kept free of windows.h: this file is also compiled natively into text_tests.
#include "app/CommandLine.h"

#include <cstring>

std::vector<std::string> SplitCommandLine(const char* line) {
  std::vector<std::string> arguments;
  if (!line) return arguments;
  const char* cursor = line;
  const char* const end = line + std::strlen(line);
  // Neither '"' nor ' ' can be the trail byte of a Shift-JIS character, so a byte walk is safe here.
  while (cursor < end) {
    if (*cursor == '"') {
      const char* close = cursor + 1;
      while (close < end && !(*close == '"' && (close[1] == ' ' || close + 1 == end))) ++close;
      if (close < end) {
        arguments.emplace_back(cursor + 1, close);
        cursor = close + 1;
        if (cursor < end && *cursor == ' ') ++cursor;
      } else {
        arguments.emplace_back(cursor, end);
        cursor = end;
      }
    } else {
      const char* space = static_cast<const char*>(std::memchr(cursor, ' ', end - cursor));
      const char* stop = space ? space : end;
      arguments.emplace_back(cursor, stop);
      cursor = space ? space + 1 : end;
    }
  }
  return arguments;
}
