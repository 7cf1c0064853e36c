#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Event.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::DebugCapture;

constexpr DWORD kGenerous = 10000;  // ms; only a fault makes a wait last that long

const std::string kSectionUnbalanced = "CCriticalSection::Leave() Enter()されていないのにLeave()が呼び出された。";
const std::string kSectionHeldAtEnd =
    "CCriticalSection::~CCriticalSection() Leave()されていないまま解放されようとしている。";
const std::string kLockUnbalanced = "CCriticalLock::Leave() Enter()されていないのにLeaveが呼び出された。";
const std::string kLockNull = "CCriticalLock::CCriticalLock() 無効なクリティカルセクションが渡された。";

// Enters `section` on another thread. entered() tells whether it got in; the thread leaves once released.
class Contender {
 public:
  explicit Contender(CCriticalSection* section)
      : thread_([this, section] {
          section->Enter();
          entered_.Set();
          release_.Wait(kGenerous);
          section->Leave();
        }) {}
  ~Contender() {
    release_.Set();
    thread_.join();
  }
  // True once the contender holds the section (waiting at most `milliseconds`).
  bool Entered(DWORD milliseconds) { return entered_.Wait(milliseconds) == WAIT_OBJECT_0; }

 private:
  CManualEvent entered_;
  CManualEvent release_;
  std::thread thread_;
};

TEST(CriticalSection, CountsEntriesAndExcludesOtherThreadsUntilFullyLeft) {
  CCriticalSection section;
  section.Enter();
  section.Enter();  // recursive on the same thread
  EXPECT_EQ(section.GetCount(), 2);
  {
    Contender other(&section);
    section.Leave();
    EXPECT_EQ(section.GetCount(), 1);
    // Still held once: the other thread must not get in (a short look; it can only miss a fault).
    EXPECT_FALSE(other.Entered(50));
    section.Leave();
    EXPECT_TRUE(other.Entered(kGenerous));
    EXPECT_EQ(section.GetCount(), 1);  // the other thread's entry
  }
  EXPECT_EQ(section.GetCount(), 0);
}

TEST(CriticalSection, UnbalancedLeaveIsReportedAndIgnored) {
  DebugCapture capture;
  CCriticalSection section;
  section.Leave();
  EXPECT_EQ(capture.Texts(), std::vector<std::string>{kSectionUnbalanced});
  EXPECT_EQ(section.GetCount(), 0);

  // The section still works: entered and left once, another thread gets in.
  section.Enter();
  section.Leave();
  section.Leave();
  EXPECT_EQ(capture.Texts().size(), 2u);
  Contender other(&section);
  EXPECT_TRUE(other.Entered(kGenerous));
}

TEST(CriticalSection, DestroyedWhileEnteredIsReportedAndReleased) {
  DebugCapture capture;
  auto section = std::make_unique<CCriticalSection>();
  section->Enter();
  section->Enter();
  section.reset();
  EXPECT_EQ(capture.Texts(), std::vector<std::string>{kSectionHeldAtEnd});
}

TEST(CriticalLock, LeavesAsOftenAsItIsStillEnteredAtItsEnd) {
  DebugCapture capture;
  CCriticalSection section;
  {
    CCriticalLock lock(&section);
    EXPECT_EQ(section.GetCount(), 1);
    lock.Enter();
    EXPECT_EQ(lock.GetCount(), 2);
    EXPECT_EQ(section.GetCount(), 2);
  }
  EXPECT_EQ(section.GetCount(), 0);
  {
    // Let go for a while (as a waiting scope does), enter again; the end releases what is held.
    CCriticalLock lock(&section);
    lock.Leave();
    EXPECT_EQ(section.GetCount(), 0);
    {
      Contender other(&section);
      EXPECT_TRUE(other.Entered(kGenerous));
    }
    lock.Enter();
    EXPECT_EQ(section.GetCount(), 1);
  }
  EXPECT_EQ(section.GetCount(), 0);
  EXPECT_TRUE(capture.Texts().empty());
  Contender other(&section);
  EXPECT_TRUE(other.Entered(kGenerous));
}

TEST(CriticalLock, UnbalancedLeaveIsReportedAndDoesNotReachTheSection) {
  DebugCapture capture;
  CCriticalSection section;
  section.Enter();  // held by this thread besides the lock
  {
    CCriticalLock lock(&section);
    lock.Leave();
    lock.Leave();  // one too many: must not leave the section's other entry
    EXPECT_EQ(section.GetCount(), 1);
  }
  EXPECT_EQ(section.GetCount(), 1);
  section.Leave();
  EXPECT_EQ(capture.Texts(), std::vector<std::string>{kLockUnbalanced});
}

TEST(CriticalLock, NullLockableIsReportedAndGuardsNothing) {
  DebugCapture capture;
  {
    CCriticalLock lock(nullptr);
    EXPECT_EQ(lock.GetCount(), 1);
    lock.Enter();
    lock.Leave();
    EXPECT_EQ(lock.GetCount(), 1);
  }
  EXPECT_EQ(capture.Texts(), std::vector<std::string>{kLockNull});
}

TEST(Event, AutoResetReleasesOneWaitButIsSetRemembersTheLastSet) {
  CEvent event;
  ASSERT_NE(event.GetHandle(), nullptr);
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(event.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));

  EXPECT_TRUE(event.Set());
  EXPECT_TRUE(event.IsSet());
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(event.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));  // consumed by the first wait
  EXPECT_TRUE(event.IsSet());                                  // until Reset

  // A waiter on another thread is released; the flag still says set.
  CManualEvent released;
  std::thread waiter([&] {
    if (event.Wait(kGenerous) == WAIT_OBJECT_0) released.Set();
  });
  event.Set();
  EXPECT_EQ(released.Wait(kGenerous), WAIT_OBJECT_0);
  waiter.join();
  EXPECT_TRUE(event.IsSet());

  EXPECT_TRUE(event.Reset());
  EXPECT_FALSE(event.IsSet());
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
  CManualEvent event;
  event.Set();
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
  event.Reset();
  EXPECT_EQ(event.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));

  // Made again: still manual-reset, and not signalled.
  event.Set();
  ASSERT_TRUE(event.Create());
  EXPECT_NE(event.GetHandle(), nullptr);
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(event.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));
  event.Set();
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
}

TEST(Event, CreateAndCloseReplaceTheHandle) {
  CEvent event;
  event.Set();
  ASSERT_TRUE(event.Create());
  EXPECT_FALSE(event.IsSet());
  EXPECT_EQ(event.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));
  event.Set();
  EXPECT_EQ(event.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(event.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));  // auto-reset again

  event.Close();
  EXPECT_EQ(event.GetHandle(), nullptr);
  EXPECT_FALSE(event.Set());
  EXPECT_EQ(event.Wait(0), static_cast<DWORD>(WAIT_FAILED));
  event.Close();  // twice is harmless
}

TEST(Event, WaitForEventsWaitsForAnyOrAll) {
  CEvent events[3];
  EXPECT_EQ(WaitForEvents(3, events, false, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  events[2].Set();
  EXPECT_EQ(WaitForEvents(3, events, false, 0), WAIT_OBJECT_0 + 2);

  events[0].Set();
  events[2].Set();
  EXPECT_EQ(WaitForEvents(3, events, true, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // [1] missing
  events[1].Set();
  EXPECT_EQ(WaitForEvents(3, events, true, 0), WAIT_OBJECT_0);

  // Events of mixed kinds through pointers; one set from another thread.
  CEvent autoEvent;
  CManualEvent manualEvent;
  CWaitable* mixed[] = {&autoEvent, &manualEvent};
  std::thread setter([&] { manualEvent.Set(); });
  EXPECT_EQ(WaitForEvents(2, mixed, false, kGenerous), WAIT_OBJECT_0 + 1);
  setter.join();

  // Bad requests fail cleanly.
  EXPECT_EQ(WaitForEvents(0, events, false, 0), static_cast<DWORD>(WAIT_FAILED));
  EXPECT_EQ(WaitForEvents(1, static_cast<CEvent*>(nullptr), false, 0), static_cast<DWORD>(WAIT_FAILED));
  CWaitable* withNull[] = {&autoEvent, nullptr};
  EXPECT_EQ(WaitForEvents(2, withNull, false, 0), static_cast<DWORD>(WAIT_FAILED));
  std::unique_ptr<CEvent[]> many(new CEvent[MAXIMUM_WAIT_OBJECTS + 1]);
  EXPECT_EQ(WaitForEvents(MAXIMUM_WAIT_OBJECTS + 1, many.get(), false, 0), static_cast<DWORD>(WAIT_FAILED));
}

}  // namespace
