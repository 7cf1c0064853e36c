#pragma once
// The install job: copies a list of files, each a category index and a path relative to that category's
// source folder, into one destination folder on a worker thread, in 16 KiB chunks, asking the user to
// retry or cancel on every file error and publishing progress and a finished and a cancelled flag.
//
// A destination file that exists before the run is kept aside (renamed in its folder) before the worker
// first writes it. A run that ends without a cancel deletes what was kept aside; AbortAndRemove deletes
// every file the run created or wrote and puts the kept-aside originals back, so a cancel never loses a
// user's file. Should the process die mid-run, the originals are still there under their kept-aside names.
// An original that cannot be put back (another program holds the new copy open) is named to the user with
// the name it is kept under, and is tried again at every later Reset, AbortAndRemove and at destruction.
// Since the originals stay on the disk until the run ends, the worker's free-space test asks for their
// bytes on top of the required size.
//
// CInstallJob looks for each source on the CD-ROM drives and may ask for a disc; CLocalInstallJob, the
// one the setup program uses, reads each source from its category folder.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/Thread.h"

class CNativeFile;

// winbase.h still defines the 16-bit GetFreeSpace as a macro; the job's member of that name needs it gone.
#undef GetFreeSpace

struct InstallEntry {
  int32_t category;
  std::string path;
};

class CInstallJob : public CThread {
 public:
  static constexpr int kMaxCategories = 20;
  static constexpr uint32_t kChunkSize = 16384;

  CInstallJob();
  ~CInstallJob() override;

  // Stops the worker and waits for it, then empties everything but the category folders.
  void Reset();

  void SetParentWindow(HWND window) { parentWindow_ = window; }
  void SetTitle(const std::string& title) { title_ = title; }
  // Also category folder 0.
  void SetDiscFolder(const std::string& folder);
  // `index` is 0 to 19; others are ignored.
  void SetCategoryFolder(const std::string& folder, int index);
  void SetDestination(const std::string& folder) { destination_ = folder; }
  // `category` is 0 to 19; an entry with another one fails to open when its turn comes.
  void AddFile(const std::string& relativePath, int category) { files_.push_back({category, relativePath}); }
  void AddUninstallFile(const std::string& path) { uninstallFiles_.push_back({0, path}); }
  void AddUninstallDirectory(const std::string& path) { uninstallFolders_.push_back({0, path}); }
  void SetRequiredSize(uint64_t bytes) { requiredSize_ = bytes; }

  // Free bytes of the destination's drive; 0 when it cannot be queried.
  uint64_t GetFreeSpace() const;

  // Starts the worker at time-critical priority (raised before its first instruction runs). When no thread
  // can be made, the run ends at once as finished and cancelled, and false is returned.
  bool StartInstall();

  bool IsFinished() const { return finished_; }
  bool IsCancelled() const { return cancelled_; }
  int32_t GetFilePercent() const { return filePercent_; }
  int32_t GetOverallPercent() const { return overallPercent_; }
  // The paths of the file being copied; not to be read while the worker runs.
  std::string GetSourcePath() const { return sourcePath_; }
  std::string GetDestinationPath() const { return destinationPath_; }

  const std::string& GetTitle() const { return title_; }
  const std::vector<InstallEntry>& GetFiles() const { return files_; }
  const std::vector<InstallEntry>& GetUninstallFiles() const { return uninstallFiles_; }
  const std::vector<InstallEntry>& GetUninstallDirectories() const { return uninstallFolders_; }

  // Marks the run cancelled, stops the worker and waits for it, then removes what the run wrote and puts
  // back what it kept aside. Listed files the run never touched stay as they are.
  void AbortAndRemove();

  // Bytes of the files the run would keep aside: every listed destination that exists now, each counted
  // once.
  uint64_t GetBytesToKeepAside() const;
  // Installer operations (installer/InstallJobInstaller.cpp), relative to the destination and the title.
  // The App Paths entry of the title: default value the executable (below the destination unless
  // absolute), "Path" its folder. True only when the key and both values were written.
  bool RegisterAppPath(const std::string& executable);
  // The Uninstall entry of the title: "DisplayName", and "UninstallString" the uninstaller's command line
  // (below the destination unless absolute). True only when all was written.
  bool RegisterUninstall(const std::string& uninstaller, const std::string& displayName);
  // Add the shortcut files (programs: this user's, then all users') or the programs subfolders to the
  // uninstall lists.
  void AddUninstallDesktopShortcut(const std::string& name);
  void AddUninstallProgramsShortcut(const std::string& name);
  void AddUninstallProgramsFolder(const std::string& subfolder);
  // Appends the title's section (both uninstall lists) to destination\fileName; false when it cannot be
  // written or there is no destination.
  bool WriteUninstallInfo(const std::string& fileName);

  std::string MakeSourcePath(int category, const std::string& relativePath) const;
  // The destination folder joined with the relative path; the first folder named voice below the
  // destination becomes voice2.
  std::string MakeDestinationPath(const std::string& relativePath) const;

 protected:
  void Run() override;
  // The copy worker; with `multiDisc` each source is located on the CD-ROM drives.
  void CopyFiles(bool multiDisc);
  // Reads the next chunk of the source being copied; true only when all `bytes` were read.
  virtual bool ReadSourceChunk(CNativeFile& source, char* buffer, uint32_t bytes);

 private:
  // A destination the run has written, and where its original was kept aside ("" when it had none).
  struct TouchedFile {
    std::string destination;
    std::string keptAside;
    bool reported = false;  // the user was told that it could not be put back
  };
  enum class Step { kCopied, kRetry, kEndRun };
  enum class KeepAside { kDone, kFailed, kNoNameFits };

  Step CopyOneFile(const InstallEntry& entry, bool multiDisc, char* buffer, uint64_t& copiedBefore);
  // Keeps an existing destination file aside before its first write in this run. kFailed when it exists
  // and could not be moved (the system's error is then the last error); kNoNameFits when no free name for
  // it fits in a path in its folder.
  KeepAside KeepOriginalAside(const std::string& destination, bool inFolderMadeByThisRun);
  void DeleteKeptAsideOriginals();
  // Deletes what the run wrote and puts the originals back. A file that cannot be put back keeps its
  // record; the user is told once where its original is.
  void RestoreTouchedFiles();
  bool RestoreOne(const TouchedFile& file);
  int AskRetryOrCancel(const char* caption, const std::string& text);

  HWND parentWindow_ = nullptr;
  std::string title_;
  std::string discFolder_;
  std::string categoryFolders_[kMaxCategories];
  std::string destination_;
  std::vector<InstallEntry> files_;
  uint64_t requiredSize_ = 0;
  std::string sourcePath_;
  std::string destinationPath_;
  // Written by the worker, read by the controlling thread.
  std::atomic<int32_t> filePercent_{0};
  std::atomic<int32_t> overallPercent_{0};
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancelled_{false};
  static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
                "the worker's flags and percentages are read without a lock");
  std::vector<InstallEntry> uninstallFiles_;
  std::vector<InstallEntry> uninstallFolders_;
  // Only the worker touches these while it runs; AbortAndRemove and Reset after it has ended. Restoring
  // goes backwards through touched_, so that a file written twice under names that differ only in case
  // ends as its original.
  std::vector<TouchedFile> touched_;
  std::unordered_set<std::string> touchedPaths_;
  // Destinations of touched_ that an earlier run could not put back and this run has not written.
  std::unordered_set<std::string> leftoverPaths_;
  std::unordered_set<std::string> foldersMade_;  // by the worker, in this run
};

class CLocalInstallJob : public CInstallJob {
 public:
  ~CLocalInstallJob() override;

 protected:
  void Run() override;
};
