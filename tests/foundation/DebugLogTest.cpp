// The debug log with its real outputs. The log lives for the whole process and keeps log.txt open, so
// its cases run in a child copy of this test program (DebugLogChild.DISABLED_Run, chosen through
// GTEST_FILTER), started under this process as its debugger: the parent sees every text the child hands
// to the debugger, then reads the child's log.txt and the display lines the child wrote out.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "foundation/DebugLog.h"
#include "foundation/DebugPrint.h"
#include "foundation/ShiftJis.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::HarnessSetting;
using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 60;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t found; (found = text.find(separator, start)) != std::string::npos; start = found + separator.size())
    parts.push_back(text.substr(start, found - start));
  parts.push_back(text.substr(start));
  return parts;
}

// The child: everything the log does, in one process. Its current directory is a scratch folder.
TEST(DebugLogChild, DISABLED_Run) {
  const std::string out = HarnessSetting("ADDON_LOG_CHILD_OUT");
  if (out.empty()) GTEST_SKIP() << "runs only as a child of DebugLogTest";
  std::string report;

  // Both outputs off: the text goes nowhere, not even to the debugger.
  DebugPrint("silent %d", 1);
  CDebugLog* log = CDebugLog::Get();
  DebugPrint("silent %d", 2);
  ClearDebugDisplay();
  report += std::string("display window: ") + (FindWindowA(nullptr, "デバッグ表示") ? "yes" : "no") + "\n";
  report += std::string("log.txt: ") + (GetFileAttributesA("log.txt") != INVALID_FILE_ATTRIBUTES ? "yes" : "no") + "\n";

  log->EnableFileLog();
  log->EnableDisplay();
  DebugPrint("before clear");
  // Another program reading the file while it is written.
  HANDLE reader = CreateFileA("log.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string seen;
  if (reader != INVALID_HANDLE_VALUE) {
    char buffer[512];
    DWORD got = 0;
    if (ReadFile(reader, buffer, sizeof buffer, &got, nullptr)) seen.assign(buffer, got);
    CloseHandle(reader);
  }
  report += std::string("log.txt read while open: ") +
            (seen.find("before clear\r\n") != std::string::npos ? "yes" : "no") + "\n";
  ClearDebugDisplay();  // empties the display only
  DebugPrint("one feed\n");
  DebugPrint("two feeds\n\n");
  DebugPrint("%s and %d%%", "100%", 50);
  DebugPrint("%s", "ソ表能 with a percent: %d");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesPerThread; ++i)
        DebugPrint("thread %d line %03d %s", t, i, std::string(i * 7, 'x').c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  HWND display = log->GetListBox();
  report += std::string("display window: ") +
            (display && display == FindWindowA(nullptr, "デバッグ表示") ? "yes" : "no") + "\n";
  if (display) {
    char className[32] = {};
    GetClassNameA(display, className, sizeof className);
    RECT rect = {};
    GetWindowRect(display, &rect);
    char info[256];
    std::snprintf(info, sizeof info, "class %s at %ld,%ld size %ldx%ld style %08lX exstyle %08lX other thread %s\n",
                  className, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                  // without what Windows adds to every top-level window with a caption
                  static_cast<unsigned long>(GetWindowLongPtrA(display, GWL_STYLE) & ~WS_CLIPSIBLINGS),
                  static_cast<unsigned long>(GetWindowLongPtrA(display, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE),
                  GetWindowThreadProcessId(display, nullptr) != GetCurrentThreadId() ? "yes" : "no");
    report += info;
    const LRESULT count = SendMessageA(display, LB_GETCOUNT, 0, 0);
    report +=
        "selected last: " + std::string(SendMessageA(display, LB_GETCURSEL, 0, 0) == count - 1 ? "yes" : "no") + "\n";
    std::string lines;
    for (LRESULT i = 0; i < count; ++i) {
      std::vector<char> text(static_cast<size_t>(SendMessageA(display, LB_GETTEXTLEN, i, 0)) + 1);
      SendMessageA(display, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
      lines += std::string(text.data()) + "\r\n";
    }
    WriteWholeFile(out + ".display", lines);
  }
  WriteWholeFile(out, report);
  ExitProcess(0);
}

// Runs the child as a debuggee; returns the texts it gave the debugger.
std::vector<std::string> RunChildUnderDebugger(const std::string& folder, DWORD* exitCode) {
  std::vector<std::string> texts;
  std::string commandLine = "\"" + testing_support::ThisProgramPath() + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                      folder.c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start the child, error " << GetLastError();
    return texts;
  }
  for (bool running = true; running;) {
    DEBUG_EVENT event = {};
    if (!WaitForDebugEvent(&event, 60000)) {
      ADD_FAILURE() << "the child did not end";
      TerminateProcess(process.hProcess, 1);
      break;
    }
    DWORD continuation = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
        std::string text(info.nDebugStringLength, '\0');
        SIZE_T read = 0;
        ReadProcessMemory(process.hProcess, info.lpDebugStringData, &text[0], text.size(), &read);
        text.resize(read);
        while (!text.empty() && text.back() == '\0') text.pop_back();
        texts.push_back(text);
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
          continuation = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        *exitCode = event.u.ExitProcess.dwExitCode;
        running = false;
        break;
      default: break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continuation);
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return texts;
}

// A second child: switches the display and the file on, writes, and returns from the test as a program
// returns from main, without ending the process itself.
TEST(DebugLogChild, DISABLED_ReturnNormally) {
  if (HarnessSetting("ADDON_LOG_CHILD_OUT").empty()) GTEST_SKIP() << "runs only as a child of DebugLogTest";
  CDebugLog::Get()->EnableDisplay();
  CDebugLog::Get()->EnableFileLog();
  DebugPrint("表示%s", "ソ");
}

// A display whose own thread writes a line just as it starts, while the thread that made it finishes.
// The log asks which thread is the display's only after it has seen the creation still running: that
// answer is slowed down here, so that the maker finishes the creation in between.
class EarlyWriterLog : public CDebugLog {
 public:
  ~EarlyWriterLog() override { CDebugLog::GetThread()->Stop(); }
  void OnStart() override {
    slow_ = true;
    Output("早い行 from the display");
    slow_ = false;
  }
  CThread* GetThread() override {
    CThread* thread = CDebugLog::GetThread();
    if (slow_ && GetCurrentThreadId() == thread->GetThreadId()) Sleep(200);
    return thread;
  }

 private:
  std::atomic<bool> slow_{false};
};

// A third child: makes display after display and counts those that lack their early line.
TEST(DebugLogChild, DISABLED_EarlyLines) {
  const std::string out = HarnessSetting("ADDON_LOG_CHILD_OUT");
  if (out.empty()) GTEST_SKIP() << "runs only as a child of DebugLogTest";
  int lost = 0, rounds = 0;
  for (; rounds < 5; ++rounds) {
    EarlyWriterLog log;
    log.EnableDisplay();
    HWND display = log.GetListBox();
    if (!display) break;
    bool found = false;
    for (DWORD start = GetTickCount(); !found && GetTickCount() - start < 1000; Sleep(1)) {
      const LRESULT count = SendMessageA(display, LB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < count && !found; ++i) {
        char text[64] = {};
        if (SendMessageA(display, LB_GETTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof text)) {
          SendMessageA(display, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
          found = std::string(text) == "早い行 from the display";
        }
      }
    }
    if (!found) ++lost;
  }
  WriteWholeFile(out, "rounds " + std::to_string(rounds) + " lost " + std::to_string(lost) + "\n");
  ExitProcess(0);
}

std::string FormatHeaderTime(std::time_t when) {
  std::tm local = *std::localtime(&when);
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

TEST(DebugLog, BothOutputsGetWholeLinesInOrderAndTheFileItsDatedHeader) {
  ScratchFolder scratch;
  const std::string out = scratch / "report.txt";
  const std::time_t before = std::time(nullptr);
  DWORD exitCode = 1;
  std::vector<std::string> debugger;
  {
    testing_support::ChildEnvironment environment({{"ADDON_LOG_CHILD_OUT", out}}, "DebugLogChild.DISABLED_Run");
    debugger = RunChildUnderDebugger(scratch.Path(), &exitCode);
  }
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(0u, exitCode);

  std::string report;
  ASSERT_TRUE(ReadWholeFile(out, &report));
  EXPECT_EQ(
      "display window: no\n"
      "log.txt: no\n"
      "log.txt read while open: yes\n"
      "display window: yes\n"
      "class ListBox at 0,0 size 600x150 style 10EF0100 exstyle 00000000 other thread yes\n"
      "selected last: yes\n",
      report);

  // The file: two empty lines, the header with the time it was opened, then the lines.
  std::string file;
  ASSERT_TRUE(ReadWholeFile(scratch / "log.txt", &file));
  const std::string dashes(14, '-');
  ASSERT_GT(file.size(), 4 + 14 + 19 + 14 + 2u);
  EXPECT_EQ("\r\n\r\n" + dashes, file.substr(0, 18));
  const std::string stamp = file.substr(18, 19);
  EXPECT_EQ(dashes + "\r\n", file.substr(37, 16));
  bool stampInRange = false;
  for (std::time_t t = before; t <= after; ++t) stampInRange = stampInRange || stamp == FormatHeaderTime(t);
  EXPECT_TRUE(stampInRange) << stamp << " is not a time between " << FormatHeaderTime(before) << " and "
                            << FormatHeaderTime(after);
  const std::string body = file.substr(53);

  std::vector<std::string> expectedStart = {"before clear", "one feed", "two feeds\n", "100% and 50%",
                                            "ソ表能 with a percent: %d"};
  std::vector<std::string> lines = Split(body, "\r\n");
  ASSERT_EQ("", lines.back()) << "every line ends in CR LF";
  lines.pop_back();
  ASSERT_EQ(expectedStart.size() + kThreads * kLinesPerThread, lines.size());
  EXPECT_EQ(expectedStart, std::vector<std::string>(lines.begin(), lines.begin() + expectedStart.size()));
  std::map<int, int> next;
  for (size_t i = expectedStart.size(); i < lines.size(); ++i) {
    int thread = -1, line = -1;
    ASSERT_EQ(2, std::sscanf(lines[i].c_str(), "thread %d line %d", &thread, &line)) << lines[i];
    EXPECT_EQ(next[thread]++, line) << "thread " << thread << " out of order";
    char expected[64];
    std::snprintf(expected, sizeof expected, "thread %d line %03d ", thread, line);
    EXPECT_EQ(expected + std::string(line * 7, 'x'), lines[i]) << "a whole line";
  }

  // The display got the same lines in the same order, but what came before the clear.
  std::string display;
  ASSERT_TRUE(ReadWholeFile(out + ".display", &display));
  EXPECT_EQ(body.substr(std::string("before clear\r\n").size()), display);

  // The debugger got every line written to the file, with its CR LF, and nothing from before.
  std::vector<std::string> fileLines;
  for (const std::string& line : lines) fileLines.push_back(line + "\r\n");
  std::vector<std::string> fromLog;
  for (const std::string& text : debugger)
    if (text.find("silent") != std::string::npos || text.back() == '\n') fromLog.push_back(text);
  EXPECT_EQ(fileLines, fromLog);
}

TEST(DebugLog, AProgramThatReturnsWithTheDisplayOnEnds) {
  ScratchFolder scratch;
  testing_support::ChildEnvironment environment({{"ADDON_LOG_CHILD_OUT", scratch / "unused"}},
                                                "DebugLogChild.DISABLED_ReturnNormally");
  std::string commandLine = "\"" + testing_support::ThisProgramPath() + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, scratch.Path().c_str(),
                             &startup, &process));
  const DWORD waited = WaitForSingleObject(process.hProcess, 20000);
  EXPECT_EQ(WAIT_OBJECT_0, waited) << "still running 20 s after returning from main";
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  EXPECT_EQ(0u, exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::string file;
  ASSERT_TRUE(ReadWholeFile(scratch / "log.txt", &file));
  EXPECT_NE(std::string::npos, file.find("表示ソ\r\n"));
}

TEST(DebugLog, ALineTheDisplaysThreadWritesWhileItIsMadeIsKept) {
  ScratchFolder scratch;
  const std::string out = scratch / "report.txt";
  {
    testing_support::ChildEnvironment environment({{"ADDON_LOG_CHILD_OUT", out}}, "DebugLogChild.DISABLED_EarlyLines");
    ASSERT_EQ(0u, testing_support::RunToExit("\"" + testing_support::ThisProgramPath() + "\"", scratch.Path().c_str()));
  }
  std::string report;
  ASSERT_TRUE(ReadWholeFile(out, &report));
  EXPECT_EQ("rounds 5 lost 0\n", report);
}

// wvsprintfA stops at 1,023 bytes; the cut never leaves half a character.
TEST(DebugPrint, ALongTextIsCutAtACharacterBoundary) {
  struct Case {
    size_t asciiBefore;
    const char* tail;
    std::string expected;
  };
  const std::string table = "表";  // trail byte 0x5C
  ASSERT_EQ(2u, table.size());
  ASSERT_EQ('\\', table[1]);
  const std::vector<Case> cases = {
      // the lead byte at the last place: it goes
      {1022, "表ソ能", std::string(1022, 'a')},
      // the character fits just: it stays
      {1021, "表ソ", std::string(1021, 'a') + "表"},
      // kanji all along, from an odd start: lead bytes never end the text
      {0, "予十表ソ能予十表ソ能", std::string()},
      // half-width katakana are single bytes
      {1020, "ｱｲｳｴ", std::string(1020, 'a') + "ｱｲｳ"},
  };
  for (const Case& c : cases) {
    std::string text = std::string(c.asciiBefore, 'a');
    while (text.size() < 1100) text += c.tail;
    testing_support::DebugCapture capture;
    DebugPrint("%s", text.c_str());
    ASSERT_EQ(1u, capture.Texts().size());
    const std::string got = capture.Texts()[0];
    EXPECT_LE(got.size(), 1023u);
    EXPECT_GE(got.size(), 1022u);
    EXPECT_EQ(text.substr(0, got.size()), got) << "a prefix of the text";
    if (!c.expected.empty()) {
      EXPECT_EQ(c.expected, got);
    }
    size_t i = 0;
    while (i < got.size()) i += IsShiftJisLeadByte(static_cast<unsigned char>(got[i])) ? 2 : 1;
    EXPECT_EQ(got.size(), i) << "ends on a whole character, case of " << c.asciiBefore;
  }
}

}  // namespace
