#pragma once
// Runs packtool.exe (from the harness' binary folder) as scripts do, in a scratch folder, with its
// output and errors captured.

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testing_support {

struct ToolRun {
  DWORD exitCode = ~0u;
  std::string out;
  std::string err;
};

// Runs packtool with `arguments`, its output and errors captured in files of `scratch`.
inline ToolRun RunPackTool(const ScratchFolder& scratch, const std::string& arguments) {
  ToolRun run;
  std::string tool = HarnessSetting("ADDON_BIN_DIR") + "\\tools\\packtool.exe";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  std::string outPath = scratch / "tool-out.txt", errPath = scratch / "tool-err.txt";
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::string commandLine = "\"" + tool + "\" " + arguments;
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, scratch.Path().c_str(), &startup,
                     &process)) {
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(out);
  CloseHandle(err);
  ReadWholeFile(outPath, &run.out);
  ReadWholeFile(errPath, &run.err);
  return run;
}

inline std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace testing_support
