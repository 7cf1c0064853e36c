#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/Event.h"
#include "foundation/Singleton.h"
#include "foundation/Thread.h"

namespace {

constexpr DWORD kGenerous = 10000;  // ms; only a fault makes a wait last that long
constexpr DWORD kNoThread = 0xFFFFFFFF;

// A registry that also remembers every thread added to it.
class RecordingRegistry : public CThreadRegistry {
 public:
  void Add(CThreadBase* thread) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      added_.push_back(thread);
    }
    CThreadRegistry::Add(thread);
  }
  std::vector<CThreadBase*> Added() {
    std::lock_guard<std::mutex> lock(mutex_);
    return added_;
  }

 private:
  std::mutex mutex_;
  std::vector<CThreadBase*> added_;
};

// Runs until a stop is requested, sleeping on the stop event meanwhile.
class LoopThread : public CThread {
 public:
  explicit LoopThread(CThreadRegistryBase* registry = nullptr) : CThread(registry) {}
  ~LoopThread() override { Stop(); }

  CManualEvent entered;
  std::atomic<int> runs{0};
  std::atomic<int> finished{0};
  std::atomic<int> priorityAtStart{-100};

 protected:
  void Run() override {
    ++runs;
    priorityAtStart = GetThreadPriority(GetCurrentThread());
    entered.Set();
    while (IsRunning()) SleepFor(INFINITE);
    ++finished;
  }
};

// Runs the given body.
class BodyThread : public CThread {
 public:
  BodyThread(CThreadRegistryBase* registry, std::function<void(BodyThread*)> body)
      : CThread(registry), body_(std::move(body)) {}
  ~BodyThread() override { Stop(); }

 protected:
  void Run() override { body_(this); }

 private:
  std::function<void(BodyThread*)> body_;
};

TEST(Thread, StartReturnsOnceTheThreadIsListedAndStopEndsIt) {
  RecordingRegistry registry;
  LoopThread thread(&registry);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.GetThreadId(), kNoThread);
  EXPECT_EQ(thread.GetPriority(), 0);
  EXPECT_FALSE(thread.SetPriority(THREAD_PRIORITY_LOWEST));
  EXPECT_EQ(thread.Suspend(), 0u);
  EXPECT_EQ(thread.Resume(), 0u);

  ASSERT_TRUE(thread.Start(0));
  EXPECT_EQ(registry.Added(), std::vector<CThreadBase*>{&thread});
  EXPECT_TRUE(thread.IsRunning());
  DWORD id = thread.GetThreadId();
  EXPECT_NE(id, kNoThread);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  ASSERT_EQ(thread.entered.Wait(kGenerous), WAIT_OBJECT_0);
  EXPECT_EQ(thread.priorityAtStart, THREAD_PRIORITY_NORMAL);
  EXPECT_EQ(thread.GetPriority(), THREAD_PRIORITY_NORMAL);

  thread.Stop();
  EXPECT_EQ(thread.finished, 1);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.GetThreadId(), kNoThread);
  EXPECT_EQ(thread.GetPriority(), 0);
  thread.Stop();  // nothing left to stop
  EXPECT_EQ(thread.runs, 1);
}

TEST(Thread, StopFromInsideRunReturnsAtOnce) {
  CManualEvent returned;
  std::atomic<bool> runningAfterStop{true};
  BodyThread thread(nullptr, [&](BodyThread* self) {
    self->Stop();
    runningAfterStop = self->IsRunning();
    returned.Set();
  });
  ASSERT_TRUE(thread.Start(0));
  EXPECT_EQ(returned.Wait(kGenerous), WAIT_OBJECT_0);
  EXPECT_FALSE(runningAfterStop);
  thread.Stop();
}

TEST(Thread, StartWhileRunningFirstStopsAndWaitsForTheEarlierThread) {
  LoopThread thread;
  ASSERT_TRUE(thread.Start(0));
  ASSERT_EQ(thread.entered.Wait(kGenerous), WAIT_OBJECT_0);
  thread.entered.Reset();

  ASSERT_TRUE(thread.Start(0));
  EXPECT_EQ(thread.finished, 1);  // the earlier body had ended before Start went on
  ASSERT_EQ(thread.entered.Wait(kGenerous), WAIT_OBJECT_0);
  EXPECT_EQ(thread.runs, 2);
  EXPECT_TRUE(thread.IsRunning());
  thread.Stop();
  EXPECT_EQ(thread.finished, 2);
}

TEST(Thread, PriorityIsSetBeforeTheBodyRunsAndSuspendCounts) {
  LoopThread thread;
  ASSERT_TRUE(thread.Start(THREAD_PRIORITY_BELOW_NORMAL));
  ASSERT_EQ(thread.entered.Wait(kGenerous), WAIT_OBJECT_0);
  EXPECT_EQ(thread.priorityAtStart, THREAD_PRIORITY_BELOW_NORMAL);
  EXPECT_EQ(thread.GetPriority(), THREAD_PRIORITY_BELOW_NORMAL);
  // What the install job does after starting its worker.
  EXPECT_TRUE(thread.SetPriority(THREAD_PRIORITY_TIME_CRITICAL));
  EXPECT_EQ(thread.GetPriority(), THREAD_PRIORITY_TIME_CRITICAL);

  EXPECT_EQ(thread.Suspend(), 0u);
  EXPECT_EQ(thread.Suspend(), 1u);
  EXPECT_EQ(thread.Resume(), 2u);
  EXPECT_EQ(thread.Resume(), 1u);
  thread.Stop();
  EXPECT_EQ(thread.finished, 1);
}

TEST(Thread, SleepForIsCutShortByRequestStopAndWaitsOnlyOnItsOwnThread) {
  CManualEvent sleeping, woke, wokeAgain;
  BodyThread thread(nullptr, [&](BodyThread* self) {
    self->SleepFor(0);  // returns at once
    sleeping.Set();
    self->SleepFor(INFINITE);
    woke.Set();
    self->SleepFor(INFINITE);  // the stop stays requested
    wokeAgain.Set();
  });
  ASSERT_TRUE(thread.Start(0));
  ASSERT_EQ(sleeping.Wait(kGenerous), WAIT_OBJECT_0);

  // On any other thread SleepFor does nothing.
  CManualEvent otherReturned;
  std::thread other([&] {
    thread.SleepFor(INFINITE);
    otherReturned.Set();
  });
  EXPECT_EQ(otherReturned.Wait(kGenerous), WAIT_OBJECT_0);
  other.join();

  EXPECT_EQ(woke.Wait(50), static_cast<DWORD>(WAIT_TIMEOUT));  // a short look: it can only miss a fault
  thread.RequestStop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(woke.Wait(kGenerous), WAIT_OBJECT_0);
  EXPECT_EQ(wokeAgain.Wait(kGenerous), WAIT_OBJECT_0);
  thread.Stop();
}

struct RunnableCounts {
  std::atomic<int> runs{0};
  std::atomic<int> destroyed{0};
  CManualEvent entered;
};

// Counts its runs and its destruction; with a thread given, runs until that thread is told to stop.
class CountingRunnable : public CRunnable {
 public:
  CountingRunnable(RunnableCounts* counts, CThread* thread) : counts_(counts), thread_(thread) {}
  ~CountingRunnable() override { ++counts_->destroyed; }
  void Run() override {
    ++counts_->runs;
    counts_->entered.Set();
    if (thread_)
      while (thread_->IsRunning()) thread_->SleepFor(INFINITE);
  }

 private:
  RunnableCounts* counts_;
  CThread* thread_;
};

TEST(Thread, RunnablesReplaceEachOtherAndLiveAsLongAsTheyRun) {
  RunnableCounts first, second, third, fourth;
  LoopThread thread;

  thread.SetRunnable(std::make_unique<CountingRunnable>(&first, nullptr));
  thread.SetRunnable(std::make_unique<CountingRunnable>(&second, &thread));
  EXPECT_EQ(first.destroyed, 1);
  EXPECT_EQ(second.destroyed, 0);

  ASSERT_TRUE(thread.Start(0));
  ASSERT_EQ(second.entered.Wait(kGenerous), WAIT_OBJECT_0);
  EXPECT_EQ(thread.runs, 0);  // the runnable runs instead of the thread's own body

  // A new runnable: the earlier thread is stopped and waited for, so its runnable is gone by then.
  ASSERT_TRUE(thread.StartRunnable(std::make_unique<CountingRunnable>(&third, &thread), 0));
  EXPECT_EQ(second.runs, 1);
  EXPECT_EQ(second.destroyed, 1);
  ASSERT_EQ(third.entered.Wait(kGenerous), WAIT_OBJECT_0);

  // Replacing the runnable of a running thread does not destroy it under the thread's feet.
  thread.SetRunnable(std::make_unique<CountingRunnable>(&fourth, nullptr));
  EXPECT_EQ(third.destroyed, 0);
  EXPECT_TRUE(thread.IsRunning());
  thread.Stop();
  EXPECT_EQ(third.runs, 1);
  EXPECT_EQ(third.destroyed, 1);
  EXPECT_EQ(fourth.runs, 0);
  EXPECT_EQ(fourth.destroyed, 0);

  // Without a runnable the thread's own body runs again.
  thread.SetRunnable(nullptr);
  EXPECT_EQ(fourth.destroyed, 1);
  ASSERT_TRUE(thread.Start(0));
  ASSERT_EQ(thread.entered.Wait(kGenerous), WAIT_OBJECT_0);
  thread.Stop();
  EXPECT_EQ(thread.runs, 1);
}

TEST(ThreadRegistry, StopAllFromAListedThreadReturnsWhenOnlyTheCallerIsLeft) {
  // A registry of the test's own: the process's registry stops only once.
  CThreadRegistry registry;
  LoopThread b(&registry), c(&registry);
  ASSERT_TRUE(b.Start(0));
  ASSERT_TRUE(c.Start(0));

  CManualEvent done;
  std::atomic<bool> first{false}, second{true};
  std::atomic<int> finishedWhenReturned{-1};
  BodyThread a(&registry, [&](BodyThread*) {
    first = registry.StopAll();
    finishedWhenReturned = b.finished + c.finished;
    second = registry.StopAll();
    done.Set();
  });
  ASSERT_TRUE(a.Start(0));
  ASSERT_EQ(done.Wait(kGenerous), WAIT_OBJECT_0);
  EXPECT_TRUE(first);
  EXPECT_FALSE(second);
  EXPECT_EQ(finishedWhenReturned, 2);
  EXPECT_FALSE(b.IsRunning());
  EXPECT_FALSE(c.IsRunning());
  a.Stop();
}

TEST(ThreadRegistry, StopAllFromOutsideWaitsForEveryThread) {
  CThreadRegistry empty;
  EXPECT_TRUE(empty.StopAll());
  EXPECT_FALSE(empty.StopAll());

  CThreadRegistry registry;
  LoopThread threads[3] = {LoopThread(&registry), LoopThread(&registry), LoopThread(&registry)};
  for (LoopThread& thread : threads) ASSERT_TRUE(thread.Start(0));
  EXPECT_TRUE(registry.StopAll());
  for (LoopThread& thread : threads) {
    EXPECT_EQ(thread.finished, 1);
    EXPECT_FALSE(thread.IsRunning());
  }
  EXPECT_FALSE(registry.StopAll());
}

TEST(ThreadRegistry, WaitAllReturnsOnceTheLastThreadHasLeft) {
  CThreadRegistry registry, waiterRegistry;
  LoopThread first(&registry), second(&registry);
  ASSERT_TRUE(first.Start(0));
  ASSERT_TRUE(second.Start(0));

  CManualEvent done;
  BodyThread waiter(&waiterRegistry, [&](BodyThread*) {
    registry.WaitAll();
    done.Set();
  });
  ASSERT_TRUE(waiter.Start(0));
  EXPECT_EQ(done.Wait(50), static_cast<DWORD>(WAIT_TIMEOUT));  // a short look: it can only miss a fault
  first.Stop();
  EXPECT_EQ(done.Wait(50), static_cast<DWORD>(WAIT_TIMEOUT));
  second.RequestStop();
  EXPECT_EQ(done.Wait(kGenerous), WAIT_OBJECT_0);
  registry.WaitAll();  // nothing left: returns at once
}

DWORD WINAPI WaitAllOn(void* registry) {
  static_cast<CThreadRegistry*>(registry)->WaitAll();
  return 0;
}

TEST(ThreadRegistry, EveryOneOfSeveralWaitersIsReleased) {
  // Left to live: a waiter that hangs must not outlive what it waits on.
  CThreadRegistry* registry = new CThreadRegistry();
  LoopThread worker(registry);
  ASSERT_TRUE(worker.Start(0));
  HANDLE waiters[3];
  for (HANDLE& waiter : waiters) {
    waiter = CreateThread(nullptr, 0, &WaitAllOn, registry, 0, nullptr);
    ASSERT_NE(nullptr, waiter);
  }
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(3, waiters, FALSE, 50));
  worker.Stop();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(3, waiters, TRUE, kGenerous)) << "a waiter still waits";
  // A thread listed anew makes waiting wait again.
  ASSERT_TRUE(worker.Start(0));
  HANDLE late = CreateThread(nullptr, 0, &WaitAllOn, registry, 0, nullptr);
  ASSERT_NE(nullptr, late);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(late, 50));
  worker.Stop();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(late, kGenerous));
  for (HANDLE waiter : waiters) CloseHandle(waiter);
  CloseHandle(late);
}

TEST(Thread, WaitLetsTheBodyRunToItsOwnEnd) {
  CManualEvent release;
  std::atomic<bool> askedToStop{false};
  BodyThread thread(nullptr, [&](BodyThread* self) {
    release.Wait(kGenerous);
    askedToStop = !self->IsRunning();
  });
  thread.Wait();  // no thread yet: returns at once
  ASSERT_TRUE(thread.Start(0));
  EXPECT_TRUE(thread.IsAlive());
  CManualEvent waited;
  std::thread waiter([&] {
    thread.Wait();
    waited.Set();
  });
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), waited.Wait(100));
  EXPECT_TRUE(thread.IsRunning()) << "waiting asks for no stop";
  release.Set();
  EXPECT_EQ(WAIT_OBJECT_0, waited.Wait(kGenerous));
  waiter.join();
  EXPECT_FALSE(askedToStop.load());
  EXPECT_FALSE(thread.IsAlive());
}

TEST(ThreadRegistry, ThreadsListThemselvesInTheProcessRegistryByDefault) {
  CThreadRegistry* registry = GetThreadRegistry();
  ASSERT_NE(registry, nullptr);
  CThreadRegistry* seenElsewhere = nullptr;
  std::thread([&] { seenElsewhere = GetThreadRegistry(); }).join();
  EXPECT_EQ(seenElsewhere, registry);

  LoopThread thread;
  ASSERT_TRUE(thread.Start(0));
  CThreadRegistry waiterRegistry;
  CManualEvent done;
  BodyThread waiter(&waiterRegistry, [&](BodyThread*) {
    GetThreadRegistry()->WaitAll();
    done.Set();
  });
  ASSERT_TRUE(waiter.Start(0));
  EXPECT_EQ(done.Wait(50), static_cast<DWORD>(WAIT_TIMEOUT));  // a short look: it can only miss a fault
  thread.RequestStop();
  EXPECT_EQ(done.Wait(kGenerous), WAIT_OBJECT_0);
}

struct CountedService {
  CountedService() { ++made; }
  static inline std::atomic<int> made{0};
};

TEST(Singleton, ManyFirstUsersAtOnceGetTheOneInstance) {
  CManualEvent go;
  std::vector<CountedService*> seen(8, nullptr);
  std::vector<std::thread> users;
  for (size_t i = 0; i < seen.size(); ++i) {
    users.emplace_back([&, i] {
      go.Wait(kGenerous);
      seen[i] = CSingleton<CountedService>::Get();
    });
  }
  go.Set();
  for (std::thread& user : users) user.join();
  ASSERT_NE(seen[0], nullptr);
  for (CountedService* service : seen) EXPECT_EQ(service, seen[0]);
  EXPECT_EQ(CountedService::made, 1);
  EXPECT_EQ(CSingleton<CountedService>::Get(), seen[0]);
  EXPECT_NE(CSingleton<CountedService>::GetSection(), nullptr);
  EXPECT_EQ(CSingleton<CountedService>::GetSection(), CSingleton<CountedService>::GetSection());
  EXPECT_NE(GetStaticCreationLock(), nullptr);
  EXPECT_EQ(GetStaticCreationLock(), GetStaticCreationLock());
}

}  // namespace
