// imagetool: shows exactly what the engine draws, with its own loading and blending.
//
//   imagetool convert IN OUT [--depth 15|16|24|32] [--dib]
//   imagetool blit DEST SRC OUT [--depth D] [--at X,Y] [--src L,T,R,B] [--clip L,T,R,B] [--opacity N]
//                  [--colorkey 0xBBGGRR] [--alpha] [--stretch L,T,R,B] [--form x86|mmx|sse|avx2]
//
// Files are read through the file front (loose files, pack archives, the disc) with their ".alp"
// companions, and written as 24-bit BMPs. Exit code 0 on success, 1 on failure (with a message on
// stderr), 2 for a bad command line.

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "addon/Version.h"
#include "image/BlendTables.h"
#include "image/Blit.h"
#include "image/Surface.h"
#include "image/SurfaceDraw.h"

namespace {

const char kUsage[] =
    "usage: imagetool convert IN OUT [--depth 15|16|24|32] [--dib]\n"
    "       imagetool blit DEST SRC OUT [--depth D] [--at X,Y] [--src L,T,R,B] [--clip L,T,R,B]\n"
    "                      [--opacity N] [--colorkey 0xBBGGRR] [--alpha] [--stretch L,T,R,B]\n"
    "                      [--form x86|mmx|sse|avx2]\n";

int Usage(const char* problem) {
  std::fprintf(stderr, "imagetool: %s\n%s", problem, kUsage);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "imagetool: %s\n", message.c_str());
  return 1;
}

// A whole number within long's range, in the given base, digits only after an optional minus sign.
bool ParseLong(const std::string& text, int base, long* value) {
  size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
  if (first >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[first]))) return false;
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

// A colour 0x000000 to 0xFFFFFF: hexadecimal after "0x", else decimal.
bool ParseColor(const std::string& text, uint32_t* value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  long parsed = 0;
  if (!ParseLong(hex ? text.substr(2) : text, hex ? 16 : 10, &parsed) || parsed < 0 || parsed > 0xFFFFFF) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

bool ParseInt(const std::string& text, int* value) {
  long parsed = 0;
  if (!ParseLong(text, 10, &parsed) || parsed < -0x7FFFFFFFL || parsed > 0x7FFFFFFFL) return false;
  *value = static_cast<int>(parsed);
  return true;
}

// "a,b" or "a,b,c,d": exactly `count` integers.
bool ParseList(const std::string& text, int count, int* values) {
  size_t start = 0;
  for (int i = 0; i < count; ++i) {
    const size_t comma = text.find(',', start);
    const bool last = i == count - 1;
    if (last != (comma == std::string::npos)) return false;
    if (!ParseInt(text.substr(start, last ? std::string::npos : comma - start), &values[i])) return false;
    start = comma + 1;
  }
  return true;
}

bool ParseDepth(const std::string& text, int* depth) {
  return ParseInt(text, depth) && (*depth == 15 || *depth == 16 || *depth == 24 || *depth == 32);
}

bool ParseForm(const std::string& text, int* form) {
  if (text == "x86") {
    *form = kBlitFormPlain;
  } else if (text == "mmx") {
    *form = kBlitFormMmx;
  } else if (text == "sse") {
    *form = kBlitFormSse;
  } else if (text == "avx2") {
    *form = kBlitFormAvx2;
  } else {
    return false;
  }
  return true;
}

struct Options {
  std::vector<std::string> files;
  int depth = 32;
  bool dib = false;
  bool src = false, clip = false, stretch = false;
  int atXY[2] = {0, 0};
  int srcRect[4] = {}, clipRect[4] = {}, stretchRect[4] = {};
  int opacity = 255;
  bool colorKey = false;
  uint32_t colorKeyValue = 0;
  bool alpha = false;
  int form = kBlitFormAuto;
};

bool IsOneOf(const std::string& arg, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (arg == name) return true;
  }
  return false;
}

// Whether the command takes the option; --dib and --alpha are the only ones without a value.
bool TakesOption(bool blit, const std::string& arg) {
  if (blit) {
    return IsOneOf(arg,
                   {"--depth", "--at", "--src", "--clip", "--opacity", "--colorkey", "--alpha", "--stretch", "--form"});
  }
  return IsOneOf(arg, {"--depth", "--dib"});
}

// Reads the options a command allows; false (with *problem set) for anything else.
bool ParseOptions(int argc, char** argv, bool blit, Options* options, std::string* problem) {
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      options->files.push_back(arg);
      continue;
    }
    if (!TakesOption(blit, arg)) {
      *problem = "unknown option: " + arg;
      return false;
    }
    if (arg == "--dib") {
      options->dib = true;
      continue;
    }
    if (arg == "--alpha") {
      options->alpha = true;
      continue;
    }
    if (i + 1 >= argc) {
      *problem = arg + " needs a value";
      return false;
    }
    const std::string value = argv[++i];
    bool ok = false;
    if (arg == "--depth") {
      ok = ParseDepth(value, &options->depth);
    } else if (arg == "--at") {
      ok = ParseList(value, 2, options->atXY);
    } else if (arg == "--src") {
      ok = options->src = ParseList(value, 4, options->srcRect);
    } else if (arg == "--clip") {
      ok = options->clip = ParseList(value, 4, options->clipRect);
    } else if (arg == "--stretch") {
      ok = options->stretch = ParseList(value, 4, options->stretchRect);
    } else if (arg == "--opacity") {
      ok = ParseInt(value, &options->opacity);
    } else if (arg == "--colorkey") {
      ok = options->colorKey = ParseColor(value, &options->colorKeyValue);
    } else {  // --form, the last option TakesOption lets through
      ok = ParseForm(value, &options->form);
    }
    if (!ok) {
      *problem = "bad value for " + arg + ": " + value;
      return false;
    }
  }
  return true;
}

PixelRect ToRect(const int values[4]) { return PixelRect{values[0], values[1], values[2], values[3]}; }

int Convert(const Options& options) {
  if (options.files.size() != 2) return Usage("convert takes IN and OUT");
  CSurface surface;
  if (!surface.Load(options.files[0], options.depth, options.dib ? 1 : 0)) {
    return Fail("cannot load " + options.files[0]);
  }
  if (!surface.SaveBmp(options.files[1])) return Fail("cannot write " + options.files[1]);
  return 0;
}

int Blit(const Options& options) {
  if (options.files.size() != 3) return Usage("blit takes DEST, SRC and OUT");
  CSurface dest, source;
  if (!dest.Load(options.files[0], options.depth, 0)) return Fail("cannot load " + options.files[0]);
  if (!source.Load(options.files[1], options.depth, 0)) return Fail("cannot load " + options.files[1]);
  if (options.colorKey) {
    source.SetColorKey(options.colorKeyValue);
    source.SetColorKeyEnable(true);
  }
  // Alpha is what the source's own selector says: a loaded companion switches it on, so it is off
  // unless asked for.
  source.SetAlphaEnable(options.alpha);

  const PixelRect sourceRect = options.src ? ToRect(options.srcRect) : SurfaceRect(&source);
  const PixelRect clip = options.clip ? ToRect(options.clipRect) : SurfaceRect(&dest);
  if (options.stretch) {
    StretchSurface(&dest, &source, ToRect(options.stretchRect), sourceRect, clip, options.opacity);
  } else {
    DrawSurface(&dest, &source, options.atXY[0], options.atXY[1], sourceRect, clip, options.opacity, options.form);
  }
  if (!dest.SaveBmp(options.files[2])) return Fail("cannot write " + options.files[2]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command");
  const std::string command = argv[1];
  if (argc == 2 && command == "--version") {
    std::printf("imagetool %s\n%s\n%s\n", ADDON_VERSION_TEXT, ADDON_PRODUCT_NAME, ADDON_COPYRIGHT);
    return 0;
  }
  if (command != "convert" && command != "blit") return Usage(("unknown command: " + command).c_str());
  Options options;
  std::string problem;
  if (!ParseOptions(argc, argv, command == "blit", &options, &problem)) return Usage(problem.c_str());
  BuildBlendTables();
  return command == "convert" ? Convert(options) : Blit(options);
}
