// Per-thread COM counting, observed through CoInitialize's own answers on fresh threads: S_FALSE means
// COM was already initialised on the thread, S_OK that it was not.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <thread>

#include "app/ComCount.h"

namespace {

// True when the calling thread has COM initialised (in either apartment model). Leaves it as it was.
bool ComInitialisedHere() {
  HRESULT result = CoInitialize(nullptr);
  if (result == RPC_E_CHANGED_MODE) return true;  // initialised as multithreaded
  if (SUCCEEDED(result)) CoUninitialize();
  return result == S_FALSE;
}

TEST(ComCountTest, EnterTwiceLeaveTwice) {
  std::thread([] {
    ASSERT_FALSE(ComInitialisedHere());
    EXPECT_EQ(GetComCount(), 0);
    EXPECT_TRUE(ComEnter());
    EXPECT_TRUE(ComInitialisedHere());
    EXPECT_TRUE(ComEnter());
    EXPECT_EQ(GetComCount(), 2);
    ComLeave();
    EXPECT_TRUE(ComInitialisedHere()) << "one leave of two enters keeps COM";
    EXPECT_EQ(GetComCount(), 1);
    ComLeave();
    EXPECT_FALSE(ComInitialisedHere()) << "the last leave uninitialises";
    EXPECT_EQ(GetComCount(), 0);
    ComLeave();  // no count: nothing happens
    EXPECT_FALSE(ComInitialisedHere());
  }).join();
}

TEST(ComCountTest, ThreadsCountSeparately) {
  ASSERT_TRUE(ComEnter());
  std::thread([] {
    EXPECT_EQ(GetComCount(), 0);
    EXPECT_FALSE(ComInitialisedHere());
    ComLeave();  // the other thread's count is not touched
  }).join();
  EXPECT_EQ(GetComCount(), 1);
  ComLeave();
  EXPECT_EQ(GetComCount(), 0);
}

TEST(ComCountTest, FailedEnterLeavesNoCount) {
  std::thread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_FALSE(ComEnter()) << "CoInitialize fails on a multithreaded apartment";
    EXPECT_EQ(GetComCount(), 0);
    ComLeave();  // must not uninitialise the caller's own COM
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  }).join();
}

}  // namespace
