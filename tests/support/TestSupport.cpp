#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "foundation/AnsiText.h"
#include "foundation/DebugPrint.h"
#include "foundation/MessageBox.h"

namespace testing_support {

namespace {

// Positions of the path separators ('\\' and '/') of a code-page path; the second byte of a double-byte
// character is never taken for one.
std::vector<size_t> SeparatorsOf(const std::string& path) {
  std::vector<size_t> separators;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/') {
      separators.push_back(i);
    }
  }
  return separators;
}

}  // namespace

ScratchFolder::ScratchFolder() : path_("<no scratch folder>") {
  // Names already there (left by an earlier process of the same id) are passed over, a bounded number
  // of times; any other failure ends the search at once.
  constexpr unsigned kTries = 1000;
  static std::atomic<unsigned> counter{0};
  char temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, temp);
  if (length == 0 || length > MAX_PATH) {
    ADD_FAILURE() << "ScratchFolder: no temp folder (GetTempPathA error " << GetLastError() << ")";
    return;
  }
  DWORD error = ERROR_ALREADY_EXISTS;
  for (unsigned tries = 0; tries < kTries && error == ERROR_ALREADY_EXISTS; ++tries) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%saddon-test-%lu-%u", temp, GetCurrentProcessId(), counter++);
    if (CreateDirectoryA(name, nullptr)) {
      path_ = name;
      made_ = true;
      return;
    }
    error = GetLastError();
  }
  ADD_FAILURE() << "ScratchFolder: cannot make a folder below " << temp << " (CreateDirectoryA error " << error
                << (error == ERROR_ALREADY_EXISTS ? ", every name tried exists" : "") << ")";
}

ScratchFolder::~ScratchFolder() {
  if (made_) RemoveTree(path_);
}

bool RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool MakeFolders(const std::string& path) {
  for (size_t separator : SeparatorsOf(path)) {
    // Not the root of a drive ("C:\\") nor the empty start of a path from the root.
    if (separator == 0 || path[separator - 1] == ':') continue;
    CreateDirectoryA(path.substr(0, separator).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
  return FolderExists(path);
}

bool WriteFileMakingFolders(const std::string& path, const std::string& bytes) {
  const std::vector<size_t> separators = SeparatorsOf(path);
  if (!separators.empty() && !MakeFolders(path.substr(0, separators.back()))) return false;
  return WriteWholeFile(path, bytes);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) bytes->append(buffer, got);
  CloseHandle(file);
  return ok;
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ThisProgramPath() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::string ThisProgramFolder() {
  const std::string path = ThisProgramPath();
  const std::vector<size_t> separators = SeparatorsOf(path);
  return separators.empty() ? std::string() : path.substr(0, separators.back());
}

void DeleteRegistryTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  // The names first, then the deletions: a subkey that cannot be deleted does not stop the walk.
  std::vector<std::string> children;
  char name[256];
  DWORD length = sizeof name;
  for (DWORD index = 0; RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, length = sizeof name) {
    children.emplace_back(name, length);
  }
  RegCloseKey(key);
  for (const std::string& child : children) DeleteRegistryTree(root, path + "\\" + child);
  RegDeleteKeyA(root, path.c_str());
}

// Read from the process's environment block, not the C runtime's copy, so that what SetHarnessSetting
// wrote is seen at once.
// Through the wide call: the ANSI one answers in characters under Wine, which cuts Japanese values.
std::string HarnessSetting(const char* name) {
  std::wstring wideName;
  if (!AnsiToWide(name, wideName)) return std::string();
  DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  while (size > 0) {
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), &value[0], size);
    if (length < size) {
      value.resize(length);
      std::string text;
      return WideToAnsi(value, text) ? text : std::string();
    }
    size = length;  // grew in between: try again with the new size
  }
  return std::string();
}

void SetHarnessSetting(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

ChildEnvironment::ChildEnvironment(std::vector<std::pair<std::string, std::string>> values, const char* childTest)
    : values_(std::move(values)) {
  if (childTest) {
    values_.emplace_back("GTEST_FILTER", childTest);
    values_.emplace_back("GTEST_ALSO_RUN_DISABLED_TESTS", "1");
    values_.emplace_back("GTEST_BRIEF", "1");
  }
  for (const auto& value : values_) SetHarnessSetting(value.first.c_str(), value.second.c_str());
}

ChildEnvironment::~ChildEnvironment() {
  for (const auto& value : values_) SetHarnessSetting(value.first.c_str(), nullptr);
}

DWORD RunToExit(const std::string& commandLine, const char* currentDirectory) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  if (nul != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  }
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  PROCESS_INFORMATION process = {};
  DWORD code = ~0u;
  if (CreateProcessA(nullptr, writable.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE, 0, nullptr,
                     currentDirectory, &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  return code;
}

namespace {
std::mutex g_captureLock;
std::vector<std::string>* g_captured = nullptr;

std::mutex g_userLock;
std::vector<int> g_answers;
size_t g_nextAnswer = 0;
int g_fallback = IDCANCEL;
std::vector<AskedBox> g_asked;
}  // namespace

DebugCapture::DebugCapture() {
  std::lock_guard<std::mutex> lock(g_captureLock);
  g_captured = new std::vector<std::string>();
  SetDebugSink(&DebugCapture::Sink);
}

DebugCapture::~DebugCapture() {
  SetDebugSink(nullptr);
  std::lock_guard<std::mutex> lock(g_captureLock);
  delete g_captured;
  g_captured = nullptr;
}

void DebugCapture::Sink(const char* text) {
  std::lock_guard<std::mutex> lock(g_captureLock);
  if (g_captured) g_captured->push_back(text);
}

std::vector<std::string> DebugCapture::Texts() const {
  std::lock_guard<std::mutex> lock(g_captureLock);
  return g_captured ? *g_captured : std::vector<std::string>();
}

ScriptedUser::ScriptedUser(std::vector<int> answers, int fallback) {
  std::lock_guard<std::mutex> lock(g_userLock);
  g_answers = std::move(answers);
  g_nextAnswer = 0;
  g_fallback = fallback;
  g_asked.clear();
  SetMessageBoxHandler(&ScriptedUser::Handler);
}

ScriptedUser::~ScriptedUser() { SetMessageBoxHandler(nullptr); }

int ScriptedUser::Handler(HWND owner, const char* text, const char* caption, UINT style) {
  std::lock_guard<std::mutex> lock(g_userLock);
  g_asked.push_back({owner, text ? text : "", caption ? caption : "", style});
  return g_nextAnswer < g_answers.size() ? g_answers[g_nextAnswer++] : g_fallback;
}

std::vector<AskedBox> ScriptedUser::Asked() const {
  std::lock_guard<std::mutex> lock(g_userLock);
  return g_asked;
}

CustomUser::CustomUser(int (*handler)(HWND, const char*, const char*, UINT)) { SetMessageBoxHandler(handler); }

CustomUser::~CustomUser() { SetMessageBoxHandler(nullptr); }

}  // namespace testing_support
