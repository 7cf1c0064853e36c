#pragma once
// Runs one of the project's tools as scripts do: a child process started in a scratch folder, with its
// output and errors captured.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace testing_support {

struct ToolRun {
  DWORD exitCode = ~0u;  // ~0u when the tool could not start or did not end within two minutes
  std::string out;       // what it wrote to stdout
  std::string err;       // what it wrote to stderr
};

// Runs the tool at `tool` (relative to the build's tools folder, e.g. "imagetool\\imagetool.exe") with
// `arguments`, in `scratch`, its stdout and stderr captured in files there.
inline ToolRun RunTool(const std::string& tool, const ScratchFolder& scratch, const std::string& arguments) {
  ToolRun run;
  std::string path = HarnessSetting("ADDON_BIN_DIR") + "\\tools\\" + tool;
  if (!FileExists(path)) path = ThisProgramFolder() + "\\..\\tools\\" + tool;
  // Fresh names for every run: under Wine the files of the run before can still be held open for a
  // moment after it has ended, and opening them again then fails with a sharing violation.
  static unsigned runs = 0;
  const std::string number = std::to_string(++runs);
  const std::string outPath = scratch / ("tool-out-" + number + ".txt");
  const std::string errPath = scratch / ("tool-err-" + number + ".txt");
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot make " << outPath << " and " << errPath << " (error " << GetLastError() << ")";
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    return run;
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::string commandLine = "\"" + path + "\" " + arguments;
  PROCESS_INFORMATION process = {};
  const bool started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      scratch.Path().c_str(), &startup, &process);
  if (!started) ADD_FAILURE() << "cannot start " << path << " (error " << GetLastError() << ")";
  CloseHandle(out);
  CloseHandle(err);
  if (!started) return run;
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ReadWholeFile(outPath, &run.out);
  ReadWholeFile(errPath, &run.err);
  return run;
}

inline ToolRun RunPackTool(const ScratchFolder& scratch, const std::string& arguments) {
  return RunTool("packtool.exe", scratch, arguments);
}

inline std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace testing_support
