// Process and instance helpers against real processes: the test program starts copies of itself whose
// one case (ProcessChild.DISABLED_Run, chosen through GTEST_FILTER in the environment) does what the
// ADDON_PROCESS_CHILD variable asks and reports back through its exit code or a file.

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "foundation/PathText.h"
#include "foundation/Process.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::ChildEnvironment;
using testing_support::HarnessSetting;
using testing_support::ReadWholeFile;
using testing_support::RunToExit;
using testing_support::ScratchFolder;
using testing_support::SetHarnessSetting;
using testing_support::ThisProgramPath;

constexpr DWORD kChildFirst = 10, kChildNotFirst = 11;

std::string FileName(const std::string& path) {
  std::string folder, name;
  SplitDirectoryAndName(path, folder, name);
  return name;
}

constexpr char kChildTest[] = "ProcessChild.DISABLED_Run";

// Starts this program (or a copy of it) as a child with the action and returns its exit code (~0 when it
// failed to run).
DWORD RunChild(const char* action, const std::string& program = ThisProgramPath()) {
  ChildEnvironment environment({{"ADDON_PROCESS_CHILD", action}}, kChildTest);
  return RunToExit("\"" + program + "\"");
}

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() {
    if (handle_) CloseHandle(handle_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// What a "report" child writes, one per line: its program file, command line and current directory,
// then whether the go event came.
struct ChildReport {
  std::string program, commandLine, directory, go;
};

bool ReadReport(const std::string& path, ChildReport* report) {
  std::string text;
  if (!ReadWholeFile(path, &text)) return false;
  std::string* fields[] = {&report->program, &report->commandLine, &report->directory, &report->go};
  size_t start = 0;
  for (std::string* field : fields) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;
    *field = text.substr(start, end - start);
    start = end + 1;
  }
  return true;
}

// A copy of this program below a folder whose name and file name hold spaces ("with space\copy of
// tests.exe"). With decoy, a second copy "with space\copy.exe" is put beside it: the program that the
// system starts for the unquoted line "...\with space\copy of tests.exe", which it reads as copy.exe
// with the argument "of tests.exe".
std::string CopyOfThisProgram(const ScratchFolder& scratch, std::string* decoy = nullptr) {
  const std::string folder = scratch / "with space";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string copy = folder + "\\copy of tests.exe";
  if (!CopyFileA(ThisProgramPath().c_str(), copy.c_str(), FALSE)) return std::string();
  if (decoy) {
    *decoy = folder + "\\copy.exe";
    if (!CopyFileA(ThisProgramPath().c_str(), decoy->c_str(), FALSE)) return std::string();
  }
  return copy;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
}

// A hidden top-level window of a class of its own, destroyed with the object.
class PlainWindow {
 public:
  PlainWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
    window_ = CreateWindowA(kClassName, "process test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                            windowClass.hInstance, nullptr);
  }
  ~PlainWindow() {
    if (window_) DestroyWindow(window_);
    UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
  }
  PlainWindow(const PlainWindow&) = delete;
  PlainWindow& operator=(const PlainWindow&) = delete;
  HWND get() const { return window_; }

  static constexpr const char* kClassName = "ProcessTestWindow";

 private:
  HWND window_ = nullptr;
};

BOOL CALLBACK AddClassOfOwnWindow(HWND window, LPARAM classes) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == GetCurrentProcessId()) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    auto* list = reinterpret_cast<std::string*>(classes);
    *list += (list->empty() ? "" : ",") + std::string(name);
  }
  return TRUE;
}

// ActivateRunningProgram brings forward the first window of the program in z-order, which is this
// window only when it is the process's one top-level window: without an input method the system makes
// no default IME window beside it. Reports what the process had and what the calls did.
std::string ActivateInAProcessOfOneWindow() {
  using DisableFunction = BOOL(WINAPI*)(DWORD);
  HMODULE imm = LoadLibraryA("imm32.dll");
  auto disable =
      imm ? reinterpret_cast<DisableFunction>(reinterpret_cast<void*>(GetProcAddress(imm, "ImmDisableIME"))) : nullptr;
  if (disable) disable(static_cast<DWORD>(-1));  // every thread of the process

  PlainWindow window;
  if (!window.get()) return "no window\n";
  std::string report;
  std::string classes;
  EnumWindows(&AddClassOfOwnWindow, reinterpret_cast<LPARAM>(&classes));
  report += "windows: " + classes + "\n";
  report += std::string("visible before: ") + (IsWindowVisible(window.get()) ? "yes" : "no") + "\n";
  // Only the file name counts: the same name in another folder finds this process.
  char name[MAX_PATH] = {};
  GetProcessExecutableName(window.get(), name, sizeof name);
  const bool found = !ActivateRunningProgram("C:\\somewhere else\\" + FileName(name));
  report += std::string("found: ") + (found ? "yes" : "no") + "\n";
  report += std::string("visible after: ") + (IsWindowVisible(window.get()) ? "yes" : "no") + "\n";
  return report;
}

TEST(ProcessChild, DISABLED_Run) {
  const std::string action = HarnessSetting("ADDON_PROCESS_CHILD");
  if (action == "instance") {
    CInstanceMutex guard;
    ExitProcess(guard.IsFirstInstance() ? kChildFirst : kChildNotFirst);
  }
  if (action == "report") {
    std::string go = "none";
    const std::string goName = HarnessSetting("ADDON_PROCESS_CHILD_GO");
    if (!goName.empty()) {
      ScopedHandle event(OpenEventA(SYNCHRONIZE, FALSE, goName.c_str()));
      go = event.get() && WaitForSingleObject(event.get(), 20000) == WAIT_OBJECT_0 ? "go" : "timeout";
    }
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof directory, directory);
    testing_support::WriteWholeFile(HarnessSetting("ADDON_PROCESS_CHILD_OUT"),
                                    ThisProgramPath() + "\n" + GetCommandLineA() + "\n" + directory + "\n" + go + "\n");
    const std::string doneName = HarnessSetting("ADDON_PROCESS_CHILD_DONE");
    if (!doneName.empty()) {
      ScopedHandle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, doneName.c_str()));
      if (event.get()) SetEvent(event.get());
    }
    ExitProcess(0);
  }
  if (action == "activate") {
    testing_support::WriteWholeFile(HarnessSetting("ADDON_PROCESS_CHILD_OUT"), ActivateInAProcessOfOneWindow());
    ExitProcess(0);
  }
  GTEST_SKIP() << "runs only as a child of ProcessTest";
}

TEST(ProcessTest, InstanceMutexExcludesASecondStartFromTheSamePath) {
  {
    CInstanceMutex first;
    EXPECT_TRUE(first.IsFirstInstance());
    // The name is the executable's path with '/' for '\\'.
    ScopedHandle named(OpenMutexA(SYNCHRONIZE, FALSE, BackslashToSlash(ThisProgramPath()).c_str()));
    EXPECT_NE(named.get(), nullptr);
    {
      CInstanceMutex second;  // the same name again, even in the same process
      EXPECT_FALSE(second.IsFirstInstance());
    }
    EXPECT_EQ(RunChild("instance"), kChildNotFirst) << "a second process while the first holds the guard";
  }
  EXPECT_EQ(RunChild("instance"), kChildFirst) << "after the first guard is gone";
  ScopedHandle released(OpenMutexA(SYNCHRONIZE, FALSE, BackslashToSlash(ThisProgramPath()).c_str()));
  EXPECT_EQ(released.get(), nullptr) << "the name must be free once every guard is destroyed";
}

// Copies of the program in two Japanese folders past 260 bytes (but of fewer than 260 characters) that
// differ only after their first 300 bytes: the guard names itself after the whole file name, so each
// copy has a name of its own, and a second start of the same copy is still kept out.
TEST(ProcessTest, InstanceMutexOfAProgramInALongJapaneseFolderNamesTheWholePath) {
  ScratchFolder scratch;
  std::string common = scratch / "ゲーム";
  while (common.size() < 300) common += "\\ソフト表示能力予十";
  std::string programs[2];
  const char* const ends[2] = {"表", "能"};
  for (int i = 0; i < 2; ++i) {
    const std::string folder = common + "\\" + ends[i];
    ASSERT_TRUE(testing_support::MakeFolders(folder));
    programs[i] = folder + "\\setup.exe";
    ASSERT_TRUE(CopyFileA(ThisProgramPath().c_str(), programs[i].c_str(), FALSE));
  }
  const std::string name = BackslashToSlash(programs[0]);
  ASSERT_GT(name.size(), 300u);
  ScopedHandle held(CreateMutexA(nullptr, TRUE, name.c_str()));
  ASSERT_NE(held.get(), nullptr) << GetLastError();
  EXPECT_EQ(RunChild("instance", programs[0]), kChildNotFirst) << "the same copy while its name is held";
  EXPECT_EQ(RunChild("instance", programs[1]), kChildFirst) << "the other copy, alike in its first 300 bytes";
}

TEST(ProcessTest, RunProcessQuotesAnExistingPathButNotAPathWithArguments) {
  ScratchFolder scratch;
  std::string decoy;
  const std::string program = CopyOfThisProgram(scratch, &decoy);
  ASSERT_FALSE(program.empty());
  const std::string out = scratch / "report.txt";
  ChildEnvironment environment({{"ADDON_PROCESS_CHILD", "report"}, {"ADDON_PROCESS_CHILD_OUT", out}}, kChildTest);
  ChildReport report;

  // With wait, the report is complete when RunProcess returns. The existing path is quoted, so the
  // program itself runs, not the decoy.
  ASSERT_TRUE(RunProcess(program, true, scratch.Path()));
  ASSERT_TRUE(ReadReport(out, &report));
  EXPECT_EQ(report.program, program);
  EXPECT_EQ(report.commandLine, "\"" + program + "\"");
  EXPECT_EQ(report.directory, scratch.Path());
  EXPECT_EQ(report.go, "none");
  DeleteFileA(out.c_str());

  // Path and argument: passed unquoted, so the system takes the shortest program name it finds.
  ASSERT_TRUE(RunProcess(program + " /s", true, ""));
  ASSERT_TRUE(ReadReport(out, &report));
  EXPECT_EQ(report.program, decoy);
  char own[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof own, own);
  EXPECT_EQ(report.directory, own) << "an empty directory keeps the caller's";
  DeleteFileA(out.c_str());

  // Already quoted: passed as it stands, not quoted twice.
  ASSERT_TRUE(RunProcess("\"" + program + "\" /x", true, ""));
  ASSERT_TRUE(ReadReport(out, &report));
  EXPECT_EQ(report.program, program);
  EXPECT_EQ(report.commandLine, "\"" + program + "\" /x");

  EXPECT_FALSE(RunProcess("", true, ""));
  EXPECT_FALSE(RunProcess(scratch / "no such program.exe", true, ""));
}

TEST(ProcessTest, RunProcessWithoutWaitReturnsWhileTheProgramRuns) {
  ScratchFolder scratch;
  const std::string program = CopyOfThisProgram(scratch);
  ASSERT_FALSE(program.empty());
  char goName[64], doneName[64];
  wsprintfA(goName, "addon-process-go-%lu", GetCurrentProcessId());
  wsprintfA(doneName, "addon-process-done-%lu", GetCurrentProcessId());
  ScopedHandle go(CreateEventA(nullptr, TRUE, FALSE, goName));
  ScopedHandle done(CreateEventA(nullptr, TRUE, FALSE, doneName));
  ASSERT_TRUE(go.get() && done.get());
  const std::string out = scratch / "report.txt";
  ChildEnvironment environment({{"ADDON_PROCESS_CHILD", "report"},
                                {"ADDON_PROCESS_CHILD_OUT", out},
                                {"ADDON_PROCESS_CHILD_GO", goName},
                                {"ADDON_PROCESS_CHILD_DONE", doneName}},
                               kChildTest);

  // The child waits for the go event that is set only after RunProcess has returned: had RunProcess
  // waited, the child would have given up first and reported "timeout".
  ASSERT_TRUE(RunProcess(program, false, ""));
  SetEvent(go.get());
  ASSERT_EQ(WaitForSingleObject(done.get(), 60000), WAIT_OBJECT_0);
  ChildReport report;
  ASSERT_TRUE(ReadReport(out, &report));
  EXPECT_EQ(report.go, "go");
}

TEST(ProcessTest, OpenWithShellStartsTheAssociatedProgram) {
  ScratchFolder scratch;
  const std::string program = CopyOfThisProgram(scratch);
  ASSERT_FALSE(program.empty());
  char doneName[64];
  wsprintfA(doneName, "addon-shell-done-%lu", GetCurrentProcessId());
  ScopedHandle done(CreateEventA(nullptr, TRUE, FALSE, doneName));
  const std::string out = scratch / "report.txt";
  ChildEnvironment environment(
      {{"ADDON_PROCESS_CHILD", "report"}, {"ADDON_PROCESS_CHILD_OUT", out}, {"ADDON_PROCESS_CHILD_DONE", doneName}},
      kChildTest);

  ASSERT_TRUE(OpenWithShell(nullptr, program, ""));
  ASSERT_EQ(WaitForSingleObject(done.get(), 60000), WAIT_OBJECT_0);
  ChildReport report;
  EXPECT_TRUE(ReadReport(out, &report));

  EXPECT_FALSE(OpenWithShell(nullptr, scratch / "missing.txt", "open"));
}

TEST(ProcessTest, FindsAndActivatesTheWindowOfAProgramByFileName) {
  PlainWindow plain;
  const HWND window = plain.get();
  ASSERT_NE(window, nullptr);
  ASSERT_FALSE(IsWindowVisible(window));

  char name[MAX_PATH];
  ASSERT_TRUE(GetProcessExecutableName(window, name, sizeof name));
  const std::string ownName = FileName(ThisProgramPath());
  EXPECT_EQ(lstrcmpiA(FileName(name).c_str(), ownName.c_str()), 0) << name;
  char cut[5];
  ASSERT_TRUE(GetProcessExecutableName(window, cut, sizeof cut));
  EXPECT_EQ(std::string(cut), std::string(name).substr(0, 4));
  EXPECT_FALSE(GetProcessExecutableName(window, cut, 0));
  char none[MAX_PATH];
  EXPECT_FALSE(GetProcessExecutableName(nullptr, none, sizeof none));
  EXPECT_STREQ(none, "");

  EXPECT_TRUE(ActivateRunningProgram("C:\\somewhere else\\no such program 7f3a.exe"));

  // Which of this process's windows comes first is the system's affair (an IME window may), so the
  // window is brought forward in a copy of this program under a name of its own whose one top-level
  // window is the test's.
  ScratchFolder scratch;
  const std::string copy = CopyOfThisProgram(scratch);
  ASSERT_FALSE(copy.empty());
  const std::string out = scratch / "report.txt";
  DWORD exitCode;
  {
    ChildEnvironment environment({{"ADDON_PROCESS_CHILD_OUT", out}});
    exitCode = RunChild("activate", copy);
  }
  ASSERT_EQ(exitCode, 0u);
  std::string report;
  ASSERT_TRUE(ReadWholeFile(out, &report));
  EXPECT_EQ(report, std::string("windows: ") + PlainWindow::kClassName +
                        "\n"
                        "visible before: no\n"
                        "found: yes\n"
                        "visible after: yes\n");
}

TEST(ProcessTest, WindowsKindOfEveryVersion) {
  struct Row {
    DWORD platform, major, minor;
    const char* service;
    int kind;
  } rows[] = {
      {VER_PLATFORM_WIN32s, 3, 10, "", kWindowsOld},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "", kWindows95},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, " A", kWindows95},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, " B", kWindows95Osr2},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, " C", kWindows95Osr2},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "B", kWindows95},  // the letter must be the second character
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "", kWindows98},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, " A ", kWindows98Se},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, " B", kWindows98},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "", kWindowsMe},
      {VER_PLATFORM_WIN32_WINDOWS, 4, 3, "", kWindowsOld},
      {VER_PLATFORM_WIN32_WINDOWS, 3, 95, "", kWindowsOld},
      {VER_PLATFORM_WIN32_WINDOWS, 5, 0, "", kWindowsNewer},
      {VER_PLATFORM_WIN32_NT, 3, 51, "", kWindowsNt4},
      {VER_PLATFORM_WIN32_NT, 4, 0, "Service Pack 6", kWindowsNt4},
      {VER_PLATFORM_WIN32_NT, 5, 0, "", kWindows2000},
      {VER_PLATFORM_WIN32_NT, 5, 1, "Service Pack 2", kWindowsXp},
      {VER_PLATFORM_WIN32_NT, 5, 2, "", kWindowsServer2003},
      {VER_PLATFORM_WIN32_NT, 5, 3, "", kWindowsNewer},
      {VER_PLATFORM_WIN32_NT, 6, 1, "", kWindowsNewer},
      {VER_PLATFORM_WIN32_NT, 10, 0, "", kWindowsNewer},
      {3, 6, 0, "", kWindowsUnknown},  // VER_PLATFORM_WIN32_CE and anything else
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ClassifyWindowsVersion(row.platform, row.major, row.minor, row.service), row.kind)
        << row.platform << " " << row.major << "." << row.minor << " '" << row.service << "'";
  }
  EXPECT_EQ(ClassifyWindowsVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 0, nullptr), kWindows95);

  // This system: the same answer as its version record, with the service pack number.
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)));
  int servicePack = -1;
  EXPECT_EQ(GetWindowsKind(&servicePack),
            ClassifyWindowsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.szCSDVersion));
  EXPECT_EQ(servicePack, info.wServicePackMajor);
  EXPECT_EQ(GetWindowsKind(nullptr), GetWindowsKind(&servicePack));
  EXPECT_EQ(IsWindowsNT(), info.dwPlatformId == VER_PLATFORM_WIN32_NT);
}

TEST(ProcessTest, DesktopWallpaperIsStoredAndAnnounced) {
  ScratchFolder scratch;
  // A 2 x 2 24-bit bitmap.
  std::string bmp = "BM";
  auto put32 = [&bmp](uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<char>(v >> (8 * i)));
  };
  auto put16 = [&bmp](uint16_t v) {
    bmp.push_back(static_cast<char>(v));
    bmp.push_back(static_cast<char>(v >> 8));
  };
  put32(54 + 16), put32(0), put32(54), put32(40), put32(2), put32(2), put16(1), put16(24), put32(0), put32(16),
      put32(2835), put32(2835), put32(0), put32(0);
  bmp += std::string(16, '\x7f');
  const std::string path = scratch / "paper.bmp";
  ASSERT_TRUE(testing_support::WriteWholeFile(path, bmp));

  char before[MAX_PATH] = {};
  SystemParametersInfoA(SPI_GETDESKWALLPAPER, sizeof before, before, 0);
  ASSERT_TRUE(SetDesktopWallpaper(path));
  char now[MAX_PATH] = {};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETDESKWALLPAPER, sizeof now, now, 0));
  EXPECT_EQ(std::string(now), path);
  SetDesktopWallpaper(before);
}

TEST(ProcessTest, PointsAndRectangles) {
  const RECT r = {10, 20, 30, 40};
  EXPECT_TRUE(IsPointInRect(r, POINT{10, 20}));
  EXPECT_TRUE(IsPointInRect(r, POINT{29, 39}));
  EXPECT_FALSE(IsPointInRect(r, POINT{30, 25}));  // right and bottom edges are outside
  EXPECT_FALSE(IsPointInRect(r, POINT{15, 40}));
  EXPECT_FALSE(IsPointInRect(r, POINT{9, 25}));
  EXPECT_FALSE(IsPointInRect(r, POINT{15, 19}));

  EXPECT_TRUE(RectsIntersect(r, RECT{29, 39, 50, 50}));
  EXPECT_TRUE(RectsIntersect(RECT{0, 0, 11, 21}, r));
  EXPECT_TRUE(RectsIntersect(r, RECT{12, 22, 14, 24}));   // inside
  EXPECT_TRUE(RectsIntersect(RECT{0, 0, 100, 100}, r));   // around
  EXPECT_TRUE(RectsIntersect(r, RECT{15, 0, 16, 100}));   // a cross
  EXPECT_FALSE(RectsIntersect(r, RECT{30, 20, 40, 40}));  // touching edges share no point
  EXPECT_FALSE(RectsIntersect(r, RECT{10, 40, 30, 50}));
  EXPECT_FALSE(RectsIntersect(r, RECT{0, 0, 10, 20}));
  EXPECT_FALSE(RectsIntersect(r, RECT{15, 25, 15, 35}));  // empty
  EXPECT_FALSE(RectsIntersect(RECT{25, 30, 12, 22}, r));  // reversed: empty
}

}  // namespace
