// The install job on real files: copies checked byte for byte, errors made by the file system where it
// can be made to fail (a missing source, a folder in the way, a full disk, a file that reads shorter than
// its size), and cancels that must leave the user's files as they were.

#include "setup/InstallJob.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// Runs the job's worker to its end (not a stop request: the worker ends by itself).
void RunToEnd(CInstallJob& job) {
  job.StartInstall();
  for (int waited = 0; !job.IsFinished() && !job.IsCancelled() && waited < 60000; waited += 2) Sleep(2);
  ASSERT_TRUE(job.IsFinished() || job.IsCancelled()) << "the worker did not end";
  job.Stop();  // joins the thread; the run has ended or is ending on its own
}

struct Tree {
  ScratchFolder scratch;
  std::string source = scratch / "disc";
  std::string destination = scratch / "game";

  Tree() {
    CreateDirectoryA(source.c_str(), nullptr);
    CreateDirectoryA(destination.c_str(), nullptr);
  }
  std::string Source(const std::string& relative) const { return source + "\\" + relative; }
  std::string Destination(const std::string& relative) const { return destination + "\\" + relative; }
  void AddSource(const std::string& relative, const std::string& bytes) const {
    std::string folder, name;
    SplitDirectoryAndName(Source(relative), folder, name);
    CreateDirectoryTree(folder);
    ASSERT_TRUE(WriteWholeFile(Source(relative), bytes)) << relative;
  }
};

void SetUpJob(CInstallJob& job, const Tree& tree, uint64_t required = 1) {
  job.Reset();
  job.SetCategoryFolder(tree.source, 1);
  job.SetDestination(tree.destination);
  job.SetRequiredSize(required);
}

std::string Read(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, &bytes)) << path;
  return bytes;
}

std::string SystemMessage(DWORD error) {
  char text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0x400, text, sizeof text,
                 nullptr);
  return text;
}

// Nothing the job keeps aside may stay behind in a folder.
int CountKeptAside(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*.setup-original-*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileA(find, &data));
  FindClose(find);
  return count;
}

}  // namespace

TEST(InstallJob, EmptyListFinishesAtOnceAtOneHundredPercent) {
  Tree tree;
  CLocalInstallJob job;
  SetUpJob(job, tree);
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_EQ(job.GetOverallPercent(), 100);
  EXPECT_TRUE(user.Asked().empty());
}

TEST(InstallJob, CopiesEveryFileByteForByteWithTheVoiceRedirect) {
  Tree tree;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"empty.bin", ""},
      {"chunk.bin", PatternBytes(16384, 1)},
      {"chunk-and-one.bin", PatternBytes(16385, 2)},
      {"ソ表能\\能.bin", PatternBytes(100000, 3)},
      {"sub\\voice\\line.ogg", PatternBytes(300, 4)},
      {"voice\\x\\voice\\twice.ogg", PatternBytes(301, 5)},
  };
  for (const auto& file : files) tree.AddSource(file.first, file.second);

  CLocalInstallJob job;
  SetUpJob(job, tree, 1000000);
  for (const auto& file : files) job.AddFile(file.first, 1);
  ScriptedUser user({});
  RunToEnd(job);

  EXPECT_TRUE(job.IsFinished());
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_TRUE(user.Asked().empty());
  EXPECT_EQ(job.GetOverallPercent(), 100);
  EXPECT_EQ(Read(tree.Destination("empty.bin")), "");
  EXPECT_EQ(Read(tree.Destination("chunk.bin")), files[1].second);
  EXPECT_EQ(Read(tree.Destination("chunk-and-one.bin")), files[2].second);
  EXPECT_EQ(Read(tree.Destination("ソ表能\\能.bin")), files[3].second);
  EXPECT_EQ(Read(tree.Destination("sub\\voice2\\line.ogg")), files[4].second);
  EXPECT_EQ(Read(tree.Destination("voice2\\x\\voice\\twice.ogg")), files[5].second);
  EXPECT_FALSE(FolderExists(tree.Destination("sub\\voice")));
  EXPECT_EQ(job.GetFilePercent(), 100);
}

TEST(InstallJob, PathsAreJoinedAndOnlyTheFolderBelowTheDestinationIsRedirected) {
  CLocalInstallJob job;
  job.SetCategoryFolder("data\\gamedata2", 1);
  job.SetDestination("C:\\Games\\voice\\Sorvane\\");
  EXPECT_EQ(job.MakeSourcePath(1, "bgm\\\\a.ogg"), "data\\gamedata2\\bgm\\a.ogg");
  EXPECT_EQ(job.MakeDestinationPath("bgm\\a.ogg"), "C:\\Games\\voice\\Sorvane\\bgm\\a.ogg");
  EXPECT_EQ(job.MakeDestinationPath("voice\\a.ogg"), "C:\\Games\\voice\\Sorvane\\voice2\\a.ogg");
  job.SetDestination("C:\\Games");
  EXPECT_EQ(job.MakeDestinationPath("sub\\voice\\voice\\a"), "C:\\Games\\sub\\voice2\\voice\\a");
  EXPECT_EQ(job.MakeDestinationPath("Voice\\a"), "C:\\Games\\Voice\\a");  // case matters
  // The trail byte of ソ (83 5C) followed by "voice\" is no folder named voice.
  EXPECT_EQ(job.MakeDestinationPath("ソvoice\\a"), "C:\\Games\\ソvoice\\a");
}

TEST(InstallJob, ZeroRequiredSizeDoesNotDivideByZero) {
  Tree tree;
  tree.AddSource("a.bin", PatternBytes(40000, 6));
  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.SetRequiredSize(0);
  job.AddFile("a.bin", 1);
  // The worker's own check needs free space above 0, which any real drive has.
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_EQ(job.GetOverallPercent(), 100);
  EXPECT_EQ(Read(tree.Destination("a.bin")), PatternBytes(40000, 6));
}

TEST(InstallJob, WorkerStopsBeforeTheFirstFileWhenSpaceIsNotAboveTheRequiredSize) {
  Tree tree;
  tree.AddSource("a.bin", "a");
  CLocalInstallJob job;
  SetUpJob(job, tree, ~0ull);
  job.AddFile("a.bin", 1);
  job.SetParentWindow(reinterpret_cast<HWND>(0x1234));
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_TRUE(job.IsCancelled());
  EXPECT_FALSE(job.IsFinished());
  EXPECT_FALSE(FileExists(tree.Destination("a.bin")));
  auto asked = user.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].caption, "容量不足");
  EXPECT_EQ(asked[0].text,
            "インストール先の容量が不足しています。\n十分な容量を確保してから再度インストールを試みてください。");
  EXPECT_EQ(asked[0].style, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(asked[0].owner, reinterpret_cast<HWND>(0x1234));
}

TEST(InstallJob, FreeSpaceExactlyEqualToTheRequiredSizeIsNotEnough) {
  std::string drive = HarnessSetting("ADDON_SMALL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "needs the harness's small tmpfs drive";
  CLocalInstallJob job;
  job.SetDestination(drive + "\\game");
  uint64_t free = job.GetFreeSpace();
  ASSERT_GT(free, 0u);
  job.SetRequiredSize(free);
  job.SetCategoryFolder(drive, 1);
  job.AddFile("nothing.bin", 1);
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_TRUE(job.IsCancelled());
  EXPECT_FALSE(job.IsFinished());
  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, "容量不足");
}

TEST(InstallJob, OpenErrorsAskAndCancelEndsTheRun) {
  Tree tree;
  tree.AddSource("a.bin", "a");
  tree.AddSource("blocked.bin", "b");
  tree.AddSource("c.bin", "c");
  ASSERT_TRUE(CreateDirectoryA(tree.Destination("blocked.bin").c_str(), nullptr));  // a folder in the way

  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile("a.bin", 1);
  job.AddFile("missing.bin", 1);
  job.AddFile("blocked.bin", 1);
  job.AddFile("c.bin", 1);
  ScriptedUser user({IDRETRY, IDCANCEL, IDCANCEL});
  RunToEnd(job);

  auto asked = user.Asked();
  ASSERT_EQ(asked.size(), 2u);
  const std::string prefix = "\nファイル読み込みに失敗しました。[Error::CreateFile]\nWindowsError:";
  EXPECT_EQ(asked[0].caption, "FileLoadError");
  EXPECT_EQ(asked[0].text.substr(0, tree.Source("missing.bin").size() + prefix.size()),
            tree.Source("missing.bin") + prefix);
  EXPECT_EQ(asked[0].text, tree.Source("missing.bin") + prefix + SystemMessage(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(asked[0].style, static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR));
  EXPECT_EQ(asked[1].caption, "FileLoadError") << "Retry tries the same entry again";
  EXPECT_TRUE(job.IsFinished());
  EXPECT_TRUE(job.IsCancelled());
  EXPECT_FALSE(FileExists(tree.Destination("c.bin"))) << "Cancel after an open error ends the run";

  // The folder in the way: the source opens, the destination does not.
  CLocalInstallJob second;
  SetUpJob(second, tree);
  second.AddFile("blocked.bin", 1);
  ScriptedUser secondUser({IDCANCEL});
  RunToEnd(second);
  ASSERT_EQ(secondUser.Asked().size(), 1u);
  EXPECT_EQ(secondUser.Asked()[0].caption, "FileCreateError");
  EXPECT_EQ(secondUser.Asked()[0].text.substr(0, tree.Source("blocked.bin").size() + prefix.size()),
            tree.Source("blocked.bin") + prefix);
  EXPECT_TRUE(FolderExists(tree.Destination("blocked.bin")));
}

namespace {
std::string g_lateSource;
int CreateTheSourceAndRetry(HWND, const char*, const char*, UINT) {
  WriteWholeFile(g_lateSource, "late");
  return IDRETRY;
}
}  // namespace

TEST(InstallJob, RetryAfterAnOpenErrorCopiesTheFileOnceItIsThere) {
  Tree tree;
  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile("late.bin", 1);
  g_lateSource = tree.Source("late.bin");
  {
    CustomUser user(&CreateTheSourceAndRetry);
    RunToEnd(job);
  }
  EXPECT_TRUE(job.IsFinished());
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_EQ(Read(tree.Destination("late.bin")), "late");
}

TEST(InstallJob, CancelRestoresOverwrittenFilesAndLeavesUntouchedOnes) {
  Tree tree;
  tree.AddSource("a.bin", PatternBytes(50000, 7));
  tree.AddSource("new.bin", PatternBytes(20000, 8));
  tree.AddSource("c.bin", PatternBytes(10, 9));
  ASSERT_TRUE(WriteWholeFile(tree.Destination("a.bin"), "user's own a"));
  ASSERT_TRUE(WriteWholeFile(tree.Destination("c.bin"), "user's own c"));

  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile("a.bin", 1);
  job.AddFile("new.bin", 1);
  job.AddFile("missing.bin", 1);
  job.AddFile("c.bin", 1);
  ScriptedUser user({IDCANCEL});
  RunToEnd(job);
  ASSERT_TRUE(job.IsCancelled());
  EXPECT_EQ(Read(tree.Destination("a.bin")), PatternBytes(50000, 7)) << "copied before the error";

  job.AbortAndRemove();
  EXPECT_EQ(Read(tree.Destination("a.bin")), "user's own a");
  EXPECT_EQ(Read(tree.Destination("c.bin")), "user's own c");
  EXPECT_FALSE(FileExists(tree.Destination("new.bin")));
  EXPECT_EQ(CountKeptAside(tree.destination), 0);
}

TEST(InstallJob, FinishedRunReplacesExistingFilesAndDropsTheOriginals) {
  Tree tree;
  tree.AddSource("a.bin", PatternBytes(30000, 10));
  ASSERT_TRUE(WriteWholeFile(tree.Destination("a.bin"), "old"));
  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile("a.bin", 1);
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_EQ(Read(tree.Destination("a.bin")), PatternBytes(30000, 10));
  EXPECT_EQ(CountKeptAside(tree.destination), 0);
}

TEST(InstallJob, CancelAfterAReadErrorEndsTheRunAtTheNextEntry) {
  std::string shortFile = HarnessSetting("ADDON_SHORT_READ_FILE");
  if (shortFile.empty()) GTEST_SKIP() << "needs a host file that reads shorter than its size";
  size_t slash = shortFile.rfind('\\');
  const std::string name = shortFile.substr(slash + 1);
  Tree tree;
  tree.AddSource("second.bin", "second");
  ASSERT_TRUE(WriteWholeFile(tree.Destination(name), "user's own short"));

  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.SetCategoryFolder(shortFile.substr(0, slash), 2);
  job.AddFile(name, 2);
  job.AddFile("second.bin", 1);
  ScriptedUser user({IDCANCEL});
  RunToEnd(job);

  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, "ReadFileError");
  const std::string expected = shortFile + "\nファイル読み込みに失敗しました。[Error::ReadFile]\nWindowsError:";
  EXPECT_EQ(user.Asked()[0].text.substr(0, expected.size()), expected);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_TRUE(job.IsCancelled());
  EXPECT_FALSE(FileExists(tree.Destination("second.bin")));

  job.AbortAndRemove();
  EXPECT_EQ(Read(tree.Destination(name)), "user's own short");
}

namespace {
std::string g_filler;
int g_writeErrors = 0;
int FreeTheDiskAndRetry(HWND, const char*, const char* caption, UINT) {
  if (std::string(caption) == "WriteFileError") ++g_writeErrors;
  DeleteFileA(g_filler.c_str());
  return IDRETRY;
}
}  // namespace

TEST(InstallJob, RetryAfterAFullDiskRewritesTheFileFromItsStart) {
  std::string drive = HarnessSetting("ADDON_SMALL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "needs the harness's small tmpfs drive";
  ScratchFolder scratch;
  std::string game = drive + "\\retry-game";
  RemoveTree(game);
  ASSERT_TRUE(CreateDirectoryA(game.c_str(), nullptr));
  g_filler = drive + "\\filler.bin";
  ASSERT_TRUE(WriteWholeFile(g_filler, std::string(9 << 20, 'f')));
  const std::string content = PatternBytes(10 << 20, 11);
  ASSERT_TRUE(WriteWholeFile(scratch / "big.bin", content));

  CLocalInstallJob job;
  job.SetCategoryFolder(scratch.Path(), 1);
  job.SetDestination(game);
  job.SetRequiredSize(1);
  job.AddFile("big.bin", 1);
  g_writeErrors = 0;
  {
    CustomUser user(&FreeTheDiskAndRetry);
    RunToEnd(job);
  }

  EXPECT_EQ(g_writeErrors, 1);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_EQ(Read(game + "\\big.bin"), content);
  RemoveTree(game);
  DeleteFileA(g_filler.c_str());
}

TEST(InstallJob, RetriedWriteErrorThenCancelPutsTheOriginalBack) {
  std::string drive = HarnessSetting("ADDON_SMALL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "needs the harness's small tmpfs drive";
  ScratchFolder scratch;
  std::string game = drive + "\\cancel-game";
  RemoveTree(game);
  ASSERT_TRUE(CreateDirectoryA(game.c_str(), nullptr));
  const std::string original = PatternBytes(1 << 20, 12);
  ASSERT_TRUE(WriteWholeFile(game + "\\big.bin", original));
  ASSERT_TRUE(WriteWholeFile(scratch / "big.bin", PatternBytes(20 << 20, 13)));  // more than the drive holds

  CLocalInstallJob job;
  job.SetCategoryFolder(scratch.Path(), 1);
  job.SetDestination(game);
  job.SetRequiredSize(1);
  job.AddFile("big.bin", 1);
  ScriptedUser user({IDRETRY, IDCANCEL});
  RunToEnd(job);
  ASSERT_EQ(user.Asked().size(), 2u);
  EXPECT_EQ(user.Asked()[0].caption, "WriteFileError");
  EXPECT_EQ(user.Asked()[0].text,
            "ファイル書き込みに失敗しました。[Error::WriteFile]\nWindowsError:" + SystemMessage(ERROR_DISK_FULL));
  EXPECT_EQ(user.Asked()[1].caption, "WriteFileError");
  EXPECT_TRUE(job.IsCancelled());

  job.AbortAndRemove();
  EXPECT_EQ(Read(game + "\\big.bin"), original) << "the original, not a half-written copy";
  EXPECT_EQ(CountKeptAside(game), 0);
  RemoveTree(game);
}

TEST(InstallJob, MultiDiscModeFindsTheSourceOnACdRomDrive) {
  if (HarnessSetting("ADDON_CD_DRIVES").empty()) GTEST_SKIP() << "needs the harness's CD-ROM drives";
  RemoveTree("F:\\JOBDISC");
  ASSERT_TRUE(CreateDirectoryA("F:\\JOBDISC", nullptr));
  ASSERT_TRUE(WriteWholeFile("F:\\JOBDISC\\a.bin", "on the disc"));
  ScratchFolder scratch;
  CInstallJob job;
  job.SetDiscFolder("JOBDISC");
  job.SetDestination(scratch.Path());
  job.SetRequiredSize(1);
  job.AddFile("a.bin", 1);
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_TRUE(user.Asked().empty());
  EXPECT_EQ(Read(scratch / "a.bin"), "on the disc");
  RemoveTree("F:\\JOBDISC");
}

namespace {
// Told to stop once the first chunk of its file is copied, as when the program stops while the worker is
// in the middle of the last file.
class StoppedMidFileJob : public CLocalInstallJob {
 public:
  bool IsRunning() override { return CLocalInstallJob::IsRunning() && GetFilePercent() == 0; }
};
}  // namespace

TEST(InstallJob, StopInTheMiddleOfTheLastFileIsACancelThatKeepsTheOriginal) {
  Tree tree;
  tree.AddSource("last.bin", PatternBytes(100000, 14));
  ASSERT_TRUE(WriteWholeFile(tree.Destination("last.bin"), "user's own last"));
  StoppedMidFileJob job;
  SetUpJob(job, tree);
  job.AddFile("last.bin", 1);
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_TRUE(job.IsFinished());
  EXPECT_TRUE(job.IsCancelled()) << "a half-written file is no success";
  EXPECT_EQ(CountKeptAside(tree.destination), 1) << "the original is still kept";
  job.AbortAndRemove();
  EXPECT_EQ(Read(tree.Destination("last.bin")), "user's own last");
  EXPECT_EQ(CountKeptAside(tree.destination), 0);
}

namespace {
struct SeenAtTheBox {
  int32_t overallPercent = -1, filePercent = -1;
  int priority = 0;
  std::string source, destination;
};
CInstallJob* g_watchedJob = nullptr;
SeenAtTheBox g_seen;
int NoteProgressAndCancel(HWND, const char*, const char*, UINT) {
  g_seen = {g_watchedJob->GetOverallPercent(), g_watchedJob->GetFilePercent(), g_watchedJob->GetPriority(),
            g_watchedJob->GetSourcePath(), g_watchedJob->GetDestinationPath()};
  return IDCANCEL;
}
}  // namespace

TEST(InstallJob, ProgressPathsAndPriorityWhileTheWorkerRuns) {
  Tree tree;
  tree.AddSource("a.bin", PatternBytes(40000, 15));
  tree.AddSource("empty.bin", "");
  CLocalInstallJob job;
  SetUpJob(job, tree, 100000);
  job.AddFile("a.bin", 1);
  job.AddFile("empty.bin", 1);
  job.AddFile("voice\\missing.bin", 1);
  g_watchedJob = &job;
  {
    CustomUser user(&NoteProgressAndCancel);
    RunToEnd(job);
  }
  EXPECT_EQ(g_seen.overallPercent, 40) << "40,000 of 100,000 required bytes";
  EXPECT_EQ(g_seen.filePercent, 100) << "an empty file leaves the file percent as it was";
  EXPECT_EQ(g_seen.priority, THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_EQ(g_seen.source, tree.Source("voice\\missing.bin"));
  EXPECT_EQ(g_seen.destination, tree.Destination("voice2\\missing.bin"));
  EXPECT_EQ(job.GetOverallPercent(), 100) << "the run ends at 100";
}

TEST(InstallJob, ResetPutsBackWhatACancelledRunKeptAsideAndClearsAllButTheCategories) {
  Tree tree;
  tree.AddSource("a.bin", "new a");
  ASSERT_TRUE(WriteWholeFile(tree.Destination("a.bin"), "user's own a"));
  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.SetTitle("title");
  job.AddFile("a.bin", 1);
  job.AddFile("missing.bin", 1);
  job.AddUninstallFile("u");
  job.AddUninstallDirectory("d");
  ScriptedUser user({IDCANCEL});
  RunToEnd(job);
  ASSERT_TRUE(job.IsCancelled());
  EXPECT_EQ(Read(tree.Destination("a.bin")), "new a");

  job.Reset();
  EXPECT_EQ(Read(tree.Destination("a.bin")), "user's own a");
  EXPECT_EQ(CountKeptAside(tree.destination), 0);
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_FALSE(job.IsFinished());
  EXPECT_EQ(job.GetOverallPercent(), 0);
  EXPECT_EQ(job.GetFilePercent(), 0);
  EXPECT_EQ(job.GetTitle(), "");
  EXPECT_EQ(job.GetSourcePath(), "");
  EXPECT_TRUE(job.GetFiles().empty());
  EXPECT_TRUE(job.GetUninstallFiles().empty());
  EXPECT_TRUE(job.GetUninstallDirectories().empty());
  EXPECT_EQ(job.MakeSourcePath(1, "x"), tree.Source("x")) << "category folders stay";
  EXPECT_EQ(job.MakeDestinationPath("x"), "\\x") << "the destination is emptied";
}

TEST(InstallJob, ReadOnlyOriginalIsReplacedWithoutLeavingItsKeptCopy) {
  Tree tree;
  tree.AddSource("a.bin", "new a");
  ASSERT_TRUE(WriteWholeFile(tree.Destination("a.bin"), "old a"));
  ASSERT_TRUE(SetFileAttributesA(tree.Destination("a.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile("a.bin", 1);
  ScriptedUser user({});
  RunToEnd(job);
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_EQ(Read(tree.Destination("a.bin")), "new a");
  EXPECT_EQ(CountKeptAside(tree.destination), 0);
  EXPECT_TRUE(user.Asked().empty());
}

TEST(InstallJob, OriginalWithANameNearTheLengthLimitIsKeptAndRestored) {
  Tree tree;
  // A destination of 250 bytes: its kept-aside name cannot simply grow by a suffix.
  const std::string name = "long.bin";
  const std::string folder(250 - tree.destination.size() - 2 - name.size(), 'd');
  const std::string relative = folder + "\\" + name;
  ASSERT_EQ(tree.Destination(relative).size(), 250u);
  tree.AddSource(relative, "new long");
  ASSERT_TRUE(CreateDirectoryA(tree.Destination(folder).c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(tree.Destination(relative), "user's own long"));

  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile(relative, 1);
  job.AddFile("missing.bin", 1);
  ScriptedUser user({IDCANCEL});
  RunToEnd(job);
  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, "FileLoadError") << "only the missing file fails";
  EXPECT_EQ(Read(tree.Destination(relative)), "new long");
  job.AbortAndRemove();
  EXPECT_EQ(Read(tree.Destination(relative)), "user's own long");
  EXPECT_TRUE(FileExists(tree.Destination(folder + "\\long.bin")));
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((tree.Destination(folder) + "\\*.tmp").c_str(), &data);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "no kept copy left behind";
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST(InstallJob, CategoryOutOfRangeIsAnOpenErrorNotACrash) {
  Tree tree;
  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.SetCategoryFolder("ignored", 20);
  job.SetCategoryFolder("ignored", -1);
  job.AddFile("a.bin", 20);
  EXPECT_EQ(job.MakeSourcePath(-1, "a.bin"), "");
  ScriptedUser user({IDCANCEL});
  RunToEnd(job);
  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, "FileLoadError");
  EXPECT_TRUE(job.IsCancelled());
}
