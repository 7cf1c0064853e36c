// The application manager: each thread sees the application registered for it, and only that one.

#include <gtest/gtest.h>

#include <thread>

#include "app/AppManager.h"

namespace {

class FakeApp : public CAppInterface {
 public:
  explicit FakeApp(HWND window) : window_(window) {}
  HWND GetHWnd() override { return window_; }

 private:
  HWND window_;
};

TEST(AppManagerTest, EachThreadSeesItsOwnApplication) {
  EXPECT_EQ(CAppManager::GetHWnd(), nullptr) << "no application on this thread";
  EXPECT_EQ(CAppManager::GetApplication(), nullptr);

  FakeApp here(reinterpret_cast<HWND>(0x1234)), there(reinterpret_cast<HWND>(0x5678));
  CWindowListener* listener = reinterpret_cast<CWindowListener*>(&there);  // only stored, never used
  CAppManager::Register(&here, nullptr);
  EXPECT_EQ(CAppManager::GetHWnd(), reinterpret_cast<HWND>(0x1234));

  std::thread([&] {
    EXPECT_EQ(CAppManager::GetHWnd(), nullptr);
    CAppManager::Register(&there, listener);
    EXPECT_EQ(CAppManager::GetHWnd(), reinterpret_cast<HWND>(0x5678));
    EXPECT_EQ(CAppManager::GetListener(), listener);
    CAppManager::Unregister(&there);
    EXPECT_EQ(CAppManager::GetHWnd(), nullptr);
    EXPECT_EQ(CAppManager::GetListener(), nullptr);
  }).join();

  EXPECT_EQ(CAppManager::GetHWnd(), reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(CAppManager::GetApplication(), &here);
  CAppManager::Register(&there, nullptr);  // a thread's new registration replaces its old one
  EXPECT_EQ(CAppManager::GetHWnd(), reinterpret_cast<HWND>(0x5678));
  CAppManager::Unregister(&here);  // no longer registered: nothing changes
  EXPECT_EQ(CAppManager::GetApplication(), &there);
  CAppManager::Unregister(&there);
  EXPECT_EQ(CAppManager::GetHWnd(), nullptr);
  CAppManager::Register(nullptr, nullptr);
  EXPECT_EQ(CAppManager::GetApplication(), nullptr);
}

}  // namespace
