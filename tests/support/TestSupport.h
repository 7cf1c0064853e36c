#pragma once
// Shared helpers of the Windows test programs: scratch folders, reading the diagnostics, answering
// message boxes in place of the user, and byte-exact comparisons of Shift-JIS text.

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Bytes.h"

namespace testing_support {

// A fresh folder below the temp folder, removed with everything in it when the object goes away.
// When no folder can be made (the temp folder is unusable, or every name tried exists already) the
// test fails with the reason, and Path() is a name no file operation accepts, so nothing lands
// elsewhere.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
  bool made_ = false;
};

// Removes a folder tree; true if it is gone afterwards.
bool RemoveTree(const std::string& path);

// Makes a folder and every missing folder above it. Shift-JIS names whose trail byte is '\\' are
// stepped over whole. True when the folder exists afterwards.
bool MakeFolders(const std::string& path);

// Writes or reads a whole file; the reader gives false when the file cannot be read.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// WriteWholeFile after making the folders the file goes in.
bool WriteFileMakingFolders(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// The full path of the running test program, and the folder it is in (no trailing '\\').
std::string ThisProgramPath();
std::string ThisProgramFolder();

// Deletes a registry key with every key below it (a test's own clean-up, independent of CRegistry).
void DeleteRegistryTree(HKEY root, const std::string& path);

// Begins the reason of a test skipped because the machine lacks something the harness sets up where it
// may (a mount, free space, a right, a drive). Under CI (CI=true) ./dev fails the run on such a skip.
constexpr const char kHostLacks[] = "host lacks: ";

// An environment variable of the harness (or one a test sets for its child processes), "" when unset.
std::string HarnessSetting(const char* name);
// Sets such a variable for this process and the processes it starts from now on; null removes it.
void SetHarnessSetting(const char* name, const char* value);

// Environment variables for the child processes started while it lives, removed afterwards. With a
// `childTest`, a copy of this test program started meanwhile runs only that (disabled) test.
class ChildEnvironment {
 public:
  explicit ChildEnvironment(std::vector<std::pair<std::string, std::string>> values, const char* childTest = nullptr);
  ~ChildEnvironment();
  ChildEnvironment(const ChildEnvironment&) = delete;
  ChildEnvironment& operator=(const ChildEnvironment&) = delete;

 private:
  std::vector<std::pair<std::string, std::string>> values_;
};

// Runs a command line to its end (two minutes at most) with its output dropped, in `currentDirectory`
// (null: this process's). Returns its exit code, or ~0u when it could not start or did not end.
DWORD RunToExit(const std::string& commandLine, const char* currentDirectory = nullptr);

// Collects every DebugPrint text while it lives.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  std::vector<std::string> Texts() const;

 private:
  static void Sink(const char* text);
};

// Answers ShowMessageBox calls from a list, in order, and records every box asked. When the list runs
// out the box is answered with `fallback`.
struct AskedBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};

class ScriptedUser {
 public:
  explicit ScriptedUser(std::vector<int> answers, int fallback = IDCANCEL);
  ~ScriptedUser();
  std::vector<AskedBox> Asked() const;

 private:
  static int Handler(HWND owner, const char* text, const char* caption, UINT style);
};

// Answers every ShowMessageBox with `handler` while it lives.
class CustomUser {
 public:
  explicit CustomUser(int (*handler)(HWND owner, const char* text, const char* caption, UINT style));
  ~CustomUser();
  CustomUser(const CustomUser&) = delete;
  CustomUser& operator=(const CustomUser&) = delete;
};

}  // namespace testing_support
