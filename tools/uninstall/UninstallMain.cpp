// uninstall.exe: the program an Uninstall entry starts. It removes what the uninstall information file
// lists (RunUninstall) after asking the user, and says how it went.
//
//   uninstall.exe INFOFILE           asks first, reports the outcome in a message box
//   uninstall.exe /quiet INFOFILE    asks nothing, shows nothing; problems go to stderr
//   uninstall.exe --version          prints its version to stdout
//
// Exit code: 0 when everything listed is gone; 1 when something stayed (it is named; the information
// file and the registrations are kept so that the uninstall can run again), when the file could not be
// read, is damaged or cut short, or the user said no; 2 for bad usage.
//
// A running program cannot delete its own file. When the information file lists this uninstall.exe (the
// same file, whatever the spelling), it is left for a copy of this program to take: once the completion
// box is closed, the copy is put in a fresh folder below the temp folder that only this user may write,
// started as
//   uninstall.exe /remove-after HANDLE FILE [FOLDER...]
// (HANDLE: an inherited handle of this process), and waits for this process to end without a time limit;
// it then deletes FILE and removes the FOLDERs that it kept from going (those empty by then), and asks
// the system to delete the copy and its folder at the next restart. The copy refuses to act unless HANDLE
// is a process whose program is FILE and every FOLDER holds FILE. Both processes work in a current folder
// outside the installation, which could not be removed otherwise.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
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
#include "installer/CanonicalPath.h"
#include "installer/UninstallInfo.h"
#include "installer/UninstallPaths.h"

namespace {

const char* const kCaption = "アンインストール";
// A box names at most this many paths; the rest are counted.
const size_t kPathsInBox = 15;

// stderr of a windowed program may be missing: then only the box speaks.
void Complain(const std::string& text) {
  std::fprintf(stderr, "uninstall: %s\n", text.c_str());
  std::fflush(stderr);
}

int BadUsage(bool quiet) {
  Complain("usage: uninstall.exe [/quiet] INFOFILE");
  if (!quiet) {
    ShowMessageBox(nullptr, "使い方: uninstall.exe [/quiet] アンインストール情報ファイル", kCaption,
                   MB_OK | MB_ICONERROR);
  }
  return 2;
}

// Quotes an argument for SplitCommandLine (paths hold no double quotes).
std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

// A security descriptor whose list grants this user, and no one else, every right (not inherited from
// the temp folder); null when it cannot be made. Freed with LocalFree.
PSECURITY_DESCRIPTOR OnlyThisUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  std::vector<BYTE> user(256);
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size)) {
    user.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
      CloseHandle(token);
      return nullptr;
    }
  }
  CloseHandle(token);
  char* sid = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) return nullptr;
  const std::string sddl = std::string("D:P(A;OICI;FA;;;") + sid + ")";
  LocalFree(sid);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return nullptr;
  }
  return descriptor;
}

// A folder below the temp folder made by this call (never one that was there before), or empty.
std::string MakeOwnTempFolder() {
  const std::string temp = GetTempDirectory();
  if (temp.empty()) return std::string();
  PSECURITY_DESCRIPTOR descriptor = OnlyThisUser();
  if (!descriptor) return std::string();
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  std::string made;
  for (unsigned attempt = 0; attempt < 100 && made.empty(); ++attempt) {
    const std::string folder =
        temp + FormatString("uninstall-%lu-%lu-%u", GetCurrentProcessId(), GetTickCount(), attempt);
    if (CreateDirectoryA(folder.c_str(), &attributes)) made = folder;
  }
  LocalFree(descriptor);
  return made;
}

// Starts the copy that removes this program's file and the folders it kept after this process ends.
void RemoveSelfAfterExit(const std::string& self, const std::vector<std::string>& folders) {
  const std::string own = MakeOwnTempFolder();
  const std::string copy = own + "\\uninstall.exe";
  if (own.empty() || !CopyFileA(self.c_str(), copy.c_str(), TRUE)) {
    Complain("cannot copy itself into a folder of its own below the temp folder: " + self + " stays");
    if (!own.empty()) RemoveDirectoryA(own.c_str());
    return;
  }
  HANDLE process = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &process,
                       SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, 0)) {
    DeleteFileA(copy.c_str());
    RemoveDirectoryA(own.c_str());
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
  const std::string temp = GetTempDirectory();
  if (CreateProcessA(copy.c_str(), writable.data(), nullptr, nullptr, TRUE, 0, nullptr, temp.c_str(), &startup,
                     &started)) {
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  } else {
    Complain("cannot start its copy in the temp folder: " + self + " stays");
    DeleteFileA(copy.c_str());
    RemoveDirectoryA(own.c_str());
  }
  CloseHandle(process);
}

// A handle value as the parent wrote it: decimal digits only.
bool ParseHandle(const std::string& text, HANDLE& outHandle) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
  if (value == 0 || value > UINTPTR_MAX) return false;
  outHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
  return true;
}

// The program file of a process handle (with query access); empty when the handle is no process or the
// system cannot tell.
std::string ProcessImage(HANDLE process) {
  using QueryImage = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
  static const QueryImage query = reinterpret_cast<QueryImage>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
  char image[MAX_PATH * 2] = {};
  DWORD size = sizeof image;
  if (!query || !query(process, 0, image, &size) || size >= sizeof image) return std::string();
  return std::string(image, size);
}

// The copy's work: arguments HANDLE FILE [FOLDER...]. Exit code 0 when it acted, 2 when it refused.
int RemoveAfter(const std::vector<std::string>& arguments) {
  HANDLE process = nullptr;
  if (arguments.size() < 4 || !ParseHandle(arguments[2], process)) return 2;
  // Only a process handle handed down by the parent names a program; the program must be FILE (and not
  // this copy, which the pseudo handle of this process would name).
  const std::string image = ProcessImage(process);
  if (image.empty() || !IsSameFile(image, arguments[3]) || IsSameFile(GetModulePath(), arguments[3])) {
    Complain("/remove-after: not started by the uninstaller whose file it names; nothing done");
    return 2;
  }
  const std::string file = GetCanonicalPath(arguments[3]);
  std::vector<std::string> folders;
  for (size_t i = 4; i < arguments.size(); ++i) {
    const std::string folder = GetCanonicalPath(arguments[i]);
    if (folder.empty() || IsDriveRoot(folder) || !IsPathInside(file, folder)) {
      Complain("/remove-after: " + arguments[i] + " does not hold " + arguments[3] + "; nothing done");
      return 2;
    }
    folders.push_back(folder);
  }
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
  // The system may hold the file a moment after its process has ended.
  for (int tries = 0;
       tries < 50 && !DeleteFileA(file.c_str()) && GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
       ++tries) {
    Sleep(100);
  }
  for (const std::string& folder : folders) RemoveDirectoryA(folder.c_str());
  const std::string self = GetModulePath();
  MoveFileExA(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  MoveFileExA(GetParentDirectory(self).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return 0;
}

// The lines that say what stayed, each with its reason.
std::vector<std::string> WhatStayed(const UninstallLeftovers& left) {
  std::vector<std::string> lines;
  for (const std::string& name : left.foreign)
    lines.push_back("「" + name + "」は別のフォルダーに登録されています（何も削除していません）");
  for (const std::string& file : left.files) lines.push_back(file + "（削除できませんでした）");
  for (const std::string& folder : left.failedFolders) lines.push_back(folder + "（削除できませんでした）");
  for (const std::string& entry : left.refused) lines.push_back(entry + "（この場所は削除しません）");
  return lines;
}

void ReportIncomplete(const std::string& infoFile, const UninstallLeftovers& left, bool quiet) {
  const std::vector<std::string> lines = WhatStayed(left);
  Complain("not complete: the uninstall information file " + infoFile +
           " and the registration are kept; these stayed:");
  for (const std::string& line : lines) Complain("  " + line);
  if (quiet) return;
  std::string text = "アンインストールを完了できませんでした。次のものが残っています。\n";
  for (size_t i = 0; i < lines.size() && i < kPathsInBox; ++i) text += "\n" + lines[i];
  if (lines.size() > kPathsInBox)
    text += FormatString("\nほか %u 件", static_cast<unsigned>(lines.size() - kPathsInBox));
  text += "\n\nアンインストール情報は残してあります。原因を取り除いてから、もう一度アンインストールしてください。";
  ShowMessageBox(nullptr, text.c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> arguments;
  // Empty arguments (two spaces in a row) are not arguments a user meant.
  for (const std::string& argument : SplitCommandLine(GetCommandLineA())) {
    if (!argument.empty()) arguments.push_back(argument);
  }
  if (arguments.size() > 1 && arguments[1] == "/remove-after") {
    SetCurrentDirectoryA(GetTempDirectory().c_str());
    return RemoveAfter(arguments);
  }
  if (arguments.size() == 2 && arguments[1] == "--version") {
    std::printf("uninstall %s\n%s\n%s\n", ADDON_VERSION_TEXT, ADDON_PRODUCT_NAME, ADDON_COPYRIGHT);
    std::fflush(stdout);
    return 0;
  }
  const bool quiet = arguments.size() > 1 && arguments[1] == "/quiet";
  if (arguments.size() != (quiet ? 3u : 2u) || arguments.back() == "/quiet") return BadUsage(quiet);
  // Made full before the current folder moves out of the installation (which it must, or the folder
  // could not be removed).
  const std::string canonical = GetCanonicalPath(arguments.back());
  const std::string infoFile = canonical.empty() ? arguments.back() : canonical;
  SetCurrentDirectoryA(GetTempDirectory().c_str());

  if (!quiet && ShowMessageBox(nullptr, "アンインストールしますか？", kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    Complain("not uninstalled: the user said no");
    return 1;
  }
  const std::string self = GetModulePath();
  UninstallLeftovers leftovers;
  switch (RunUninstall(infoFile, &leftovers, self)) {
    case 1: {
      if (!leftovers.IsComplete()) {
        ReportIncomplete(infoFile, leftovers, quiet);
        return 1;
      }
      if (!quiet) ShowMessageBox(nullptr, "アンインストールが完了しました。", kCaption, MB_OK | MB_ICONINFORMATION);
      if (!leftovers.deferred.empty()) {
        // The folders that stayed only because they hold this program, innermost first.
        const std::string ownFile = GetCanonicalPath(self);
        std::vector<std::string> holding;
        for (const std::string& folder : leftovers.folders) {
          if (IsPathInside(ownFile, folder)) holding.push_back(folder);
        }
        std::sort(holding.begin(), holding.end(),
                  [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        RemoveSelfAfterExit(ownFile, holding);
      }
      return 0;
    }
    case -1:
      if (leftovers.noSection) {
        Complain("the uninstall information file " + infoFile +
                 " holds no section: it is damaged; nothing was removed");
        if (!quiet) {
          ShowMessageBox(nullptr,
                         ("アンインストール情報ファイルが壊れています。何も削除しませんでした。\n" + infoFile).c_str(),
                         kCaption, MB_OK | MB_ICONERROR);
        }
        return 1;
      }
      Complain("a list in the uninstall information file " + infoFile +
               " ends without its \"##\"; nothing was removed");
      if (!quiet) {
        ShowMessageBox(
            nullptr,
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
