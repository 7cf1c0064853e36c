#include "tests/support/TestSupport.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "foundation/DebugPrint.h"
#include "foundation/MessageBox.h"

namespace testing_support {

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  for (;;) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%saddon-test-%lu-%u", temp, GetCurrentProcessId(), counter++);
    if (CreateDirectoryA(name, nullptr)) {
      path_ = name;
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

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

std::string HarnessSetting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
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
