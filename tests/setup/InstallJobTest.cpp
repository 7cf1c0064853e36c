// The install job on real files: copies checked byte for byte, errors made by the file system where it
// can be made to fail (a missing source, a folder in the way, a full disk, a file that reads shorter than
// its size), and cancels that must leave the user's files as they were.

#include "setup/InstallJob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

// Runs the job's worker to its end: waits for the thread itself to end, so that nothing a test asserts
// can come from a stop request of the test's own.
void RunToEnd(CInstallJob& job) {
  ASSERT_TRUE(job.StartInstall());
  // The object keeps its thread's handle until Stop, so the id names this thread all along.
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, job.GetThreadId());
  ASSERT_NE(thread, nullptr) << "error " << GetLastError();
  DWORD waited = WaitForSingleObject(thread, 60000);
  CloseHandle(thread);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the worker did not end";
  job.Stop();  // closes the handle of a thread that has ended
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
  if (drive.empty()) GTEST_SKIP() << kHostLacks << "the harness's small tmpfs drive (mounting needs root)";
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

namespace {
// A source that reads short at its first chunk, as a disc with a bad sector does.
class ShortReadJob : public CLocalInstallJob {
 public:
  explicit ShortReadJob(std::string failingSource) : failingSource_(std::move(failingSource)) {}

 protected:
  bool ReadSourceChunk(CNativeFile& source, char* buffer, uint32_t bytes) override {
    if (GetSourcePath() != failingSource_) return CLocalInstallJob::ReadSourceChunk(source, buffer, bytes);
    CLocalInstallJob::ReadSourceChunk(source, buffer, bytes / 2);
    SetLastError(ERROR_CRC);
    return false;
  }

 private:
  std::string failingSource_;
};
}  // namespace

TEST(InstallJob, CancelAfterAReadErrorEndsTheRunAtTheNextEntry) {
  Tree tree;
  const std::string name = "short.bin";
  tree.AddSource(name, PatternBytes(40000, 16));
  tree.AddSource("second.bin", "second");
  ASSERT_TRUE(WriteWholeFile(tree.Destination(name), "user's own short"));

  ShortReadJob job(tree.Source(name));
  SetUpJob(job, tree);
  job.AddFile(name, 1);
  job.AddFile("second.bin", 1);
  ScriptedUser user({IDCANCEL});
  RunToEnd(job);

  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, "ReadFileError");
  EXPECT_EQ(user.Asked()[0].text,
            tree.Source(name) +
                "\nファイル読み込みに失敗しました。[Error::ReadFile]\nWindowsError:" + SystemMessage(ERROR_CRC));
  EXPECT_TRUE(job.IsFinished());
  EXPECT_TRUE(job.IsCancelled());
  EXPECT_FALSE(FileExists(tree.Destination("second.bin"))) << "the job's own stop ends the run";

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
  if (drive.empty()) GTEST_SKIP() << kHostLacks << "the harness's small tmpfs drive (mounting needs root)";
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
  if (drive.empty()) GTEST_SKIP() << kHostLacks << "the harness's small tmpfs drive (mounting needs root)";
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
  if (HarnessSetting("ADDON_CD_DRIVES").empty()) GTEST_SKIP() << kHostLacks << "the harness's CD-ROM drives";
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

namespace {
// A game folder on the harness's 16 MiB drive, emptied first and removed afterwards.
struct SmallDriveGame {
  std::string drive = HarnessSetting("ADDON_SMALL_DRIVE");
  std::string folder = drive + "\\reinstall-game";
  SmallDriveGame() {
    if (drive.empty()) return;
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  ~SmallDriveGame() {
    if (!drive.empty()) RemoveTree(folder);
  }
};
}  // namespace

TEST(InstallJob, ReinstallWhoseKeptAsideOriginalsWouldNotFitStopsBeforeWriting) {
  SmallDriveGame game;
  if (game.drive.empty()) GTEST_SKIP() << kHostLacks << "the harness's small tmpfs drive (mounting needs root)";
  ScratchFolder scratch;
  // An add-on already installed: 9 MiB of the 16 are taken by the file the run would replace, so the new
  // copy does not fit beside the kept original although the required size does.
  const std::string original = PatternBytes(9 << 20, 17);
  ASSERT_TRUE(WriteWholeFile(game.folder + "\\big.bin", original));
  ASSERT_TRUE(WriteWholeFile(scratch / "big.bin", PatternBytes(9 << 20, 18)));

  CLocalInstallJob job;
  job.SetCategoryFolder(scratch.Path(), 1);
  job.SetDestination(game.folder);
  job.SetRequiredSize(1 << 20);
  job.AddFile("big.bin", 1);
  job.AddFile("big.bin", 1);  // listed twice, counted once
  ASSERT_GT(job.GetFreeSpace(), 1u << 20) << "the fixed size alone fits";
  EXPECT_EQ(job.GetBytesToKeepAside(), 9u << 20);
  ScriptedUser user({});
  RunToEnd(job);

  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, "容量不足");
  EXPECT_TRUE(job.IsCancelled());
  EXPECT_FALSE(job.IsFinished());
  EXPECT_EQ(Read(game.folder + "\\big.bin"), original) << "nothing written";
  EXPECT_EQ(CountKeptAside(game.folder), 0);
}

TEST(InstallJob, ReinstallWhoseKeptAsideOriginalsFitCompletesAndDropsThem) {
  SmallDriveGame game;
  if (game.drive.empty()) GTEST_SKIP() << kHostLacks << "the harness's small tmpfs drive (mounting needs root)";
  ScratchFolder scratch;
  ASSERT_TRUE(WriteWholeFile(game.folder + "\\a.bin", PatternBytes(4 << 20, 19)));
  const std::string replacement = PatternBytes(4 << 20, 20);
  ASSERT_TRUE(WriteWholeFile(scratch / "a.bin", replacement));
  ASSERT_TRUE(WriteWholeFile(scratch / "new.bin", "new"));

  CLocalInstallJob job;
  job.SetCategoryFolder(scratch.Path(), 1);
  job.SetDestination(game.folder);
  job.SetRequiredSize(1 << 20);
  job.AddFile("a.bin", 1);
  job.AddFile("new.bin", 1);
  EXPECT_EQ(job.GetBytesToKeepAside(), 4u << 20);
  ScriptedUser user({});
  RunToEnd(job);

  EXPECT_TRUE(user.Asked().empty());
  EXPECT_TRUE(job.IsFinished());
  EXPECT_FALSE(job.IsCancelled());
  EXPECT_EQ(Read(game.folder + "\\a.bin"), replacement);
  EXPECT_EQ(Read(game.folder + "\\new.bin"), "new");
  EXPECT_EQ(CountKeptAside(game.folder), 0);
}

TEST(InstallJob, CancelWhoseNewCopyIsHeldOpenNamesTheKeptOriginalAndLosesNothing) {
  Tree tree;
  tree.AddSource("a.bin", "new a");
  tree.AddSource("b.bin", "new b");
  ASSERT_TRUE(WriteWholeFile(tree.Destination("a.bin"), "user's own a"));
  ASSERT_TRUE(WriteWholeFile(tree.Destination("b.bin"), "user's own b"));
  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.SetParentWindow(reinterpret_cast<HWND>(0x5678));
  job.AddFile("a.bin", 1);
  job.AddFile("b.bin", 1);
  job.AddFile("missing.bin", 1);
  {
    ScriptedUser user({IDCANCEL});
    RunToEnd(job);
  }
  ASSERT_TRUE(job.IsCancelled());

  // Another program has the new copy of a.bin open without sharing.
  HANDLE held = CreateFileA(tree.Destination("a.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  {
    ScriptedUser user({});
    job.AbortAndRemove();
    auto asked = user.Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].caption, "RestoreFileError");
    EXPECT_EQ(asked[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(asked[0].owner, reinterpret_cast<HWND>(0x5678));
    const std::string keptAside = tree.Destination("a.bin.setup-original-0");
    EXPECT_EQ(asked[0].text,
              tree.Destination("a.bin") +
                  "\n元のファイルを戻せませんでした。[Error::RestoreFile]\n元のファイルは次の名前で残っています:\n" +
                  keptAside + "\nWindowsError:" + SystemMessage(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(Read(keptAside), "user's own a") << "the original is where the box says";
    EXPECT_EQ(Read(tree.Destination("b.bin")), "user's own b") << "the others are put back";
  }
  const std::string keptAside = tree.Destination("a.bin.setup-original-0");

  // Still held: a later run that does not write a.bin completes without taking its original away.
  {
    ScriptedUser user({});
    SetUpJob(job, tree);
    job.AddFile("b.bin", 1);
    RunToEnd(job);
    EXPECT_TRUE(user.Asked().empty()) << "the user was told once";
    EXPECT_TRUE(job.IsFinished());
    EXPECT_FALSE(job.IsCancelled());
    EXPECT_EQ(Read(tree.Destination("b.bin")), "new b");
    EXPECT_EQ(Read(keptAside), "user's own a");
  }
  CloseHandle(held);

  // The record is kept: the next restore puts the original back, without asking again.
  ScriptedUser user({});
  job.Reset();
  EXPECT_TRUE(user.Asked().empty());
  EXPECT_EQ(Read(tree.Destination("a.bin")), "user's own a");
  EXPECT_EQ(CountKeptAside(tree.destination), 0);
}

namespace {
// A folder below `base` whose path is `length` bytes long.
std::string FolderOfLength(const std::string& base, size_t length) {
  std::string folder = base;
  while (folder.size() < length) {
    size_t part = std::min<size_t>(length - folder.size() - 1, 100);
    if (part == 0) part = 1;  // never reached for lengths above base + 1
    folder += "\\" + std::string(part, 'f');
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  return folder;
}
}  // namespace

TEST(InstallJob, OriginalInAFolderNearTheLengthLimitIsKeptUnderAShortName) {
  Tree tree;
  // 250 bytes of folder: neither the long suffix nor "~orig0.tmp" fits, "~0" does.
  const std::string folder = FolderOfLength(tree.destination, 250);
  ASSERT_EQ(folder.size(), 250u);
  ASSERT_TRUE(FolderExists(folder));
  const std::string relative = folder.substr(tree.destination.size() + 1) + "\\a.bin";
  tree.AddSource(relative, "new a");
  ASSERT_TRUE(WriteWholeFile(folder + "\\a.bin", "user's own a"));

  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile(relative, 1);
  job.AddFile("missing.bin", 1);
  ScriptedUser user({IDCANCEL});
  RunToEnd(job);
  ASSERT_EQ(user.Asked().size(), 1u);
  EXPECT_EQ(user.Asked()[0].caption, "FileLoadError") << "only the missing file fails";
  EXPECT_EQ(Read(folder + "\\a.bin"), "new a");
  EXPECT_EQ(Read(folder + "\\~0"), "user's own a");
  job.AbortAndRemove();
  EXPECT_EQ(Read(folder + "\\a.bin"), "user's own a");
  EXPECT_FALSE(FileExists(folder + "\\~0"));
}

TEST(InstallJob, OriginalThatNoKeptAsideNameFitsIsReportedAsNotReplaceable) {
  Tree tree;
  // A 257-byte folder and a one-byte name: the file's path is 259 bytes, and "\~0" would make 260.
  const std::string folder = FolderOfLength(tree.destination, 257);
  ASSERT_TRUE(FolderExists(folder));
  tree.AddSource("a", "new a");
  ASSERT_TRUE(WriteWholeFile(folder + "\\a", "user's own a"));

  CLocalInstallJob job;
  SetUpJob(job, tree);
  job.AddFile("a", 1);  // the source's own path stays short
  job.SetDestination(folder);
  ScriptedUser user({IDRETRY, IDCANCEL});
  RunToEnd(job);
  auto asked = user.Asked();
  ASSERT_EQ(asked.size(), 2u) << "Retry asks again";
  EXPECT_EQ(asked[0].caption, "FileReplaceError");
  EXPECT_EQ(
      asked[0].text,
      folder + "\\a\n既存のファイルを置き換えられません。退避する名前がパスの長さに収まりません。[Error::MoveFile]");
  EXPECT_EQ(asked[0].style, static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR));
  EXPECT_TRUE(job.IsCancelled());
  job.AbortAndRemove();
  EXPECT_EQ(Read(folder + "\\a"), "user's own a");
}
