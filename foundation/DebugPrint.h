#pragma once
// The one diagnostic channel. DebugPrint formats printf-style with wvsprintfA into 2048 bytes, drops one
// final line feed and hands the text to the debug log. The log's outputs start switched off, so the text
// is dropped unless a sink has been installed (tests install one to read the diagnostics).

void DebugPrint(const char* format, ...);

using DebugSink = void (*)(const char* text);

// Installs the receiver of every formatted text (null: drop). Returns the previous one.
DebugSink SetDebugSink(DebugSink sink);

// Empties the debug display. This program has no debug display, so there is nothing to clear: the call
// does nothing.
void ClearDebugDisplay();
