#include "foundation/MessageBox.h"

#include <atomic>

namespace {
std::atomic<MessageBoxHandler> g_handler{nullptr};
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) { return g_handler.exchange(handler); }

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
  if (MessageBoxHandler handler = g_handler.load()) return handler(owner, text, caption, style);
  return MessageBoxA(owner, text, caption, style);
}
