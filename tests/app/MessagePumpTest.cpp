// The non-blocking message pump.

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "app/MessagePump.h"

namespace {

constexpr UINT kFirst = WM_APP + 1, kSecond = WM_APP + 2, kFollowUp = WM_APP + 3;
std::vector<UINT> g_seen;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message >= WM_APP && message < WM_APP + 16) {
    g_seen.push_back(message);
    if (message == kSecond) PostMessageA(window, kFollowUp, 0, 0);  // queued while pumping
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

TEST(MessagePumpTest, DispatchesUntilTheQueueIsEmptyAndReturns) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = CountingProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "MessagePumpTest";
  ASSERT_TRUE(RegisterClassA(&windowClass));
  HWND window =
      CreateWindowA("MessagePumpTest", "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  PumpMessages();  // an empty queue: returns at once
  g_seen.clear();
  PostMessageA(window, kFirst, 0, 0);
  PostMessageA(window, kSecond, 0, 0);
  PumpMessages();
  EXPECT_EQ(g_seen, (std::vector<UINT>{kFirst, kSecond, kFollowUp}));
  MSG left;
  EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE)) << "nothing may stay queued";

  DestroyWindow(window);
  UnregisterClassA("MessagePumpTest", windowClass.hInstance);
}

}  // namespace
