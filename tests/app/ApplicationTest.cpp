// The application object: its accessors, the order of its construction and destruction, and the real
// command line of a started program (a copy of this test program, started as a child whose one case,
// ApplicationChild.DISABLED_Run, is chosen through GTEST_FILTER in the environment).

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "foundation/Thread.h"
#include "image/BlendTables.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::HarnessSetting;
using testing_support::ScratchFolder;
using testing_support::SetHarnessSetting;

// What the hooks saw.
struct Observer {
  std::vector<std::string> events;
  CApplication* liveAtStart = nullptr;
  void StartA() {
    liveAtStart = CApplication::GetApplication();
    events.push_back("startA");
  }
  void StartB() { events.push_back("startB args=" + std::to_string(CApplication::GetArgCount())); }
  void Late() { events.push_back("late"); }
  void Shutdown() { events.push_back(std::string("shutdown live=") + (CApplication::GetApplication() ? "yes" : "no")); }
};

class CountedCallback : public function_callback {
 public:
  explicit CountedCallback(int* destroyed) : destroyed_(destroyed) {}
  void call() override {}
  void destroy() override {
    ++*destroyed_;
    delete this;
  }
  void inner_bind(void*) override {}

 private:
  int* destroyed_;
};

TEST(ApplicationTest, AccessorsHooksAndLifetime) {
  ASSERT_EQ(CApplication::GetApplication(), nullptr);
  Observer observer;
  int destroyed = 0;
  AddStartupHook(make_function_callback(&observer, &Observer::StartA));
  AddStartupHook(make_function_callback(&observer, &Observer::StartB));
  AddStartupHook(new CountedCallback(&destroyed));

  char commandLine[] = "/given";
  const std::vector<std::string> expected = SplitCommandLine(GetCommandLineA());
  HINSTANCE instance = GetModuleHandleA(nullptr);
  {
    auto app = std::make_unique<CApplication>(instance, reinterpret_cast<HINSTANCE>(1), commandLine, SW_SHOW);
    ASSERT_EQ(CApplication::GetApplication(), app.get());
    EXPECT_EQ(observer.liveAtStart, app.get()) << "published before the start-up hooks run";
    EXPECT_EQ(observer.events, (std::vector<std::string>{"startA", "startB args=" + std::to_string(expected.size())}));
    EXPECT_EQ(destroyed, 1) << "the start-up list is cleared and its callbacks destroyed";
    EXPECT_EQ(GetAppHooks()->GetStartupCount(), 0u);

    EXPECT_EQ(CApplication::GetInstanceHandle(), instance);
    EXPECT_EQ(CApplication::GetPrevInstance(), reinterpret_cast<HINSTANCE>(1));
    EXPECT_EQ(CApplication::GetCmdLine(), commandLine);
    EXPECT_EQ(CApplication::GetCmdShow(), SW_SHOW);
    ASSERT_EQ(CApplication::GetArgCount(), expected.size());
    ASSERT_GE(expected.size(), 1u);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(CApplication::GetArg(i), expected[i]) << i;
    EXPECT_EQ(CApplication::GetArg(expected.size()), "");
    EXPECT_EQ(CApplication::GetArg(static_cast<size_t>(-1)), "");

    // Added now: the start-up hook never runs for this object, the shut-down hook runs at its end.
    CApplication::AddStartupCallback(make_function_callback(&observer, &Observer::Late));
    CApplication::AddShutdownCallback(make_function_callback(&observer, &Observer::Shutdown));
    // Destroying the application uses up the thread registry's StopAll, which works once per process: a
    // later CApplication test in this program would stop no threads at its end. Threads stopped by the
    // application are tested in a child process (ProgramStartedWithQuotedPathAndSwitch).
    app.reset();
  }
  EXPECT_EQ(observer.events.back(), "shutdown live=yes") << "shut-down hooks run before the pointer is cleared";
  EXPECT_EQ(observer.events.size(), 3u);
  EXPECT_EQ(CApplication::GetApplication(), nullptr);
  EXPECT_EQ(CApplication::GetInstanceHandle(), nullptr);
  EXPECT_EQ(CApplication::GetArgCount(), 0u);
  EXPECT_EQ(CApplication::GetArg(0), "");
  EXPECT_EQ(CApplication::GetCmdLine(), nullptr);

  // The late start-up hook waits for the next application.
  EXPECT_EQ(GetAppHooks()->GetStartupCount(), 1u);
  GetAppHooks()->RunStartup();
  EXPECT_EQ(observer.events.back(), "late");
}

// ---- The child ----

class Worker : public CThread {
 public:
  std::atomic<bool> ended{false};
  void Run() override {
    while (IsRunning()) SleepFor(30000);
    ended = true;
  }
};

Worker* g_worker = nullptr;
std::vector<std::string> g_childEvents;

void ChildStartup() {
  g_childEvents.push_back(std::string("tables built at start-up hook: ") + (AreBlendTablesBuilt() ? "yes" : "no"));
}
void ChildShutdown() {
  g_childEvents.push_back(std::string("worker ended at shut-down hook: ") + (g_worker->ended ? "yes" : "no"));
}

TEST(ApplicationChild, DISABLED_Run) {
  if (HarnessSetting("ADDON_APP_CHILD").empty()) GTEST_SKIP() << "runs only as a child of ApplicationTest";
  AddStartupHook(make_function_callback(&ChildStartup));
  AddShutdownHook(make_function_callback(&ChildShutdown));
  std::string report;
  {
    auto app = std::make_unique<CApplication>(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
    report += "tables built after construction: " + std::string(AreBlendTablesBuilt() ? "yes" : "no") + "\n";
    const bool right = GetBlendTable555(31)[0x1234] == 0x1234 && MultiplyByte(128, 128) == 64;
    report += "tables built on first use: " + std::string(AreBlendTablesBuilt() && right ? "yes" : "no") + "\n";
    for (size_t i = 0; i < CApplication::GetArgCount(); ++i) report += "arg " + CApplication::GetArg(i) + "\n";
    Worker worker;
    g_worker = &worker;
    if (!worker.Start()) report += "worker did not start\n";
    // Destroying the application stops the worker and waits for it.
    app.reset();
  }
  for (const std::string& e : g_childEvents) report += e + "\n";
  testing_support::WriteWholeFile(HarnessSetting("ADDON_APP_CHILD_OUT"), report);
  ExitProcess(0);
}

TEST(ApplicationTest, ProgramStartedWithQuotedPathAndSwitch) {
  ScratchFolder scratch;
  const std::string folder = scratch / "with space";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string program = folder + "\\app tests.exe";
  ASSERT_TRUE(CopyFileA(testing_support::ThisProgramPath().c_str(), program.c_str(), FALSE));
  const std::string out = scratch / "report.txt";

  {
    testing_support::ChildEnvironment environment({{"ADDON_APP_CHILD", "1"}, {"ADDON_APP_CHILD_OUT", out}},
                                                  "ApplicationChild.DISABLED_Run");
    ASSERT_NE(testing_support::RunToExit("\"" + program + "\" /s"), ~0u) << "the child ran to its end";
  }

  std::string report;
  ASSERT_TRUE(testing_support::ReadWholeFile(out, &report));
  EXPECT_EQ(report,
            "tables built after construction: no\n"
            "tables built on first use: yes\n"
            "arg " +
                program +
                "\n"
                "arg /s\n"
                "tables built at start-up hook: no\n"
                "worker ended at shut-down hook: yes\n");
}

}  // namespace
