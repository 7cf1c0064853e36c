// uninstall.exe: the program an Uninstall entry starts. It removes what the uninstall information file
// lists (RunUninstall) after asking the user, and says how it went.
//
//   uninstall.exe INFOFILE           asks first, reports the outcome in a message box
//   uninstall.exe /quiet INFOFILE    asks nothing, shows nothing; problems go to stderr
//   uninstall.exe --version          prints its version to stdout
//
// Exit code: 0 when the uninstall ran to its end; 1 when the file could not be read, a list in it ended
// early, or the user said no; 2 for bad usage.
//
// A running program cannot delete its own file. When the information file lists this uninstall.exe, a
// copy of it in the temp folder waits for this process to end, then deletes this file and removes the
// folders that it kept from going (those that are empty by then). That copy is started as
//   uninstall.exe /remove-after HANDLE FILE [FOLDER...]
// (HANDLE: an inherited handle of the process to wait for) and asks the system to delete itself at the
// next restart.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "addon/Version.h"
#include "app/CommandLine.h"
#include "foundation/Folders.h"
#include "foundation/MessageBox.h"
#include "foundation/PathText.h"
#include "installer/UninstallInfo.h"

namespace {

const char* const kCaption = "アンインストール";

// stderr of a windowed program may be missing: then only the box speaks.
void Complain(const std::string& text) {
  std::fprintf(stderr, "uninstall: %s\n", text.c_str());
  std::fflush(stderr);
}

int BadUsage(bool quiet) {
  Complain("usage: uninstall.exe [/quiet] INFOFILE");
  if (!quiet) {
    ShowMessageBox(nullptr, "使い方: uninstall.exe [/quiet] アンインストール情報ファイル", kCaption, MB_OK | MB_ICONERROR);
  }
  return 2;
}

// Quotes an argument for SplitCommandLine (paths hold no double quotes).
std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

// Starts the temp copy that removes this program's file and the folders it kept after this process ends.
void RemoveSelfAfterExit(const std::string& self, const std::vector<std::string>& folders) {
  const std::string temp = GetTempDirectory();
  const std::string copy = temp + FormatString("uninstall-%lu.exe", GetCurrentProcessId());
  if (temp.empty() || !CopyFileA(self.c_str(), copy.c_str(), FALSE)) {
    Complain("cannot copy itself into the temp folder: " + self + " stays");
    return;
  }
  HANDLE process = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &process, SYNCHRONIZE, TRUE,
                       0)) {
    DeleteFileA(copy.c_str());
    return;
  }
  std::string commandLine = Quoted(copy) + " /remove-after " +
                            FormatString("%lu", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(process))) +
                            " " + Quoted(self);
  for (const std::string& folder : folders) commandLine += " " + Quoted(folder);
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (CreateProcessA(copy.c_str(), writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  } else {
    Complain("cannot start its copy in the temp folder: " + self + " stays");
    DeleteFileA(copy.c_str());
  }
  CloseHandle(process);
}

// The temp copy's work: arguments HANDLE FILE [FOLDER...].
int RemoveAfter(const std::vector<std::string>& arguments) {
  if (arguments.size() < 4) return 2;
  HANDLE process = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::strtoull(arguments[2].c_str(), nullptr, 10)));
  WaitForSingleObject(process, 60000);
  CloseHandle(process);
  // The system may hold the file a moment after its process has ended.
  for (int tries = 0; tries < 50 && !DeleteFileA(arguments[3].c_str()) &&
                      GetFileAttributesA(arguments[3].c_str()) != INVALID_FILE_ATTRIBUTES;
       ++tries) {
    Sleep(100);
  }
  for (size_t i = 4; i < arguments.size(); ++i) RemoveDirectoryA(arguments[i].c_str());
  MoveFileExA(GetModulePath().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> arguments;
  // Empty arguments (two spaces in a row) are not arguments a user meant.
  for (const std::string& argument : SplitCommandLine(GetCommandLineA())) {
    if (!argument.empty()) arguments.push_back(argument);
  }
  if (arguments.size() > 1 && arguments[1] == "/remove-after") return RemoveAfter(arguments);
  if (arguments.size() == 2 && arguments[1] == "--version") {
    std::printf("uninstall %s\n%s\n%s\n", ADDON_VERSION_TEXT, ADDON_PRODUCT_NAME, ADDON_COPYRIGHT);
    std::fflush(stdout);
    return 0;
  }
  const bool quiet = arguments.size() > 1 && arguments[1] == "/quiet";
  if (arguments.size() != (quiet ? 3u : 2u) || arguments.back() == "/quiet") return BadUsage(quiet);
  const std::string infoFile = arguments.back();

  if (!quiet && ShowMessageBox(nullptr, "アンインストールしますか？", kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    Complain("not uninstalled: the user said no");
    return 1;
  }
  UninstallLeftovers leftovers;
  switch (RunUninstall(infoFile, &leftovers)) {
    case 1: {
      const std::string self = GetModulePath();
      for (const std::string& file : leftovers.files) {
        if (ToLowerCase(GetFullPath(file)) == ToLowerCase(self)) {
          RemoveSelfAfterExit(self, leftovers.folders);
          break;
        }
      }
    }
      if (!quiet) ShowMessageBox(nullptr, "アンインストールが完了しました。", kCaption, MB_OK | MB_ICONINFORMATION);
      return 0;
    case -1:
      Complain("a list in the uninstall information file " + infoFile +
               " ends without its \"##\"; nothing was removed");
      if (!quiet) {
        ShowMessageBox(nullptr,
                       ("アンインストール情報ファイルが途中で終わっています。何も削除しませんでした。\n" + infoFile).c_str(),
                       kCaption, MB_OK | MB_ICONERROR);
      }
      return 1;
    default:
      Complain("cannot read the uninstall information file " + infoFile);
      if (!quiet) {
        ShowMessageBox(nullptr, ("アンインストール情報ファイルを読み込めませんでした。\n" + infoFile).c_str(), kCaption,
                       MB_OK | MB_ICONERROR);
      }
      return 1;
  }
}
