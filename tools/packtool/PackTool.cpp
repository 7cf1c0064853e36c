// packtool.exe: makes and checks the .pak and LZSS .dat files of a game's data. The commands are in one table:
// a new command is one line here and one function.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "addon/Version.h"
#include "tools/packtool/LzssCommands.h"
#include "tools/packtool/PackToolCommands.h"

namespace {

struct PackToolCommand {
  const char* name;
  const char* usage;  // arguments after the name
  int (*run)(const PackToolArgs& args);
};

const PackToolCommand kCommands[] = {
    {"pack", "FOLDER [ARCHIVE] [--level N]", RunPackCommand},
    {"pack-single", "FILE [--level N]", RunPackSingleCommand},
    {"lzss", "FOLDER [ARCHIVE]", RunLzssCommand},
    {"lzss-single", "FILE", RunLzssSingleCommand},
    {"list", "ARCHIVE", RunListCommand},
    {"verify", "ARCHIVE", RunVerifyCommand},
    {"get", "[--reader lzss-archive|lzss-single] NAME OUT", RunGetCommand},
};

void PrintUsage() {
  std::fprintf(stderr, "usage:\n");
  for (const PackToolCommand& command : kCommands) std::fprintf(stderr, "  packtool %s %s\n", command.name, command.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage();
    return kToolBadUsage;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("packtool %s\n%s\n%s\n", ADDON_VERSION_TEXT, ADDON_PRODUCT_NAME, ADDON_COPYRIGHT);
    return 0;
  }
  for (const PackToolCommand& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    int result = command.run(PackToolArgs(argv + 2, argv + argc));
    if (result == kToolBadUsage) std::fprintf(stderr, "usage: packtool %s %s\n", command.name, command.usage);
    return result;
  }
  std::fprintf(stderr, "packtool: unknown command \"%s\"\n", argv[1]);
  PrintUsage();
  return kToolBadUsage;
}
