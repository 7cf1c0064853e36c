#include "foundation/DebugPrint.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "foundation/ShiftJis.h"

namespace {
// wvsprintfA writes at most 1,023 characters and its terminator.
constexpr size_t kFormattedLimit = 1023;

std::atomic<DebugSink> g_sink{nullptr};
std::atomic<const DebugLogOutput*> g_log{nullptr};
}  // namespace

DebugSink SetDebugSink(DebugSink sink) { return g_sink.exchange(sink); }

void SetDebugLogOutput(const DebugLogOutput* output) { g_log.store(output); }

void DebugPrint(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  wvsprintfA(text, format, args);
  va_end(args);
  text[sizeof text - 1] = '\0';
  size_t length = std::strlen(text);
  // A text cut at the limit may end in the lead byte of a character whose trail byte was dropped: the
  // lone lead byte goes too.
  if (length >= kFormattedLimit) {
    size_t i = 0;
    while (i < length) {
      const size_t step = IsShiftJisLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
      if (i + step > length) break;
      i += step;
    }
    length = i;
    text[length] = '\0';
  }
  if (length > 0 && text[length - 1] == '\n') text[length - 1] = '\0';
  if (DebugSink sink = g_sink.load()) sink(text);
  if (const DebugLogOutput* log = g_log.load()) log->output(text);
}

void ClearDebugDisplay() {
  if (const DebugLogOutput* log = g_log.load()) log->clearDisplay();
}
