// The debug log with its real outputs. The log lives for the whole process and keeps log.txt open, so
// its cases run in a child copy of this test program (DebugLogChild.DISABLED_Run, chosen through
// GTEST_FILTER), started under this process as its debugger: the parent sees every text the child hands
// to the debugger, then reads the child's log.txt and the display lines the child wrote out.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "foundation/DebugLog.h"
#include "foundation/DebugPrint.h"
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
  ClearDebugDisplay();  // empties the display only
  DebugPrint("one feed\n");
  DebugPrint("two feeds\n\n");
  DebugPrint("%s and %d%%", "100%", 50);
  DebugPrint("%s", "ソ表能 with a percent: %d");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesPerThread; ++i) DebugPrint("thread %d line %03d %s", t, i, std::string(i * 7, 'x').c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  HWND display = log->GetListBox();
  report += std::string("display window: ") + (display && display == FindWindowA(nullptr, "デバッグ表示") ? "yes" : "no") + "\n";
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
    report += "selected last: " + std::string(SendMessageA(display, LB_GETCURSEL, 0, 0) == count - 1 ? "yes" : "no") + "\n";
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
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) continuation = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        *exitCode = event.u.ExitProcess.dwExitCode;
        running = false;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continuation);
  }
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return texts;
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
  EXPECT_EQ("display window: no\n"
            "log.txt: no\n"
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

}  // namespace
