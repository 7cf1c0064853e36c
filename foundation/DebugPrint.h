#pragma once
// The one diagnostic channel. DebugPrint formats printf-style with wvsprintfA into 2048 bytes, drops one
// final line feed and hands the text to the debug log (CDebugLog), whose two outputs, a display window
// and the file log.txt, start switched off. Until a program uses the debug log, nothing is installed
// and every text is dropped. Tests may install a sink of their own that sees every text as well.

void DebugPrint(const char* format, ...);

using DebugSink = void (*)(const char* text);

// Installs the receiver of every formatted text (null: drop). Returns the previous one.
DebugSink SetDebugSink(DebugSink sink);

// Where the debug log takes the texts: installed by the log when it is made, removed when it goes.
struct DebugLogOutput {
  void (*output)(const char* text);
  void (*clearDisplay)();
};
void SetDebugLogOutput(const DebugLogOutput* output);

// Empties the debug display; nothing while the display is switched off or no debug log exists.
void ClearDebugDisplay();
