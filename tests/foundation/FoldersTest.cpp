// Folder helpers against the real system: scratch folders, the current directory, the registry (with
// the predefined roots redirected to test keys where a missing value is needed), free disk space, and
// the shell's dialogs answered by a helper thread.

#include "foundation/Folders.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "foundation/Registry.h"
#include "tests/support/TestSupport.h"

using testing_support::DebugCapture;
using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::HexBytes;
using testing_support::kHyo;
using testing_support::kNo;
using testing_support::kSo;
using testing_support::MakeFolders;
using testing_support::ReadWholeFile;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

namespace {

#define EXPECT_BYTES(expected, actual) EXPECT_EQ(HexBytes(expected), HexBytes(actual)) << (actual)

// Makes a folder the current directory for the length of a test.
class CurrentDirectoryScope {
 public:
  explicit CurrentDirectoryScope(const std::string& folder) {
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    saved_ = saved;
    ok_ = SetCurrentDirectoryA(folder.c_str()) != FALSE;
  }
  ~CurrentDirectoryScope() { SetCurrentDirectoryA(saved_.c_str()); }
  bool Ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_;
};

// Points a predefined registry root at a fresh test key below the current user's root while it lives.
class RedirectedRoot {
 public:
  explicit RedirectedRoot(HKEY root) : root_(root) {
    path_ = "Software\\AddonTests\\Redirect-" + std::to_string(GetCurrentProcessId());
    RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    ok_ = key_ && RegOverridePredefKey(root_, key_) == ERROR_SUCCESS;
  }
  ~RedirectedRoot() {
    RegOverridePredefKey(root_, nullptr);
    if (key_) RegCloseKey(key_);
    testing_support::DeleteRegistryTree(HKEY_CURRENT_USER, path_);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\AddonTests");
  }
  bool Ok() const { return ok_; }

  // Makes a key below the redirected root and sets one string value in it (none when value is null).
  bool Write(const std::string& key, const char* value, const std::string& text) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(key_, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) !=
        ERROR_SUCCESS) {
      return false;
    }
    LONG result = value ? RegSetValueExA(created, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                         static_cast<DWORD>(text.size() + 1))
                        : ERROR_SUCCESS;
    RegCloseKey(created);
    return result == ERROR_SUCCESS;
  }

 private:
  HKEY root_;
  HKEY key_ = nullptr;
  std::string path_;
  bool ok_ = false;
};

// Presses a button of the first dialog box that a thread shows, and remembers the box's title. With
// `ready`, it first waits (10 s at most) until the box answers true: a dialog that fills itself in after it
// is shown is answered only once it has. Stops looking once Stop is called (the dialog call has returned)
// or after a generous time.
class DialogAnswerer {
 public:
  DialogAnswerer(DWORD threadId, int button, std::function<bool(HWND)> ready = nullptr)
      : ready_(std::move(ready)), thread_([this, threadId, button] { Run(threadId, button); }) {}
  ~DialogAnswerer() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool Answered() const { return answered_; }
  // Whether the box was ready (always, without `ready`) when it was answered.
  bool WasReady() const { return wasReady_; }
  std::string Title() const { return title_; }

 private:
  static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }

  void Run(DWORD threadId, int button) {
    const DWORD deadline = GetTickCount() + 60000;
    while (!stop_ && static_cast<LONG>(deadline - GetTickCount()) > 0) {
      HWND dialog = nullptr;
      EnumThreadWindows(threadId, &DialogAnswerer::FindDialog, reinterpret_cast<LPARAM>(&dialog));
      if (dialog) {
        const DWORD readyBy = GetTickCount() + 10000;
        while (ready_ && !stop_ && !ready_(dialog) && static_cast<LONG>(readyBy - GetTickCount()) > 0) Sleep(20);
        wasReady_ = !ready_ || ready_(dialog);
        char title[256] = {};
        GetWindowTextA(dialog, title, sizeof title);
        title_ = title;
        answered_ = PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0) != FALSE;
        return;
      }
      Sleep(20);
    }
  }

  std::function<bool(HWND)> ready_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> answered_{false};
  std::atomic<bool> wasReady_{false};
  std::string title_;
  std::thread thread_;
};

// Whether a folder-browse dialog's tree has the folder called `name` selected (the dialog selects its
// initial folder after it is shown, expanding the tree down to it).
BOOL CALLBACK FindTreeView(HWND child, LPARAM found) {
  char className[32] = {};
  GetClassNameA(child, className, sizeof className);
  if (std::strcmp(className, WC_TREEVIEWA) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

bool BrowseSelectionIs(HWND dialog, const std::string& name) {
  HWND tree = nullptr;
  EnumChildWindows(dialog, &FindTreeView, reinterpret_cast<LPARAM>(&tree));
  if (!tree) return false;
  HTREEITEM item = TreeView_GetSelection(tree);
  if (!item) return false;
  char text[MAX_PATH] = {};
  TVITEMA query = {};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = sizeof text;
  return SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)) && name == text;
}

class ComScope {
 public:
  ComScope() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComScope() {
    if (ok_) CoUninitialize();
  }

 private:
  bool ok_;
};

std::string UnusedDriveRoot() {
  DWORD drives = GetLogicalDrives();
  for (char letter = 'Y'; letter >= 'H'; --letter) {
    if (!(drives & (1u << (letter - 'A')))) return std::string(1, letter) + ":\\";
  }
  return std::string();
}

// Stand-ins for the two free-space calls, recording what they were asked.
std::string g_askedRoot;
int g_calls = 0;

BOOL WINAPI FakeFreeSpaceEx(LPCSTR root, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
  g_askedRoot = root;
  ++g_calls;
  available->QuadPart = 5ull << 30;
  total->QuadPart = 100ull << 30;
  free->QuadPart = 6ull << 30;
  return TRUE;
}

BOOL WINAPI FailingFreeSpaceEx(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER) {
  ++g_calls;
  return FALSE;
}

// 8 sectors of 512 bytes per cluster, 0x280001 clusters free: 10 GiB and 4 KiB, which is 4 KiB modulo 2^32.
BOOL WINAPI FakeFreeSpace(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                          LPDWORD totalClusters) {
  g_askedRoot = root;
  ++g_calls;
  *sectorsPerCluster = 8;
  *bytesPerSector = 512;
  *freeClusters = 0x280001;
  *totalClusters = 0x1000000;
  return TRUE;
}

BOOL WINAPI FailingFreeSpace(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD) {
  ++g_calls;
  return FALSE;
}

}  // namespace

TEST(Folders, GetFullPath) {
  EXPECT_EQ(GetFullPath("C:/a//b\\\\c"), "C:\\a\\b\\c");
  EXPECT_EQ(GetFullPath("\\\\server\\\\share/x"), "\\\\server\\share\\x");
  EXPECT_BYTES("C:\\" + kSo + "\\" + kHyo, GetFullPath("C:\\" + kSo + "\\\\" + kHyo));

  ScratchFolder scratch;
  CurrentDirectoryScope inside(scratch.Path());
  ASSERT_TRUE(inside.Ok());
  EXPECT_BYTES(scratch.Path() + "\\sub\\" + kSo + "\\x.txt", GetFullPath("sub\\" + kSo + "\\x.txt"));
  EXPECT_EQ(GetFullPath("."), scratch.Path());
  EXPECT_EQ(GetFullPath(""), "");
  // A result that does not fit 260 bytes is a failure, not a cut or unterminated path.
  EXPECT_EQ(GetFullPath(std::string(300, 'a')), "");
}

TEST(Folders, ResolvePath) {
  EXPECT_EQ(ResolvePath("C:\\a\\b", "..\\c\\d"), "C:\\a\\c\\d");
  EXPECT_EQ(ResolvePath("C:\\a\\b", ".\\x"), "C:\\a\\b\\x");
  EXPECT_EQ(ResolvePath("C:\\a\\b", "x/y"), "C:\\a\\b\\x\\y");
  EXPECT_EQ(ResolvePath("C:\\a\\b\\", "x\\\\y\\"), "C:\\a\\b\\x\\y\\");
  EXPECT_EQ(ResolvePath("C:\\a\\b", "..\\..\\..\\z"), "C:\\z");
  EXPECT_EQ(ResolvePath("C:/a", "b"), "C:\\a\\b");
  EXPECT_EQ(ResolvePath("C:\\a", "D:/q"), "D:/q");  // absolute: as given
  EXPECT_EQ(ResolvePath("C:\\a", ""), "");
  // Components ending in a trail byte 0x5C are whole components.
  EXPECT_BYTES("C:\\" + kSo + "\\" + kNo, ResolvePath("C:\\" + kSo + "\\" + kHyo, "..\\" + kNo));
  EXPECT_BYTES("C:\\" + kSo + "\\" + kHyo + "\\" + kNo + "\\" + kHyo + "\\x",
               ResolvePath("C:\\" + kSo + "\\" + kHyo, kNo + "\\" + kHyo + "\\x"));
  EXPECT_BYTES("C:\\" + kSo, ResolvePath("C:\\" + kSo + "\\" + kHyo + "\\" + kNo, "..\\..\\"));

  // No base: the current directory.
  ScratchFolder scratch;
  CurrentDirectoryScope inside(scratch.Path());
  ASSERT_TRUE(inside.Ok());
  EXPECT_EQ(ResolvePath("", "a\\b"), scratch.Path() + "\\a\\b");
  EXPECT_EQ(ResolvePath("", "..\\a"), GetParentDirectory(scratch.Path()) + "\\a");
}

TEST(Folders, FormatString) {
  EXPECT_BYTES(kSo + "-5-x", FormatString("%s-%d-%c\n", kSo.c_str(), 5, 'x'));
  EXPECT_EQ(FormatString("a\n\n"), "a\n");  // one final line feed only
  EXPECT_EQ(FormatString("%u", 4000000000u), "4000000000");
  EXPECT_EQ(FormatString(nullptr), "");
  // Output is limited to what wvsprintfA writes (1024 bytes with its terminator).
  const std::string longText(2000, 'q');
  std::string formatted = FormatString("%s", longText.c_str());
  EXPECT_GE(formatted.size(), 1000u);
  EXPECT_LE(formatted.size(), 1024u);
  EXPECT_EQ(formatted, longText.substr(0, formatted.size()));
}

TEST(Folders, ModuleDirectoryAndPath) {
  const std::string module = GetModulePath();
  ASSERT_TRUE(IsAbsolutePath(module)) << module;
  EXPECT_TRUE(FileExists(module)) << module;
  EXPECT_EQ(ToLowerCase(module.substr(module.size() - 20)), "foundation_tests.exe");
  EXPECT_EQ(GetModuleDirectory() + "\\" + module.substr(module.size() - 20), module);
  EXPECT_TRUE(FolderExists(GetModuleDirectory()));

  // The folder part of other module names, through the same steps.
  using folders_internal::ModuleDirectoryOf;
  EXPECT_EQ(ModuleDirectoryOf("C:\\Games\\Setup\\setup.exe"), "C:\\Games\\Setup");
  EXPECT_EQ(ModuleDirectoryOf("C:\\setup.exe"), "C:");
  EXPECT_EQ(ModuleDirectoryOf("C:/Games//setup.exe"), "C:\\Games");
  EXPECT_BYTES("C:\\" + kSo, ModuleDirectoryOf("C:\\" + kSo + "\\" + kHyo + ".exe"));
  EXPECT_BYTES("C:\\" + kHyo + "\\" + kNo, ModuleDirectoryOf("C:\\" + kHyo + "\\" + kNo + "\\setup.exe"));
}

// Run only by ModuleDirectoryOfAnExecutableInADriveRoot, in a copy of this program.
TEST(FoldersChild, DISABLED_ReportModuleDirectory) {
  const std::string report = testing_support::HarnessSetting("ADDON_MODULE_REPORT");
  ASSERT_FALSE(report.empty());
  ASSERT_TRUE(WriteWholeFile(report, GetModuleDirectory() + "\n" + GetModulePath()));
}

TEST(Folders, ModuleDirectoryOfAnExecutableInADriveRoot) {
  const std::string copy = "C:\\addon-module-" + std::to_string(GetCurrentProcessId()) + ".exe";
  if (!CopyFileA(GetModulePath().c_str(), copy.c_str(), FALSE))
    GTEST_SKIP() << testing_support::kHostLacks << "cannot write to the root of C:";
  ScratchFolder scratch;
  const std::string report = scratch / "report.txt";

  DWORD exitCode;
  {
    testing_support::ChildEnvironment environment({{"ADDON_MODULE_REPORT", report}},
                                                  "FoldersChild.DISABLED_ReportModuleDirectory");
    exitCode = testing_support::RunToExit("\"" + copy + "\"", "C:\\");
  }
  DeleteFileA(copy.c_str());
  ASSERT_NE(exitCode, ~0u) << "the copy ran to its end";
  EXPECT_EQ(exitCode, 0u);

  std::string answer;
  ASSERT_TRUE(ReadWholeFile(report, &answer));
  EXPECT_EQ(answer, "C:\n" + copy);
}

TEST(Folders, SystemFolders) {
  const std::string temp = GetTempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_TRUE(FolderExists(temp));

  const std::string windows = GetWindowsDirectoryPath();
  EXPECT_TRUE(IsAbsolutePath(windows)) << windows;
  EXPECT_TRUE(FolderExists(windows)) << windows;
  EXPECT_EQ(ToLowerCase(GetSpecialFolderPath(CSIDL_WINDOWS)), ToLowerCase(windows));
  EXPECT_EQ(GetSpecialFolderPath(-1), "");

  // The registry's folders agree with the shell's.
  const std::string programFiles = GetProgramFilesPath();
  EXPECT_TRUE(FolderExists(programFiles)) << programFiles;
  EXPECT_EQ(ToLowerCase(programFiles), ToLowerCase(GetSpecialFolderPath(CSIDL_PROGRAM_FILES)));
  const std::string desktop = GetDesktopPath();
  EXPECT_TRUE(IsAbsolutePath(desktop)) << desktop;
  EXPECT_EQ(ToLowerCase(desktop), ToLowerCase(GetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY)));
}

TEST(Folders, RegistryFoldersReportWhatFailed) {
  {
    RedirectedRoot machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine.Ok());
    {
      DebugCapture capture;
      EXPECT_EQ(GetProgramFilesPath(), "");
      EXPECT_EQ(capture.Texts(), std::vector<std::string>{"GetProgramFilesPath() レジストリオープンに失敗"});
    }
    ASSERT_TRUE(machine.Write("Software\\Microsoft\\Windows\\CurrentVersion", nullptr, ""));
    {
      DebugCapture capture;
      EXPECT_EQ(GetProgramFilesPath(), "");
      EXPECT_EQ(capture.Texts(), std::vector<std::string>{"GetProgramFilesPath() レジストリ値取得に失敗"});
    }
    ASSERT_TRUE(machine.Write("Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "X:\\プログラム"));
    {
      DebugCapture capture;
      EXPECT_EQ(GetProgramFilesPath(), "X:\\プログラム");
      EXPECT_TRUE(capture.Texts().empty());
    }
  }
  {
    RedirectedRoot user(HKEY_CURRENT_USER);
    ASSERT_TRUE(user.Ok());
    const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    {
      DebugCapture capture;
      EXPECT_EQ(GetDesktopPath(), "");
      EXPECT_EQ(capture.Texts(), std::vector<std::string>{"GetDesktopPath() レジストリオープンに失敗"});
    }
    ASSERT_TRUE(user.Write(shellFolders, nullptr, ""));
    {
      DebugCapture capture;
      EXPECT_EQ(GetDesktopPath(), "");
      EXPECT_EQ(capture.Texts(), std::vector<std::string>{"GetDesktopPath() レジストリ値取得に失敗"});
    }
    ASSERT_TRUE(user.Write(shellFolders, "Desktop", "X:\\デスクトップ"));
    {
      DebugCapture capture;
      EXPECT_EQ(GetDesktopPath(), "X:\\デスクトップ");
      EXPECT_TRUE(capture.Texts().empty());
    }
  }
}

TEST(Folders, CurrentDirectory) {
  ScratchFolder scratch;
  const std::string japanese = scratch / (kSo + kHyo + kNo);
  ASSERT_TRUE(MakeFolders(japanese));
  const std::string before = GetCurrentDirectoryPath();
  ASSERT_FALSE(before.empty());

  ASSERT_TRUE(ChangeCurrentDirectory(japanese));
  EXPECT_BYTES(japanese, GetCurrentDirectoryPath());
  EXPECT_FALSE(ChangeCurrentDirectory(scratch / "missing"));
  EXPECT_BYTES(japanese, GetCurrentDirectoryPath());
  EXPECT_TRUE(ChangeCurrentDirectory(before));
  EXPECT_EQ(GetCurrentDirectoryPath(), before);
}

namespace {

// A folder below `base` made of kanji and kana whose trail byte is '\\' (ソ 表 能 予 十), `bytes` long
// at least, with far fewer characters than bytes; made on disk.
std::string MakeLongJapaneseFolder(const std::string& base, size_t bytes) {
  std::string folder = base;
  while (folder.size() < bytes) folder += "\\ソフト表示能力予十";
  EXPECT_TRUE(MakeFolders(folder));
  return folder;
}

// The folder with components taken off its end until it is shorter than `bytes`.
std::string ShorterThan(std::string folder, size_t bytes) {
  while (folder.size() >= bytes) folder = GetParentDirectory(folder);
  return folder;
}

}  // namespace

// The calls that fill a 260-byte buffer, with Japanese paths whose byte count is about twice their
// character count: the whole path when it fits, nothing (never a cut path) when it does not.
TEST(Folders, JapanesePathsNearAndPastTheLimit) {
  ScratchFolder scratch;
  const std::string beyond = MakeLongJapaneseFolder(scratch / "ゲーム", 300);
  const std::string within = ShorterThan(beyond, 250);
  ASSERT_GT(within.size(), 230u);

  {
    CurrentDirectoryScope inside(within);
    ASSERT_TRUE(inside.Ok());
    EXPECT_BYTES(within, GetCurrentDirectoryPath());
    EXPECT_BYTES(within + "\\表.txt", GetFullPath("表.txt"));
    EXPECT_EQ("", GetFullPath("ソフト表示能力予十\\ソフト表示能力予十\\表.txt")) << "past 260 bytes";
  }
  {
    CurrentDirectoryScope inside(beyond);
    ASSERT_TRUE(inside.Ok());
    EXPECT_EQ("", GetCurrentDirectoryPath());
  }

  // The temp folder as TMP names it, with its trailing backslash.
  {
    // Kept through the wide form: the ANSI one cuts a double-byte value.
    wchar_t saved[1024] = {};
    const DWORD savedLength = GetEnvironmentVariableW(L"TMP", saved, 1024);
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", within.c_str()));
    EXPECT_BYTES(within + "\\", GetTempDirectory());
    ASSERT_TRUE(SetEnvironmentVariableA("TMP", beyond.c_str()));
    EXPECT_EQ("", GetTempDirectory());
    SetEnvironmentVariableW(L"TMP", savedLength > 0 && savedLength < 1024 ? saved : nullptr);
  }

  // Shell item lists: SHGetPathFromIDListA would cut the longer one to 260 bytes and report success.
  for (const std::string& folder : {within, beyond}) {
    SCOPED_TRACE(folder.size());
    std::wstring wide(folder.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1);
    LPITEMIDLIST list = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHParseDisplayName(wide.c_str(), nullptr, &list, 0, nullptr)) && list);
    EXPECT_BYTES(folder.size() < 260 ? folder : std::string(), folders_internal::PathFromItemList(list));
    CoTaskMemFree(list);
  }
  EXPECT_EQ("", folders_internal::PathFromItemList(nullptr));
}

// Run only by ModulePathOfAnExecutableInALongJapaneseFolder, in a copy of this program.
TEST(FoldersChild, DISABLED_ReportModulePath) {
  const std::string report = testing_support::HarnessSetting("ADDON_MODULE_REPORT");
  ASSERT_FALSE(report.empty());
  ASSERT_TRUE(WriteWholeFile(report, "[" + GetModuleDirectory() + "]\n[" + GetModulePath() + "]"));
}

TEST(Folders, ModulePathOfAnExecutableInALongJapaneseFolder) {
  ScratchFolder scratch;
  // Every depth from below 240 bytes to past 400: where the 260th byte falls decides how the ANSI call
  // cuts the name.
  std::vector<std::string> folders;
  for (std::string folder = MakeLongJapaneseFolder(scratch / "ゲーム", 400); folder.size() > 220;
       folder = GetParentDirectory(folder)) {
    folders.push_back(folder);
  }
  const std::string report = scratch / "report.txt";
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder.size());
    const std::string copy = folder + "\\表.exe";
    ASSERT_TRUE(CopyFileA(GetModulePath().c_str(), copy.c_str(), FALSE));
    DeleteFileA(report.c_str());
    DWORD exitCode;
    {
      testing_support::ChildEnvironment environment({{"ADDON_MODULE_REPORT", report}},
                                                    "FoldersChild.DISABLED_ReportModulePath");
      exitCode = testing_support::RunToExit("\"" + copy + "\"", "C:\\");
    }
    DeleteFileA(copy.c_str());
    ASSERT_EQ(exitCode, 0u);
    std::string answer;
    ASSERT_TRUE(ReadWholeFile(report, &answer));
    // A name past 260 bytes is no module path at all rather than the first 259 bytes of one.
    EXPECT_BYTES(copy.size() < 260 ? "[" + folder + "]\n[" + copy + "]" : std::string("[]\n[]"), answer);
  }
}

TEST(Folders, MakeDirectoryAndRemoveFile) {
  ScratchFolder scratch;
  EXPECT_TRUE(MakeDirectory(scratch / "one"));
  EXPECT_TRUE(FolderExists(scratch / "one"));
  EXPECT_FALSE(MakeDirectory(scratch / "one"));  // exists already
  EXPECT_FALSE(MakeDirectory(""));
  EXPECT_FALSE(MakeDirectory(scratch / "missing\\two"));  // one level only

  ASSERT_TRUE(WriteWholeFile(scratch / "file.txt", "x"));
  EXPECT_TRUE(RemoveFile(scratch / "file.txt"));
  EXPECT_FALSE(FileExists(scratch / "file.txt"));
  EXPECT_FALSE(RemoveFile(scratch / "file.txt"));
}

TEST(Folders, CreateDirectoryTree) {
  ScratchFolder scratch;
  const std::string deep = scratch / ("a\\" + kSo + "\\" + kHyo + "\\b");
  EXPECT_TRUE(CreateDirectoryTree(deep));
  EXPECT_TRUE(FolderExists(scratch / "a"));
  EXPECT_TRUE(FolderExists(scratch / ("a\\" + kSo)));
  EXPECT_TRUE(FolderExists(deep));
  // Only the named folders: the trail bytes made no extra folder such as "a\\\x83".
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((scratch / "a\\*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::vector<std::string> names;
  do {
    if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, "..")) names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  EXPECT_EQ(names, std::vector<std::string>{kSo});

  // Slashes separate too.
  EXPECT_TRUE(CreateDirectoryTree(BackslashToSlash(scratch / "c\\d\\e")));
  EXPECT_TRUE(FolderExists(scratch / "c\\d\\e"));

  // An existing folder: false, and what it holds is untouched.
  ASSERT_TRUE(WriteWholeFile(deep + "\\keep.txt", "kept"));
  EXPECT_FALSE(CreateDirectoryTree(deep));
  std::string kept;
  ASSERT_TRUE(ReadWholeFile(deep + "\\keep.txt", &kept));
  EXPECT_EQ(kept, "kept");
  EXPECT_TRUE(FolderExists(deep));

  // A file in the way: false.
  ASSERT_TRUE(WriteWholeFile(scratch / "file", "x"));
  EXPECT_FALSE(CreateDirectoryTree(scratch / "file\\sub"));
  EXPECT_TRUE(FileExists(scratch / "file"));
}

TEST(Folders, DiskFreeBytesThroughEitherCall) {
  using folders_internal::GetDiskFreeBytesUsing;
  // With GetDiskFreeSpaceExA: its first count, the bytes available to the caller.
  g_calls = 0;
  EXPECT_EQ(GetDiskFreeBytesUsing("C:\\", &FakeFreeSpaceEx, &FailingFreeSpace), 5ull << 30);
  EXPECT_EQ(g_askedRoot, "C:\\");
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(GetDiskFreeBytesUsing("C:\\", &FailingFreeSpaceEx, &FakeFreeSpace), 0u);

  // Without it: sectors x bytes x free clusters, multiplied in 64 bits, so 10 GiB does not wrap.
  EXPECT_EQ(GetDiskFreeBytesUsing("D:\\", nullptr, &FakeFreeSpace), (10ull << 30) + 4096);
  EXPECT_EQ(g_askedRoot, "D:\\");
  EXPECT_EQ(GetDiskFreeBytesUsing("D:\\", nullptr, &FailingFreeSpace), 0u);
  EXPECT_EQ(GetDiskFreeBytesUsing("D:\\", nullptr, nullptr), 0u);

  // A path that does not fit the 260-byte buffer is refused before any call; 259 bytes still pass.
  g_calls = 0;
  EXPECT_EQ(GetDiskFreeBytesUsing(std::string(260, 'x'), &FakeFreeSpaceEx, &FakeFreeSpace), 0u);
  EXPECT_EQ(GetDiskFreeBytes(std::string(1000, 'x')), 0u);
  EXPECT_EQ(g_calls, 0);
  const std::string longest = "C:\\" + std::string(256, 'x');
  EXPECT_EQ(GetDiskFreeBytesUsing(longest, &FakeFreeSpaceEx, &FakeFreeSpace), 5ull << 30);
  EXPECT_EQ(g_askedRoot, longest);
}

TEST(Folders, DiskFreeBytesOfRealVolumes) {
  EXPECT_GT(GetDiskFreeBytes("C:\\"), 0u);
  const std::string unused = UnusedDriveRoot();
  ASSERT_FALSE(unused.empty());
  EXPECT_EQ(GetDiskFreeBytes(unused), 0u);

  const std::string small = testing_support::HarnessSetting("ADDON_SMALL_DRIVE");
  if (small.empty()) GTEST_SKIP() << testing_support::kHostLacks << "no small drive in this environment";
  const std::string root = small + "\\";
  // A 16 MiB volume that only this test writes to: both calls see the same space, and a file takes it.
  const uint64_t free = GetDiskFreeBytes(root);
  EXPECT_GT(free, 0u);
  EXPECT_LE(free, 16ull << 20);
  EXPECT_EQ(folders_internal::GetDiskFreeBytesUsing(root, nullptr, &GetDiskFreeSpaceA), free);
  const std::string file = root + "addon-free-" + std::to_string(GetCurrentProcessId()) + ".bin";
  ASSERT_TRUE(WriteWholeFile(file, std::string(1 << 20, 'x')));
  EXPECT_LE(GetDiskFreeBytes(root), free - (1 << 20));
  DeleteFileA(file.c_str());
}

TEST(Folders, CanWriteLocalMachine) {
  HKEY probe = nullptr;
  const bool direct = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, kRegistryFullAccess, &probe) == ERROR_SUCCESS;
  if (probe) RegCloseKey(probe);
  const bool first = CanWriteLocalMachine();
  EXPECT_EQ(first, direct);
  EXPECT_EQ(CanWriteLocalMachine(), first);
}

TEST(Folders, ErrorModeGuardRestoresThePreviousMode) {
  const UINT original = SetErrorMode(0);
  {
    CErrorModeGuard guard;
    UINT inside = SetErrorMode(0);
    SetErrorMode(inside);
    EXPECT_EQ(inside & SEM_FAILCRITICALERRORS, static_cast<UINT>(SEM_FAILCRITICALERRORS));
    { CErrorModeGuard nested; }
    UINT afterNested = SetErrorMode(0);
    SetErrorMode(afterNested);
    EXPECT_EQ(afterNested, inside);
  }
  UINT after = SetErrorMode(original);
  EXPECT_EQ(after, 0u);
}

TEST(Folders, BrowseForFolderSelectsTheInitialFolder) {
  ComScope com;
  ScratchFolder scratch;
  const std::string initial = scratch / (kSo + kHyo);
  ASSERT_TRUE(MakeFolders(initial));
  {
    DialogAnswerer answerer(GetCurrentThreadId(), IDCANCEL);
    EXPECT_EQ(BrowseForFolder(nullptr, "フォルダの選択", initial), "");
    answerer.Stop();
    EXPECT_TRUE(answerer.Answered());
  }
  {
    DialogAnswerer answerer(GetCurrentThreadId(), IDOK,
                            [](HWND dialog) { return BrowseSelectionIs(dialog, kSo + kHyo); });
    const std::string chosen = BrowseForFolder(nullptr, "フォルダの選択", initial);
    answerer.Stop();
    ASSERT_TRUE(answerer.Answered());
    // Wine's 32-bit folder dialog sometimes never selects the folder it is asked to (seen only in a full
    // run, after the 64-bit programs used the same prefix): then OK can only give what it shows.
    if (!answerer.WasReady()) GTEST_SKIP() << "the folder dialog did not select its initial folder within 10 s";
    EXPECT_BYTES(initial, chosen);
  }
}

TEST(Folders, FileDialogsReturnTheChosenPathAndKeepTheCurrentDirectory) {
  ComScope com;
  ScratchFolder scratch;
  const std::string folder = scratch / kSo;
  ASSERT_TRUE(MakeFolders(folder));
  ASSERT_TRUE(WriteWholeFile(folder + "\\" + kHyo + ".txt", "x"));
  CurrentDirectoryScope elsewhere(scratch.Path());
  ASSERT_TRUE(elsewhere.Ok());
  const std::string current = GetCurrentDirectoryPath();

  {
    DialogAnswerer answerer(GetCurrentThreadId(), IDOK);
    const std::string chosen =
        ShowOpenFileDialog(nullptr, GetModuleHandleA(nullptr), "", folder, kHyo + ".txt", "開くテスト");
    answerer.Stop();
    ASSERT_TRUE(answerer.Answered());
    EXPECT_BYTES("開くテスト", answerer.Title());
    EXPECT_BYTES(folder + "\\" + kHyo + ".txt", chosen);
    EXPECT_EQ(GetCurrentDirectoryPath(), current);
  }
  {
    DialogAnswerer answerer(GetCurrentThreadId(), IDCANCEL);
    EXPECT_EQ(ShowOpenFileDialog(nullptr, nullptr, "", folder, "", "開くテスト"), "");
    answerer.Stop();
    EXPECT_TRUE(answerer.Answered());
    EXPECT_EQ(GetCurrentDirectoryPath(), current);
  }
  {
    DialogAnswerer answerer(GetCurrentThreadId(), IDOK);
    const std::string chosen = ShowSaveFileDialog(nullptr, nullptr, "txt", folder, kNo, "保存テスト");
    answerer.Stop();
    ASSERT_TRUE(answerer.Answered());
    EXPECT_BYTES("保存テスト", answerer.Title());
    EXPECT_BYTES(folder + "\\" + kNo + ".txt", chosen);
    EXPECT_EQ(GetCurrentDirectoryPath(), current);
  }
}

// The harness hands paths to child processes through the environment: a Japanese value of about 200
// bytes (far fewer characters) comes back whole, not cut at its character count.
TEST(HarnessSetting, JapaneseValuesComeBackWhole) {
  std::string value = "C:\\ゲーム";
  while (value.size() < 200) value += "\\" + kHyo + kSo + kNo + "データ";
  testing_support::SetHarnessSetting("ADDON_JAPANESE_PROBE", value.c_str());
  EXPECT_BYTES(value, testing_support::HarnessSetting("ADDON_JAPANESE_PROBE"));
  testing_support::SetHarnessSetting("ADDON_JAPANESE_PROBE", nullptr);
  EXPECT_EQ(testing_support::HarnessSetting("ADDON_JAPANESE_PROBE"), "");
}
