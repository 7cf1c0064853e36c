// packtool.exe: makes and checks the .pak and LZSS .dat files of a game's data. The commands are in one table:
// a new command is one line here and one function.

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
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
    {"pack", "FOLDER [ARCHIVE] [--level N] [--jobs N]", RunPackCommand},
    {"pack-single", "FILE [--level N]", RunPackSingleCommand},
    {"lzss", "FOLDER [ARCHIVE] [--jobs N]", RunLzssCommand},
    {"lzss-single", "FILE", RunLzssSingleCommand},
    {"list", "ARCHIVE", RunListCommand},
    {"verify", "ARCHIVE", RunVerifyCommand},
    {"get", "[--reader lzss-archive|lzss-single] NAME OUT", RunGetCommand},
    {"extract", "ARCHIVE FOLDER [--force]", RunExtractCommand},
};

void PrintUsage() {
  std::fprintf(stderr, "usage:\n");
  for (const PackToolCommand& command : kCommands)
    std::fprintf(stderr, "  packtool %s %s\n", command.name, command.usage);
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
    int result = kToolFailure;
    // The commands report their failures by their results; an exception that still escapes (memory
    // that runs out where no check expects it) ends the command with a message, never with a crash.
    // The outputs' destructors have removed what was half-written by then.
    try {
      result = command.run(PackToolArgs(argv + 2, argv + argc));
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "packtool: out of memory\n");
    } catch (const std::exception& error) {
      std::fprintf(stderr, "packtool: %s\n", error.what());
    } catch (...) {
      std::fprintf(stderr, "packtool: failed\n");
    }
    if (result == kToolBadUsage) std::fprintf(stderr, "usage: packtool %s %s\n", command.name, command.usage);
    return result;
  }
  std::fprintf(stderr, "packtool: unknown command \"%s\"\n", argv[1]);
  PrintUsage();
  return kToolBadUsage;
}
