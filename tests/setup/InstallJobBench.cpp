// Copy throughput of the install job against the platform's CopyFileA on the same generated tree:
// many small files and a few large ones. Prints MB/s for each and their ratio; the source tree is left
// in place when a folder is given, so that the caller can time the host's own cp on it.
//
//   setup_bench.exe [work folder]

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "foundation/PathText.h"
#include "setup/InstallJob.h"
#include "tests/support/TestSupport.h"

using namespace testing_support;

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

struct TreeFile {
  std::string relative;
  size_t size;
};

std::vector<TreeFile> MakeTree(const std::string& root, uint64_t* total) {
  std::vector<TreeFile> files;
  for (int i = 0; i < 2400; ++i) {  // small files, 4 KiB to 64 KiB, in 24 folders
    char name[64];
    std::snprintf(name, sizeof name, "small%02d\\file%04d.bin", i % 24, i);
    files.push_back({name, static_cast<size_t>(4096 + (i * 7919) % 61440)});
  }
  for (int i = 0; i < 4; ++i) {  // large files, 48 MiB each
    char name[64];
    std::snprintf(name, sizeof name, "large\\movie%d.bin", i);
    files.push_back({name, static_cast<size_t>(48) << 20});
  }
  *total = 0;
  std::string chunk = PatternBytes(1 << 20, 42);
  for (const TreeFile& file : files) {
    std::string path = root + "\\" + file.relative, folder, name;
    SplitDirectoryAndName(path, folder, name);
    CreateDirectoryTree(folder);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (size_t done = 0; done < file.size;) {
      DWORD n = static_cast<DWORD>(std::min(chunk.size(), file.size - done)), written = 0;
      WriteFile(handle, chunk.data(), n, &written, nullptr);
      done += n;
    }
    CloseHandle(handle);
    *total += file.size;
  }
  return files;
}

double CopyWithJob(const std::string& source, const std::string& destination, const std::vector<TreeFile>& files,
                   uint64_t total) {
  RemoveTree(destination);
  CLocalInstallJob job;
  job.SetCategoryFolder(source, 1);
  job.SetDestination(destination);
  job.SetRequiredSize(total);
  for (const TreeFile& file : files) job.AddFile(file.relative, 1);
  double start = Now();
  job.StartInstall();
  while (!job.IsFinished() && !job.IsCancelled()) Sleep(1);
  double seconds = Now() - start;
  job.Stop();
  if (job.IsCancelled()) std::printf("the job was cancelled\n");
  return seconds;
}

double CopyWithCopyFile(const std::string& source, const std::string& destination, const std::vector<TreeFile>& files) {
  RemoveTree(destination);
  double start = Now();
  for (const TreeFile& file : files) {
    std::string target = destination + "\\" + file.relative, folder, name;
    SplitDirectoryAndName(target, folder, name);
    CreateDirectoryTree(folder);
    if (!CopyFileA((source + "\\" + file.relative).c_str(), target.c_str(), FALSE)) std::printf("CopyFileA failed\n");
  }
  return Now() - start;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work = argc > 1 ? argv[1] : GetTempDirectory() + "setup-bench";
  CreateDirectoryTree(work);
  std::string source = work + "\\source";
  uint64_t total = 0;
  std::vector<TreeFile> files = MakeTree(source, &total);
  double megabytes = total / 1e6;
  std::printf("tree: %zu files, %.1f MB\n", files.size(), megabytes);

  double job = 1e9, copyFile = 1e9;
  for (int round = 0; round < 3; ++round) {  // best of three, alternating, with a warm cache
    double jobRound = CopyWithJob(source, work + "\\by-job", files, total);
    double copyFileRound = CopyWithCopyFile(source, work + "\\by-copyfile", files);
    std::printf("round %d: job %.2f s, CopyFileA %.2f s\n", round + 1, jobRound, copyFileRound);
    job = std::min(job, jobRound);
    copyFile = std::min(copyFile, copyFileRound);
  }
  RemoveTree(work + "\\by-job");
  RemoveTree(work + "\\by-copyfile");
  std::printf("install job (16 KiB chunks, write-through): %.1f MB/s (%.2f s)\n", megabytes / job, job);
  std::printf("CopyFileA:                                  %.1f MB/s (%.2f s)\n", megabytes / copyFile, copyFile);
  std::printf("ratio job / CopyFileA: %.2f\n", copyFile / job);
  if (argc <= 1) RemoveTree(work);
  return 0;
}
