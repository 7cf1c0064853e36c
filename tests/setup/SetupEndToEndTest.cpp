// The real setup.exe, started from the add-on disc (G:\setup.exe, the sample disc made by
// tools/make-sample-disc.sh) as a child process, with a robot answering its message boxes. Each case
// builds a fresh base-game folder, registers it in App Paths, runs the setup and then compares the boxes
// (caption and text bytes, buttons, icon, owner) and the bytes on disk with what the setup must do.
// The cases that get past the setup's free-space test are skipped when C: has no room for the install.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "foundation/AnsiText.h"
#include "foundation/PathText.h"
#include "tests/support/TestSupport.h"
#include "tools/robot/Robot.h"

using testing_support::FileExists;
using testing_support::FolderExists;
using testing_support::HarnessSetting;
using testing_support::HexBytes;
using testing_support::MakeFolders;
using testing_support::ReadWholeFile;
using testing_support::RemoveTree;
using testing_support::WriteFileMakingFolders;
using testing_support::WriteWholeFile;

namespace {

constexpr DWORD kGenerousMs = 60000;

// The free space the setup asks for before it copies, with both patch packs present (the most it asks
// for): the sum of its fixed sizes, whatever the files on the disc weigh.
constexpr ULONGLONG kSetupRequiredBytes = 2125110045ull;

// What the setup shows, as the user must see it (Shift-JIS bytes through -fexec-charset=CP932).
const char* const kSuccessText = "セットアップは正常に終了しました。";
const char* const kSuccessCaption = "正常終了";
const char* const kNotInstalledText = "Sorvane～Quellith～がインストールされていません。";
const char* const kErrorCaption = "エラー";
const char* const kNoSpaceText = "インストール先ハードディスクの容量が不足しています。";
const char* const kCreateFailedText = "ファイル読み込みに失敗しました。[Error::CreateFile]\n";
const char* const kWaitCaption = "実行ファイル更新";
const char* const kWaitText = "更新中です。しばらくお待ちください。";

const char* const kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char* const kFirstName = "Sorvane";
const char* const kSecondName = "Sorvane（Dorvelo）";
const char* const kPack1000 = "patch\\1000_tolvemark1116120116.pak";
const char* const kPack1005 = "patch\\1005_tokubetsu116120116.pak";

using Files = std::map<std::string, std::string>;  // relative path -> bytes

std::string DiscDrive() {
  std::string drive = HarnessSetting("ADDON_DISC_DRIVE");
  return drive.empty() ? "G:" : drive;
}

std::string SetupPath() { return DiscDrive() + "\\setup.exe"; }

// Every file below `folder` with its bytes, by path relative to the folder.
void CollectFiles(const std::string& folder, const std::string& relative, Files* files) {
  WIN32_FIND_DATAA data;
  std::string base = relative.empty() ? folder : folder + "\\" + relative;
  HANDLE find = FindFirstFileA((base + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string child = relative.empty() ? name : relative + "\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CollectFiles(folder, child, files);
    } else {
      std::string bytes;
      ReadWholeFile(folder + "\\" + child, &bytes);
      (*files)[child] = bytes;
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

Files FilesBelow(const std::string& folder) {
  Files files;
  CollectFiles(folder, "", &files);
  return files;
}

// The first folder named voice below the game's folder becomes voice2. Only whole characters are
// looked at: in "表voice\" the '\' before "voice" is the trail byte of 表, so that is no folder voice.
std::string RedirectVoice(const std::string& relative) {
  std::string path = "\\" + relative;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      ++i;
    } else if (path.compare(i, 7, "\\voice\\") == 0) {
      path.replace(i, 7, "\\voice2\\");
      break;
    }
  }
  return path.substr(1);
}

// Adds to `expected` (paths relative to the game folder) what installing the disc's categories must
// leave there.
void ExpectCategories(const std::vector<const char*>& categories, Files* expected) {
  for (const char* category : categories) {
    Files source = FilesBelow(DiscDrive() + "\\data\\" + category);
    ASSERT_FALSE(source.empty()) << category << ": the sample disc is missing";
    for (const auto& file : source) (*expected)[RedirectVoice(file.first)] = file.second;
  }
}

// Names of files that differ between two listings, for readable failures.
std::string Differences(const Files& expected, const Files& actual) {
  std::string out;
  for (const auto& file : expected) {
    auto found = actual.find(file.first);
    if (found == actual.end())
      out += "  missing: " + AnsiToUtf8(file.first) + "\n";
    else if (found->second != file.second)
      out += "  different bytes: " + AnsiToUtf8(file.first) + " (" + std::to_string(found->second.size()) + " bytes, " +
             std::to_string(file.second.size()) + " expected)\n";
  }
  for (const auto& file : actual)
    if (!expected.count(file.first)) out += "  not expected: " + AnsiToUtf8(file.first) + "\n";
  return out;
}

// Checks that `folder` holds exactly the expected files, byte for byte.
void ExpectFiles(const Files& expected, const std::string& folder) {
  Files actual = FilesBelow(folder);
  EXPECT_TRUE(expected == actual) << Differences(expected, actual);
}

// Why C: lacks the room the setup asks for (it then stops before copying), or "" when it has it.
std::string NoRoomOnC() {
  ULARGE_INTEGER available, total, free;
  if (!GetDiskFreeSpaceExA("C:\\", &available, &total, &free))
    return "cannot read the free space of C:, error " + std::to_string(GetLastError());
  if (available.QuadPart > kSetupRequiredBytes) return std::string();
  return "C: has " + std::to_string(available.QuadPart) + " bytes free; the setup needs more than " +
         std::to_string(kSetupRequiredBytes);
}

// The platform's text for an error code, as a program of this code page gets it.
std::string SystemText(DWORD code) {
  char* text = nullptr;
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0x400, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result(text ? text : "", length);
  if (text) LocalFree(text);
  return result;
}

void RemoveEveryEntry() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    for (const char* name : {kFirstName, kSecondName})
      RegDeleteKeyA(root, (std::string(kAppPaths) + name + ".exe").c_str());
}

bool SetString(HKEY key, const char* name, const std::string& value, DWORD type = REG_SZ) {
  return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// An App Paths entry as the base game's installer writes it; without `folder` the "Path" value is left out.
// The default value is written as REG_EXPAND_SZ when it holds an environment string.
void Register(HKEY root, const char* name, const std::string& executable, const std::string* folder) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, (std::string(kAppPaths) + name + ".exe").c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  EXPECT_TRUE(SetString(key, "", executable, executable.find('%') != std::string::npos ? REG_EXPAND_SZ : REG_SZ));
  if (folder) {
    EXPECT_TRUE(SetString(key, "Path", *folder));
  }
  RegCloseKey(key);
}

// One run of the setup as a child process.
struct SetupRun {
  CRobot::Outcome outcome = CRobot::Outcome::kFailed;
  DWORD exitCode = 0xDEAD;
  std::vector<RobotAnswer> answers;
  std::vector<RobotDialog> waitDialogs;
  std::vector<std::string> windows;
  std::vector<int> progress;  // the please-wait dialog's bar, as the robot read it
  std::string problem;
};

// Starts G:\setup.exe with `currentDirectory` as its current directory and lets the robot answer;
// `decide` chooses the button of each box (OK when empty). The program is terminated if it does not end
// in time.
SetupRun RunSetup(CRobot::Decision decide = nullptr, const std::string& currentDirectory = "C:\\",
                  const std::string& setupPath = SetupPath()) {
  SetupRun run;
  std::string commandLine = "\"" + setupPath + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(setupPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, currentDirectory.c_str(),
                      &startup, &started)) {
    run.problem = "cannot start " + setupPath + ", error " + std::to_string(GetLastError());
    return run;
  }
  CloseHandle(started.hThread);
  CRobot robot(started.dwProcessId);
  if (decide) robot.SetDecision(decide);
  run.outcome = robot.Watch(started.hProcess, kGenerousMs);
  if (run.outcome != CRobot::Outcome::kExited) {
    TerminateProcess(started.hProcess, 0xBAD);
    WaitForSingleObject(started.hProcess, kGenerousMs);
  }
  GetExitCodeProcess(started.hProcess, &run.exitCode);
  CloseHandle(started.hProcess);
  run.answers = robot.Answers();
  run.waitDialogs = robot.SeenWaitDialogs();
  run.windows = robot.SeenWindows();
  run.progress = robot.ProgressSamples();
  run.problem = robot.Problem();
  return run;
}

std::string Boxes(const SetupRun& run) {
  std::string out;
  for (const auto& answer : run.answers)
    out += "  [" + AnsiToUtf8(answer.box.caption) + "] " + AnsiToUtf8(answer.box.text) + "\n";
  return out;
}

// Checks one box: caption and text bytes, buttons, icon, no owner.
void ExpectBox(const RobotAnswer& answer, const std::string& caption, const std::string& text, std::vector<int> buttons,
               bool icon) {
  EXPECT_EQ(caption, answer.box.caption) << HexBytes(answer.box.caption);
  EXPECT_EQ(text, answer.box.text) << HexBytes(answer.box.text) << "\n" << AnsiToUtf8(answer.box.text);
  EXPECT_EQ(buttons, answer.box.buttons);
  EXPECT_EQ(icon, answer.box.hasIcon);
  EXPECT_EQ(nullptr, answer.box.owner);
}

class SetupEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveEveryEntry();
    ASSERT_TRUE(FileExists(SetupPath())) << SetupPath() << " is missing: the harness puts it on the sample disc";
  }
  void TearDown() override {
    RemoveEveryEntry();
    for (const auto& folder : folders_) RemoveTree(folder);
  }

  // A fresh base-game folder `root`\Games\`name` holding the game's executable; returns its path.
  std::string MakeGame(const std::string& root, const std::string& name, const char* executable = "Sorvane.exe") {
    std::string folder = root + "\\Games\\" + name;
    RemoveTree(folder);
    MakeFolders(folder);
    folders_.push_back(folder);
    EXPECT_TRUE(WriteWholeFile(folder + "\\" + executable, "MZ base game " + name));
    return folder;
  }

  // A fresh base-game folder at `folder` holding the game's executable, below `top` (a folder of the
  // test's own, removed at the end with everything in it); returns the folder.
  std::string MakeGameAt(const std::string& top, const std::string& folder,
                         const std::string& executable = "Sorvane.exe") {
    RemoveTree(top);
    EXPECT_TRUE(MakeFolders(folder)) << AnsiToUtf8(folder);
    folders_.push_back(top);
    EXPECT_TRUE(WriteWholeFile(folder + "\\" + executable, "MZ base game " + folder));
    return folder;
  }

  // MakeGame below C:, registered under the machine-wide App Paths entry of the first name.
  std::string MakeRegisteredGame(const std::string& name) {
    std::string game = MakeGame("C:", name);
    Register(HKEY_LOCAL_MACHINE, kFirstName, game + "\\Sorvane.exe", &game);
    return game;
  }

  // The full install of `categories` over the files that were there before.
  static Files Installed(const Files& before, const std::vector<const char*>& categories) {
    Files expected = before;
    ExpectCategories(categories, &expected);
    return expected;
  }

  void ExpectSuccess(const SetupRun& run) {
    ASSERT_EQ(CRobot::Outcome::kExited, run.outcome) << run.problem;
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, run.answers.size()) << Boxes(run);
    ExpectBox(run.answers[0], kSuccessCaption, kSuccessText, {IDOK}, true);
    EXPECT_FALSE(run.answers[0].waitDialogOpen) << "the please-wait dialog goes before the success message";
    ExpectProgressNeverGoesBack(run.progress);
  }

  static std::string Samples(const std::vector<int>& progress) {
    std::string out;
    for (int p : progress) out += std::to_string(p) + " ";
    return out;
  }

  static void ExpectProgressNeverGoesBack(const std::vector<int>& progress) {
    for (size_t i = 0; i < progress.size(); ++i) {
      EXPECT_GE(progress[i], 0) << Samples(progress);
      EXPECT_LE(progress[i], 100) << Samples(progress);
      if (i > 0) {
        EXPECT_GE(progress[i], progress[i - 1]) << Samples(progress);
      }
    }
  }

  // Runs the setup for the registered `game` and checks that it ends with its success message and that
  // the folder then holds what it held before plus every file of `categories`. Returns that listing.
  Files InstallAndCompare(const std::string& game, const std::vector<const char*>& categories) {
    const Files expected = Installed(FilesBelow(game), categories);
    ExpectSuccess(RunSetup());
    ExpectFiles(expected, game);
    return expected;
  }

  std::vector<std::string> folders_;
};

// Cases in which the setup gets past its free-space test, and so needs room for it on C:.
class SetupInstall : public SetupEndToEnd {
 protected:
  void SetUp() override {
    SetupEndToEnd::SetUp();
    if (HasFatalFailure()) return;
    const std::string noRoom = NoRoomOnC();
    if (!noRoom.empty()) GTEST_SKIP() << testing_support::kHostLacks << noRoom;
  }
};

TEST_F(SetupInstall, InstallsGamedata2And5IntoTheRegisteredFolder) {
  // The wizard's pictures are on the disc, one loose and one as its single-file pack: the setup loads
  // both through the file front before it copies, and goes on.
  ASSERT_TRUE(FileExists(DiscDrive() + "\\data\\v_006_000.bmp"));
  ASSERT_FALSE(FileExists(DiscDrive() + "\\data\\v_006_001.bmp"));
  WIN32_FIND_DATAA found;
  HANDLE pack = FindFirstFileA((DiscDrive() + "\\data\\v_006_001*.pak").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, pack) << "the second picture's single-file pack";
  FindClose(pack);
  std::string game = MakeRegisteredGame("plain");
  // A save file the install does not touch, and an older, longer copy of a file it replaces.
  ASSERT_TRUE(WriteFileMakingFolders(game + "\\save\\save01.dat", "player one"));
  ASSERT_TRUE(WriteWholeFile(game + "\\readme.txt", std::string(100000, 'o')));
  Files expected = InstallAndCompare(game, {"gamedata2", "gamedata5"});
  // The voice folders were redirected, not copied as they are.
  EXPECT_TRUE(FileExists(game + "\\voice2\\chapter1\\v0102.ogg"));
  EXPECT_TRUE(FileExists(game + "\\voice2\\sys\\ok.ogg"));
  EXPECT_FALSE(FolderExists(game + "\\voice"));
  // Names whose Shift-JIS trail byte is '\' (ソ表能, 表示) came through.
  EXPECT_TRUE(FileExists(game + "\\\x83\x5C\x95\x5C\x94\x5C.txt"));
  EXPECT_TRUE(FileExists(game + "\\表示\\ソース\\表.bin"));
  // "表voice" is no folder named voice (its '\\' byte belongs to 表): it stays as it is.
  EXPECT_TRUE(FileExists(game + "\\表voice\\台詞.txt"));
  EXPECT_EQ(0u, expected.at("empty.dat").size());
  EXPECT_EQ(16385u, expected.at("chunk16385.bin").size());
}

TEST_F(SetupInstall, PatchPacksInTheGameFolderBringTheirCategories) {
  {
    std::string game = MakeRegisteredGame("both packs");
    ASSERT_TRUE(WriteFileMakingFolders(game + "\\" + kPack1000, "pack 1000"));
    ASSERT_TRUE(WriteFileMakingFolders(game + "\\" + kPack1005, "pack 1005"));
    InstallAndCompare(game, {"gamedata2", "gamedata5", "gamedata3", "gamedata4"});
    EXPECT_TRUE(FileExists(game + "\\voice2\\p100.ogg"));
    EXPECT_TRUE(FileExists(game + "\\tokubetsu\\特別.txt"));
  }
  RemoveEveryEntry();
  {
    // Pack 1005 alone brings gamedata4 only.
    std::string game = MakeRegisteredGame("pack 1005");
    ASSERT_TRUE(WriteFileMakingFolders(game + "\\" + kPack1005, "pack 1005"));
    InstallAndCompare(game, {"gamedata2", "gamedata5", "gamedata4"});
  }
}

TEST_F(SetupInstall, FindsTheGameUnderTheSecondName) {
  ASSERT_EQ(
      "Sorvane\x81\x69"
      "Dorvelo\x81\x6A",
      std::string(kSecondName));
  std::string game = MakeGame("C:", "second name", "Sorvane（Dorvelo）.exe");
  Register(HKEY_LOCAL_MACHINE, kSecondName, game + "\\Sorvane（Dorvelo）.exe", &game);
  InstallAndCompare(game, {"gamedata2", "gamedata5"});
}

TEST_F(SetupInstall, GameFolderBelowAFolderNamedVoiceGetsTheFiles) {
  // Only voice folders of the add-on are redirected; the game's own path is left alone, so nothing
  // lands beside the game in C:\Games\voice2.
  std::string game = MakeRegisteredGame("voice\\Sorvane");
  InstallAndCompare(game, {"gamedata2", "gamedata5"});
  EXPECT_FALSE(FolderExists("C:\\Games\\voice2"));
  RemoveTree("C:\\Games\\voice");
}

TEST_F(SetupInstall, FindsTheGameUnderTheCurrentUser) {
  // The machine-wide entry lacks "Path", so it is passed over for the current user's.
  std::string decoy = MakeGame("C:", "decoy");
  Register(HKEY_LOCAL_MACHINE, kFirstName, decoy + "\\Sorvane.exe", nullptr);
  std::string game = MakeGame("C:", "current user");
  Register(HKEY_CURRENT_USER, kFirstName, game + "\\Sorvane.exe", &game);
  InstallAndCompare(game, {"gamedata2", "gamedata5"});
  EXPECT_EQ(1u, FilesBelow(decoy).size());
}

TEST_F(SetupInstall, StartedWithItsCurrentFolderInsideTheDiscInstallsEverything) {
  // As from a console in G:\data, or a shortcut starting in it: the categories are still found below the
  // disc's root, where the program lies.
  std::string game = MakeRegisteredGame("started in data");
  const Files expected = Installed(FilesBelow(game), {"gamedata2", "gamedata5"});
  ExpectSuccess(RunSetup(nullptr, DiscDrive() + "\\data"));
  ExpectFiles(expected, game);
}

TEST_F(SetupInstall, QuotedOrExpandableDefaultValuesGoOnToInstall) {
  // Not GetEnvironmentVariableA: it cuts a double-byte value to as many bytes as it has characters.
  std::string programFiles;
  ASSERT_TRUE(ExpandEnvironmentText("%ProgramFiles%", programFiles));
  ASSERT_TRUE(IsAbsolutePath(programFiles)) << programFiles;
  struct Form {
    const char* what;
    std::string root;
    std::string (*value)(const std::string& game);
  };
  const Form forms[] = {
      {"quoted", "C:", [](const std::string& game) { return "\"" + game + "\\Sorvane.exe\""; }},
      {"quoted with arguments",
       "C:", [](const std::string& game) { return "\"" + game + "\\Sorvane.exe\" -window \"a b\""; }},
      {"environment string", programFiles,
       [](const std::string&) { return std::string("%ProgramFiles%\\Games\\from env\\Sorvane.exe"); }},
  };
  for (const Form& form : forms) {
    SCOPED_TRACE(form.what);
    RemoveEveryEntry();
    std::string game = MakeGame(form.root, "from env");
    Register(HKEY_LOCAL_MACHINE, kFirstName, form.value(game), &game);
    InstallAndCompare(game, {"gamedata2", "gamedata5"});
    RemoveTree(game);
  }
}

// A folder below C:\ゲーム whose full path is `bytes` long in Shift-JIS, made of kanji and kana whose
// trail byte is '\' (ソ 表 能 予 十), so that it holds far fewer characters than bytes.
std::string LongJapaneseFolder(size_t bytes) {
  std::string folder = "C:\\ゲーム";
  const std::string part = "ソフト表示能力予十の長いフォルダ";
  while (folder.size() + 1 + part.size() <= bytes) folder += "\\" + part;
  folder += "\\";
  while (folder.size() + 2 <= bytes) folder += "表";
  if (folder.size() < bytes) folder += "x";
  return folder;
}

// The characters of a Shift-JIS text (a double-byte character counts once).
size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i, ++count) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ++i;
  }
  return count;
}

// The longest path the sample disc puts below the game's folder is "\voice2\chapter1\v0101.ogg"
// (26 bytes): a game folder of 233 bytes keeps every destination within the 260-byte path limit.
constexpr size_t kLongGameFolderBytes = 233;

// Japanese game folders, as users have them: with trail bytes 0x5C (ソフト表, 表示), without (ゲーム),
// right below the root (ソフト) and near the path limit. Each gets every file.
TEST_F(SetupInstall, InstallsIntoJapaneseGameFolders) {
  const std::string longFolder = LongJapaneseFolder(kLongGameFolderBytes);
  ASSERT_EQ(kLongGameFolderBytes, longFolder.size());
  ASSERT_LT(CharacterCount(longFolder), 140u);
  const std::pair<std::string, std::string> folders[] = {
      {"C:\\ゲーム", "C:\\ゲーム\\ソフト表"},
      {"C:\\ゲーム", "C:\\ゲーム\\Sorvane"},
      {"C:\\ソフト", "C:\\ソフト"},
      {"C:\\表示", "C:\\表示\\Sorvane"},
      {"C:\\ゲーム", longFolder},
  };
  for (const auto& folder : folders) {
    SCOPED_TRACE(AnsiToUtf8(folder.second));
    RemoveEveryEntry();
    std::string game = MakeGameAt(folder.first, folder.second);
    Register(HKEY_LOCAL_MACHINE, kFirstName, game + "\\Sorvane.exe", &game);
    InstallAndCompare(game, {"gamedata2", "gamedata5"});
    RemoveTree(folder.first);
  }
}

// C:\ゲーム\ソフト表 and the long folder under either root and either name, with the value in each form
// the base game's installer may write: plain, quoted with arguments, and through %SystemDrive%.
TEST_F(SetupInstall, JapaneseGameFolderUnderEitherRootAndNameInEveryForm) {
  struct Form {
    const char* what;
    std::string (*value)(const std::string& executable);
  };
  const Form forms[] = {
      {"plain", [](const std::string& executable) { return executable; }},
      {"quoted with arguments",
       [](const std::string& executable) { return "\"" + executable + "\" -window \"表 示\""; }},
      {"%SystemDrive%", [](const std::string& executable) { return "%SystemDrive%" + executable.substr(2); }},
  };
  for (const std::string& folder : {std::string("C:\\ゲーム\\ソフト表"), LongJapaneseFolder(kLongGameFolderBytes)}) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      for (const char* name : {kFirstName, kSecondName}) {
        for (const Form& form : forms) {
          SCOPED_TRACE(AnsiToUtf8(folder) + (root == HKEY_LOCAL_MACHINE ? " HKLM " : " HKCU ") + AnsiToUtf8(name) +
                       " " + form.what);
          RemoveEveryEntry();
          const std::string executable = std::string(name) + ".exe";
          std::string game = MakeGameAt("C:\\ゲーム", folder, executable);
          Register(root, name, form.value(game + "\\" + executable), &game);
          InstallAndCompare(game, {"gamedata2", "gamedata5"});
          RemoveTree("C:\\ゲーム");
          if (HasFailure()) return;
        }
      }
    }
  }
}

// Setup run with `value` as the only App Paths entry (and `game` as its "Path"): the not-installed box
// alone, no please-wait dialog.
void ExpectNotInstalledWith(const std::string& value, std::string* game) {
  RemoveEveryEntry();
  Register(HKEY_LOCAL_MACHINE, kFirstName, value, game);
  SetupRun run = RunSetup();
  ASSERT_EQ(CRobot::Outcome::kExited, run.outcome) << run.problem;
  ASSERT_EQ(1u, run.answers.size()) << Boxes(run);
  ExpectBox(run.answers[0], kErrorCaption, kNotInstalledText, {IDOK}, false);
  EXPECT_TRUE(run.waitDialogs.empty());
}

// A Japanese value that names an executable that is not there still means the game is not installed,
// in every form, and a value naming the folder itself is no executable either.
TEST_F(SetupEndToEnd, NotInstalledWhenAJapaneseValueNamesAMissingExecutable) {
  std::string game = MakeGameAt("C:\\ゲーム", "C:\\ゲーム\\ソフト表");
  const Files before = FilesBelow(game);
  for (const std::string& value : {game + "\\無い表.exe", "\"" + game + "\\無い表.exe\" -window",
                                   std::string("%SystemDrive%\\ゲーム\\ソフト表\\無い.exe"), game, "\"" + game + "\"",
                                   game + "\\Sorvane.exe\\表"}) {
    SCOPED_TRACE(AnsiToUtf8(value));
    ExpectNotInstalledWith(value, &game);
  }
  EXPECT_TRUE(before == FilesBelow(game));
}

TEST_F(SetupEndToEnd, NotInstalledWhenTheNamedExecutableIsMissing) {
  std::string game = MakeGame("C:", "executable missing");
  const Files before = FilesBelow(game);
  for (const std::string& value : {"\"" + game + "\\Missing.exe\"", "\"" + game + "\\Missing.exe\" -window",
                                   game + "\\Missing.exe", std::string("%ProgramFiles%\\Missing\\Sorvane.exe")}) {
    SCOPED_TRACE(value);
    ExpectNotInstalledWith(value, &game);
  }
  EXPECT_TRUE(before == FilesBelow(game));
}

TEST_F(SetupEndToEnd, GameNotInstalledSaysSoAndWritesNothing) {
  std::string bystander = MakeGame("C:", "unregistered");
  Files before = FilesBelow(bystander);
  SetupRun run = RunSetup();
  ASSERT_EQ(CRobot::Outcome::kExited, run.outcome) << run.problem;
  EXPECT_EQ(0u, run.exitCode);
  ASSERT_EQ(1u, run.answers.size()) << Boxes(run);
  ExpectBox(run.answers[0], kErrorCaption, kNotInstalledText, {IDOK}, false);
  EXPECT_FALSE(run.answers[0].waitDialogOpen);
  EXPECT_TRUE(run.waitDialogs.empty());
  EXPECT_TRUE(before == FilesBelow(bystander));
}

TEST_F(SetupInstall, SecondCopyEndsAtOnceWithoutAWindow) {
  std::string game = MakeRegisteredGame("two copies");
  SetupRun second;
  int secondRuns = 0;
  bool removed = false;
  SetupRun first = RunSetup([&](const RobotDialog& box) {
    // While the first copy shows its box: take one installed file away, start the second copy and let
    // it run to its end. Had it installed anything, the file would be back.
    if (secondRuns++ == 0) {
      removed = DeleteFileA((game + "\\readme.txt").c_str()) != FALSE;
      second = RunSetup();
    }
    return CRobot::DefaultAnswer(box);
  });
  ExpectSuccess(first);
  ASSERT_EQ(1, secondRuns);
  ASSERT_TRUE(removed);
  ASSERT_EQ(CRobot::Outcome::kExited, second.outcome) << second.problem;
  EXPECT_EQ(0u, second.exitCode);
  EXPECT_TRUE(second.answers.empty()) << Boxes(second);
  EXPECT_TRUE(second.windows.empty());
  EXPECT_FALSE(FileExists(game + "\\readme.txt"));
}

// A folder where the install must create a file of gamedata5 (copied after every file of gamedata2):
// opening the destination fails with "FileCreateError".
class SetupFileError : public SetupInstall {
 protected:
  void SetUp() override {
    SetupInstall::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    game_ = MakeGame("C:", "file error");
    MakeFolders(game_ + "\\system\\config.dat");
    // Files the install overwrites before the error: they must come back as they were.
    ASSERT_TRUE(WriteWholeFile(game_ + "\\readme.txt", "the base game's own readme"));
    ASSERT_TRUE(WriteFileMakingFolders(game_ + "\\表示\\能力表.txt", std::string(70000, '\x95')));
    ASSERT_TRUE(WriteFileMakingFolders(game_ + "\\voice2\\v0001.ogg", ""));
    ASSERT_TRUE(WriteFileMakingFolders(game_ + "\\save\\save01.dat", "player one"));
    before_ = FilesBelow(game_);
    Register(HKEY_LOCAL_MACHINE, kFirstName, game_ + "\\Sorvane.exe", &game_);

    HANDLE blocked = CreateFileA((game_ + "\\system\\config.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    ASSERT_EQ(INVALID_HANDLE_VALUE, blocked);
    expectedText_ = std::string("data\\gamedata5\\system\\config.dat\n") + kCreateFailedText +
                    "WindowsError:" + SystemText(GetLastError());
  }

  void ExpectFileErrorBox(const RobotAnswer& answer) {
    ExpectBox(answer, "FileCreateError", expectedText_, {IDCANCEL, IDRETRY}, true);
    EXPECT_TRUE(answer.waitDialogOpen);
  }

  std::string game_;
  Files before_;
  std::string expectedText_;
};

TEST_F(SetupFileError, CancelRemovesWhatTheRunWroteAndKeepsWhatWasThere) {
  std::vector<int> script = {IDRETRY, IDCANCEL};
  size_t asked = 0;
  SetupRun run = RunSetup([&](const RobotDialog&) { return asked < script.size() ? script[asked++] : IDCANCEL; });
  ASSERT_EQ(CRobot::Outcome::kExited, run.outcome) << run.problem;
  EXPECT_EQ(0u, run.exitCode);
  // Retry meets the same folder again; Cancel ends the run. No message after that.
  ASSERT_EQ(2u, run.answers.size()) << Boxes(run);
  ExpectFileErrorBox(run.answers[0]);
  ExpectFileErrorBox(run.answers[1]);
  ExpectFiles(before_, game_);
  EXPECT_TRUE(FolderExists(game_ + "\\system\\config.dat"));
}

TEST_F(SetupFileError, RetryAfterTheCauseIsGoneCompletesTheInstall) {
  SetupRun run = RunSetup([&](const RobotDialog& box) {
    if (box.caption == "FileCreateError") {
      RemoveDirectoryA((game_ + "\\system\\config.dat").c_str());
      return IDRETRY;
    }
    return CRobot::DefaultAnswer(box);
  });
  ASSERT_EQ(CRobot::Outcome::kExited, run.outcome) << run.problem;
  EXPECT_EQ(0u, run.exitCode);
  ASSERT_EQ(2u, run.answers.size()) << Boxes(run);
  ExpectFileErrorBox(run.answers[0]);
  ExpectBox(run.answers[1], kSuccessCaption, kSuccessText, {IDOK}, true);
  ExpectFiles(Installed(before_, {"gamedata2", "gamedata5"}), game_);
}

TEST_F(SetupEndToEnd, TooLittleSpaceOnTheGameDriveSaysSoAndWritesNothing) {
  std::string small = HarnessSetting("ADDON_SMALL_DRIVE");
  if (small.empty()) GTEST_SKIP() << testing_support::kHostLacks << "no small drive (ADDON_SMALL_DRIVE unset)";
  std::string game = MakeGame(small, "no space");
  Files before = FilesBelow(game);
  Register(HKEY_LOCAL_MACHINE, kFirstName, game + "\\Sorvane.exe", &game);
  SetupRun run = RunSetup();
  ASSERT_EQ(CRobot::Outcome::kExited, run.outcome) << run.problem;
  EXPECT_EQ(0u, run.exitCode);
  ASSERT_EQ(1u, run.answers.size()) << Boxes(run);
  ExpectBox(run.answers[0], kErrorCaption, kNoSpaceText, {IDOK}, true);
  // The please-wait dialog is up from before the space test until the process ends.
  EXPECT_TRUE(run.answers[0].waitDialogOpen);
  ASSERT_EQ(1u, run.waitDialogs.size());
  EXPECT_EQ(kWaitCaption, run.waitDialogs[0].caption);
  EXPECT_EQ(kWaitText, run.waitDialogs[0].text);
  EXPECT_TRUE(before == FilesBelow(game));
}

// A disc of its own on F: with one large file, so that the copy lasts many passes of the setup's pump:
// the robot reads the bar while the please-wait dialog is up. The disc has no wizard pictures, so this
// is also the run in which both are missing and the setup goes on. (That the bar ends at 100 before the
// success message cannot be seen from another process: the dialog goes in the same pass as its last
// position is set. PleaseWaitProgressTest watches that from inside a real run of the flow.)
TEST_F(SetupInstall, PleaseWaitBarMovesDuringALargeCopy) {
  if (HarnessSetting("ADDON_CD_DRIVES").find('F') == std::string::npos)
    GTEST_SKIP() << testing_support::kHostLacks << "no CD-ROM drive F: for a disc of the test's own";
  const std::string disc = "F:";
  const DWORD largeMiB = 512;
  struct Cleanup {
    std::string disc;
    ~Cleanup() {
      DeleteFileA((disc + "\\setup.exe").c_str());
      RemoveTree(disc + "\\data");
    }
  } cleanup{disc};
  ASSERT_TRUE(CopyFileA(SetupPath().c_str(), (disc + "\\setup.exe").c_str(), FALSE));
  ASSERT_TRUE(WriteFileMakingFolders(disc + "\\data\\gamedata5\\small.txt", "small"));
  ASSERT_TRUE(MakeFolders(disc + "\\data\\gamedata2"));
  {
    HANDLE large = CreateFileA((disc + "\\data\\gamedata2\\large.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, large);
    std::string block(1 << 20, '\0');
    bool written = true;
    for (DWORD i = 0; i < largeMiB && written; ++i) {
      for (size_t j = 0; j < block.size(); j += 4) block[j] = static_cast<char>(i + j / 4096);
      DWORD done = 0;
      written =
          WriteFile(large, block.data(), static_cast<DWORD>(block.size()), &done, nullptr) && done == block.size();
    }
    CloseHandle(large);
    ASSERT_TRUE(written);
  }
  std::string game = MakeRegisteredGame("large copy");
  SetupRun run = RunSetup(nullptr, "C:\\", disc + "\\setup.exe");
  ExpectSuccess(run);

  int moving = 0;
  for (size_t i = 0; i < run.progress.size(); ++i)
    if (run.progress[i] > 0 && run.progress[i] < 100 && (i == 0 || run.progress[i] != run.progress[i - 1])) ++moving;
  EXPECT_GE(moving, 2) << "the bar moved through the copy: " << Samples(run.progress);
  WIN32_FILE_ATTRIBUTE_DATA copied = {};
  ASSERT_TRUE(GetFileAttributesExA((game + "\\large.bin").c_str(), GetFileExInfoStandard, &copied));
  EXPECT_EQ(static_cast<DWORD>(largeMiB << 20), copied.nFileSizeLow);
  DeleteFileA((game + "\\large.bin").c_str());
}

}  // namespace
