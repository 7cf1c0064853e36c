// How long setup.exe takes from process start to its please-wait dialog, against the smallest Win32
// program that shows a window (minimal_window.exe beside this benchmark), under the same Wine in one run:
// the two are started in turn, each `rounds` times, and the medians and their ratio are printed.
//
//   startup_bench [SETUP_PATH [ROUNDS]]    (default G:\setup.exe, 7 rounds)
//
// The setup needs a base game to reach its dialog: a scratch game folder on C: is registered in App
// Paths for the run and removed afterwards. Each setup is ended as soon as its dialog shows.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

const char* const kAppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Sorvane.exe";

struct Search {
  DWORD process;
  const char* className;  // null: any class
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM parameter) {
  Search* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->process || !IsWindowVisible(window)) return TRUE;
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (search->className && std::string(className) != search->className) return TRUE;
  search->found = window;
  return FALSE;
}

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds from CreateProcess to the first visible window of the class; negative on failure.
double TimeToWindow(const std::string& program, const char* className, const char* directory) {
  std::string commandLine = "\"" + program + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const double start = Now();
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory, &startup,
                      &process))
    return -1;
  double elapsed = -1;
  while (Now() - start < 30000) {
    Search search = {process.dwProcessId, className, nullptr};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      elapsed = Now() - start;
      break;
    }
    if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
  }
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 30000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string List(const std::vector<double>& values) {
  std::string out;
  char text[32];
  for (double v : values) {
    std::snprintf(text, sizeof text, "%.0f ", v);
    out += text;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string setup = argc > 1 ? argv[1] : "G:\\setup.exe";
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  if (argc > 3 || rounds < 1) {
    std::fprintf(stderr, "usage: startup_bench [SETUP_PATH [ROUNDS]]\n");
    return 2;
  }
  const std::string minimal = testing_support::ThisProgramFolder() + "\\..\\tools\\minimal_window.exe";
  char game[MAX_PATH];
  std::snprintf(game, sizeof game, "C:\\startup-bench-%lu", GetCurrentProcessId());
  const std::string executable = std::string(game) + "\\Sorvane.exe";
  CreateDirectoryA(game, nullptr);
  if (!testing_support::WriteWholeFile(executable, "MZ")) {
    std::fprintf(stderr, "cannot make the game folder %s\n", game);
    return 1;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kAppPathsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot register the game\n");
    return 1;
  }
  RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(executable.c_str()),
                 static_cast<DWORD>(executable.size() + 1));
  RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(game), static_cast<DWORD>(strlen(game) + 1));
  RegCloseKey(key);

  // One unmeasured start of each, so that both find the same warm caches.
  TimeToWindow(minimal, nullptr, "C:\\");
  TimeToWindow(setup, "#32770", "C:\\");
  std::vector<double> setupTimes, minimalTimes;
  bool failed = false;
  for (int i = 0; i < rounds && !failed; ++i) {
    const double m = TimeToWindow(minimal, nullptr, "C:\\");
    const double s = TimeToWindow(setup, "#32770", "C:\\");
    failed = m < 0 || s < 0;
    minimalTimes.push_back(m);
    setupTimes.push_back(s);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, kAppPathsKey);
  testing_support::RemoveTree(game);
  if (failed) {
    std::fprintf(stderr, "a program did not show its window (setup: %s; minimal: %s)\n", setup.c_str(),
                 minimal.c_str());
    return 1;
  }
  const double setupMedian = Median(setupTimes), minimalMedian = Median(minimalTimes);
  std::printf("start-up, process start to first window, median of %d starts each:\n", rounds);
  std::printf("  %-40s %7.1f ms   (%s)\n", "setup.exe to its please-wait dialog", setupMedian,
              List(setupTimes).c_str());
  std::printf("  %-40s %7.1f ms   (%s)\n", "minimal Win32 program to its window", minimalMedian,
              List(minimalTimes).c_str());
  std::printf("  ratio setup / minimal: %.2f (of the fastest starts: %.2f)\n", setupMedian / minimalMedian,
              *std::min_element(setupTimes.begin(), setupTimes.end()) /
                  *std::min_element(minimalTimes.begin(), minimalTimes.end()));
  return 0;
}
