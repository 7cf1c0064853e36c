#include "setup/InstallJob.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "foundation/Folders.h"
#include "foundation/MessageBox.h"
#include "foundation/NativeFile.h"
#include "foundation/PathText.h"
#include "foundation/ShiftJis.h"
#include "pack/DiscLocation.h"

namespace {

const char* const kReadFailed = "ファイル読み込みに失敗しました。";
const char* const kWindowsError = "WindowsError:";

// The system's message for an error code, in the user's language.
std::string SystemErrorText(DWORD error) {
  char* text = nullptr;
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = (length > 0 && text) ? std::string(text, length) : std::string();
  if (text) LocalFree(text);
  return result;
}

// Where an original is kept while the run replaces it: beside it, under a name that tells the user what
// it is, else as "~origN.tmp" in its folder, else as "~N" there: the first of these that fits in a path;
// "" when none fits.
std::string KeptAsideName(const std::string& destination, unsigned attempt) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".setup-original-%u", attempt);
  if (destination.size() + std::strlen(suffix) < MAX_PATH) return destination + suffix;
  std::string folder, name;
  SplitDirectoryAndName(destination, folder, name);
  for (const char* form : {"\\~orig%u.tmp", "\\~%u"}) {
    std::snprintf(suffix, sizeof suffix, form, attempt);
    if (folder.size() + std::strlen(suffix) < MAX_PATH) return folder + suffix;
  }
  return "";
}

// How long a restore keeps trying while another program holds the new copy open.
constexpr int kRestoreAttempts = 10;
constexpr DWORD kRestoreRetryMs = 100;

bool IsExistingFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

constexpr char kVoiceFolder[] = "\\voice\\";
constexpr size_t kVoiceFolderLength = sizeof kVoiceFolder - 1;
constexpr char kRedirectedVoiceFolder[] = "\\voice2\\";

// Position of the first "\voice\" that starts on a character boundary at or after `from`, or npos.
size_t FindVoiceFolder(const std::string& path, size_t from) {
  for (size_t i = 0; i < path.size(); i += ShiftJisCharLength(path, i)) {
    if (i >= from && path.compare(i, kVoiceFolderLength, kVoiceFolder) == 0) return i;
  }
  return std::string::npos;
}

}  // namespace

CInstallJob::CInstallJob() { Reset(); }

CInstallJob::~CInstallJob() {
  Stop();
  RestoreTouchedFiles();
}

void CInstallJob::Reset() {
  Stop();
  // A cancelled run that nobody removed still has originals kept aside: put them back first.
  RestoreTouchedFiles();
  parentWindow_ = nullptr;
  requiredSize_ = 0;
  filePercent_ = 0;
  overallPercent_ = 0;
  finished_ = false;
  cancelled_ = false;
  title_.clear();
  discFolder_.clear();
  destination_.clear();
  sourcePath_.clear();
  destinationPath_.clear();
  files_.clear();
  uninstallFiles_.clear();
  uninstallFolders_.clear();
}

void CInstallJob::SetDiscFolder(const std::string& folder) {
  discFolder_ = folder;
  categoryFolders_[0] = folder;
}

uint64_t CInstallJob::GetFreeSpace() const {
  std::string root = SplitPath(destination_).drive;
  if (!root.empty() && root.back() != '\\') root += '\\';
  return GetDiskFreeBytes(root);
}

bool CInstallJob::StartInstall() {
  // Created suspended and raised before it runs, so that no part of the copy runs at normal priority.
  if (!Start(THREAD_PRIORITY_TIME_CRITICAL)) {
    // No worker will ever set the flags: the run ends here, cancelled, with nothing written.
    cancelled_ = true;
    finished_ = true;
    return false;
  }
  return true;
}

uint64_t CInstallJob::GetBytesToKeepAside() const {
  uint64_t total = 0;
  std::unordered_set<std::string> seen;
  for (const InstallEntry& entry : files_) {
    std::string destination = MakeDestinationPath(entry.path);
    // Names that differ only in ASCII case are one file.
    if (!seen.insert(ToLowerCase(destination)).second) continue;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(destination.c_str(), GetFileExInfoStandard, &data)) continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    total = size > ~0ull - total ? ~0ull : total + size;
  }
  return total;
}

void CInstallJob::SetCategoryFolder(const std::string& folder, int index) {
  if (index >= 0 && index < kMaxCategories) categoryFolders_[index] = folder;
}

std::string CInstallJob::MakeSourcePath(int category, const std::string& relativePath) const {
  if (category < 0 || category >= kMaxCategories) return "";  // opens nothing: an open error
  return CollapseBackslashes(categoryFolders_[category] + "\\" + relativePath);
}

std::string CInstallJob::MakeDestinationPath(const std::string& relativePath) const {
  std::string path = CollapseBackslashes(destination_ + "\\" + relativePath);
  // Only the part below the destination is looked at: the separator after the destination folder counts
  // as the leading backslash of the relative path.
  std::string folder = CollapseBackslashes(destination_);
  size_t below = (!folder.empty() && folder.back() == '\\') ? folder.size() - 1 : folder.size();
  if (path.compare(0, below, folder, 0, below) != 0) below = 0;
  size_t voice = FindVoiceFolder(path, below);
  if (voice != std::string::npos) path.replace(voice, kVoiceFolderLength, kRedirectedVoiceFolder);
  return path;
}

void CInstallJob::Run() { CopyFiles(true); }

void CInstallJob::CopyFiles(bool multiDisc) {
  CErrorModeGuard errorMode;
  // The originals the run replaces stay on the disk until it ends: their bytes are needed on top.
  uint64_t keptAside = GetBytesToKeepAside();
  uint64_t needed = keptAside > ~0ull - requiredSize_ ? ~0ull : requiredSize_ + keptAside;
  if (!(GetFreeSpace() > needed)) {
    ShowMessageBox(parentWindow_,
                   "インストール先の容量が不足しています。\n十分な容量を確保してから再度インストールを試みてください。",
                   "容量不足", MB_ICONERROR);
    cancelled_ = true;
    return;
  }

  foldersMade_.clear();
  std::unique_ptr<char[]> buffer(new char[kChunkSize]);
  uint64_t copiedBefore = 0;
  for (const InstallEntry& entry : files_) {
    if (!IsRunning()) {
      cancelled_ = true;
      break;
    }
    Step step;
    while ((step = CopyOneFile(entry, multiDisc, buffer.get(), copiedBefore)) == Step::kRetry) {
    }
    if (step == Step::kEndRun) break;
  }
  buffer.reset();
  overallPercent_ = 100;
  if (!cancelled_) DeleteKeptAsideOriginals();
  finished_ = true;
}

CInstallJob::Step CInstallJob::CopyOneFile(const InstallEntry& entry, bool multiDisc, char* buffer,
                                           uint64_t& copiedBefore) {
  CNativeFile source;
  CNativeFile destination;
  destination.writeThrough = true;

  sourcePath_ = multiDisc ? RequestDiscFile(discFolder_, entry.path, entry.category, parentWindow_)
                          : MakeSourcePath(entry.category, entry.path);
  destinationPath_ = MakeDestinationPath(entry.path);

  const char* openCaption = "FileLoadError";
  if (source.OpenRead(sourcePath_)) {
    std::string folder, name;
    SplitDirectoryAndName(destinationPath_, folder, name);
    if (CreateDirectoryTree(folder)) foldersMade_.insert(folder);
    openCaption = "FileCreateError";
    KeepAside kept = KeepOriginalAside(destinationPath_, foldersMade_.count(folder) > 0);
    if (kept == KeepAside::kDone) {
      destination.OpenWrite(destinationPath_, true);
    } else if (kept == KeepAside::kNoNameFits) {
      std::string text =
          destinationPath_ + "\n" +
          "既存のファイルを置き換えられません。退避する名前がパスの長さに収まりません。[Error::MoveFile]";
      if (AskRetryOrCancel("FileReplaceError", text) == IDRETRY) return Step::kRetry;
      cancelled_ = true;
      return Step::kEndRun;
    }
  }
  if (!source.IsOpen() || !destination.IsOpen()) {
    std::string text =
        sourcePath_ + "\n" + kReadFailed + "[Error::CreateFile]\n" + kWindowsError + SystemErrorText(GetLastError());
    if (AskRetryOrCancel(openCaption, text) == IDRETRY) return Step::kRetry;
    cancelled_ = true;
    return Step::kEndRun;
  }

  uint64_t size = source.GetSize64();
  if (size == ~0ull) {
    if (AskRetryOrCancel("GetFileSizeError", "ファイル情報読み込みに失敗しました。[Error::GetFileSize]") == IDRETRY) {
      return Step::kRetry;
    }
    cancelled_ = true;
    return Step::kEndRun;
  }

  uint64_t done = 0;
  while (IsRunning() && done < size) {
    uint32_t n = size - done < kChunkSize ? static_cast<uint32_t>(size - done) : kChunkSize;
    const char* caption = nullptr;
    std::string text;
    if (!ReadSourceChunk(source, buffer, n)) {
      caption = "ReadFileError";
      text = sourcePath_ + "\n" + kReadFailed + "[Error::ReadFile]\n" + kWindowsError + SystemErrorText(GetLastError());
    } else if (!destination.Write(buffer, n)) {
      caption = "WriteFileError";
      text = std::string("ファイル書き込みに失敗しました。[Error::WriteFile]\n") + kWindowsError +
             SystemErrorText(GetLastError());
    }
    if (caption) {
      if (AskRetryOrCancel(caption, text) == IDRETRY) return Step::kRetry;
      // The entry ends as if copied; the next entry's running test ends the run.
      cancelled_ = true;
      RequestStop();
      break;
    }
    done += n;
    filePercent_ = static_cast<int32_t>(done * 100 / size);
    overallPercent_ = requiredSize_ == 0 ? 100 : static_cast<int32_t>((copiedBefore + done) * 100 / requiredSize_);
  }
  // A stop request cut the file short. For the last entry no later test would notice, and the run would
  // end as a success with a half-written file.
  if (done < size) cancelled_ = true;
  copiedBefore += size;
  return Step::kCopied;
}

CInstallJob::KeepAside CInstallJob::KeepOriginalAside(const std::string& destination, bool inFolderMadeByThisRun) {
  if (touchedPaths_.count(destination)) {
    // Already ours: a retry, a second entry, or a file an earlier run could not put back, which this run
    // now answers for.
    leftoverPaths_.erase(destination);
    return KeepAside::kDone;
  }
  TouchedFile record{destination, ""};
  // A folder the run made holds nothing but what the run wrote, so there is nothing to look for.
  if (!inFolderMadeByThisRun && IsExistingFile(destination)) {
    // MoveFileA never replaces a file, so the name taken cannot be anyone else's.
    for (unsigned attempt = 0;; ++attempt) {
      std::string keptAside = KeptAsideName(destination, attempt);
      if (keptAside.empty()) return KeepAside::kNoNameFits;
      if (MoveFileA(destination.c_str(), keptAside.c_str())) {
        record.keptAside = keptAside;
        break;
      }
      DWORD error = GetLastError();
      if ((error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) || attempt >= 1000) {
        SetLastError(error);
        return KeepAside::kFailed;
      }
    }
  }
  touched_.push_back(record);
  touchedPaths_.insert(destination);
  return KeepAside::kDone;
}

void CInstallJob::DeleteKeptAsideOriginals() {
  std::vector<TouchedFile> notThisRun;
  for (const TouchedFile& file : touched_) {
    // An original an earlier run could not put back, of a file this run did not write, is still the
    // user's: it waits for its restore.
    if (leftoverPaths_.count(file.destination)) {
      notThisRun.push_back(file);
      continue;
    }
    if (file.keptAside.empty()) continue;
    SetFileAttributesA(file.keptAside.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only original too
    DeleteFileA(file.keptAside.c_str());
  }
  touched_ = std::move(notThisRun);
  touchedPaths_ = leftoverPaths_;
}

void CInstallJob::RestoreTouchedFiles() {
  std::vector<TouchedFile> left;
  for (auto file = touched_.rbegin(); file != touched_.rend(); ++file) {
    bool restored = RestoreOne(*file);
    for (int attempt = 1; !restored && attempt < kRestoreAttempts; ++attempt) {
      Sleep(kRestoreRetryMs);
      restored = RestoreOne(*file);
    }
    if (restored) continue;
    DWORD error = GetLastError();
    if (!file->keptAside.empty() && !file->reported) {
      std::string text = file->destination + "\n" + "元のファイルを戻せませんでした。[Error::RestoreFile]\n" +
                         "元のファイルは次の名前で残っています:\n" + file->keptAside + "\n" + kWindowsError +
                         SystemErrorText(error);
      ShowMessageBox(parentWindow_, text.c_str(), "RestoreFileError", MB_OK | MB_ICONERROR);
      file->reported = true;
    }
    left.push_back(*file);
  }
  // What could not be put back is kept, so that a later call tries again; in the order of the run.
  touched_.assign(left.rbegin(), left.rend());
  touchedPaths_.clear();
  for (const TouchedFile& file : touched_) touchedPaths_.insert(file.destination);
  leftoverPaths_ = touchedPaths_;
}

bool CInstallJob::RestoreOne(const TouchedFile& file) {
  if (!DeleteFileA(file.destination.c_str())) {
    DWORD error = GetLastError();
    // Gone already (never created, or a retry after the delete went through) is what is wanted.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
  }
  return file.keptAside.empty() || MoveFileA(file.keptAside.c_str(), file.destination.c_str());
}

void CInstallJob::AbortAndRemove() {
  cancelled_ = true;
  Stop();
  RestoreTouchedFiles();
}

int CInstallJob::AskRetryOrCancel(const char* caption, const std::string& text) {
  return ShowMessageBox(parentWindow_, text.c_str(), caption, MB_RETRYCANCEL | MB_ICONERROR);
}

bool CInstallJob::ReadSourceChunk(CNativeFile& source, char* buffer, uint32_t bytes) {
  return source.Read(buffer, bytes);
}

CLocalInstallJob::~CLocalInstallJob() { Stop(); }

void CLocalInstallJob::Run() { CopyFiles(false); }
