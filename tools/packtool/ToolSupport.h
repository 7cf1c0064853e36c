#pragma once
// What the pack and LZSS commands of packtool.exe share: their failure message, their argument check,
// whole-file reads and writes, and the listing of the folder an archive is made of.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "foundation/NativeFile.h"
#include "pack/FileBase.h"
#include "tools/packtool/PackToolCommands.h"

// Prints "packtool: " and `format` with `subject` for its %s on stderr; returns kToolFailure.
int Fail(const char* format, const std::string& subject);

// True when an argument looks like an option ("--..."): the commands take the options they know out of
// the arguments first, so one that remains is bad usage.
bool HasStrayOption(const PackToolArgs& args);

bool IsFolder(const std::string& path);

// The whole of a file (not a folder) of less than 4 GiB. False also when it cannot be held in memory.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);

// Writes `size` bytes as the whole of `path` (through a PendingOutput: nothing half-written stays).
bool WriteWholeFile(const std::string& path, const void* bytes, size_t size);

// An output file written under a temporary name beside its final one and renamed when complete, so
// that a failed or interrupted command never leaves a half-written file under the final name (and an
// earlier file of that name stays as it was until the rename). Abandoned (the temporary file deleted)
// unless Commit succeeds.
class PendingOutput {
 public:
  PendingOutput() = default;
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // Creates the temporary file for `path`; false when it cannot be made.
  bool Open(const std::string& path);
  CNativeFile& File() { return file_; }
  // Closes and renames the temporary file to the final name; with `replace` false an existing file of
  // that name makes it fail. False (and the temporary file gone) when the rename fails.
  bool Commit(bool replace = true);
  void Abandon();

 private:
  CNativeFile file_;
  std::string path_;
  std::string temporary_;
};

// Removes the backslashes that end `path` as characters of their own (a Shift-JIS trail byte 0x5C is
// part of its character and stays); a drive root such as "C:\\" keeps its backslash.
std::string StripTrailingBackslashes(const std::string& path);

// The end of get: the whole of `file` (opened from `name`) written to `outPath`. kToolSuccess, or
// kToolFailure with a message.
int SaveOpenedFile(CFileBase& file, const std::string& name, const std::string& outPath);

// A file an archive is made of: its member name and its full path.
struct MemberFile {
  std::string name;
  std::string path;
};

// The FOLDER [ARCHIVE] arguments of an archive-making command: the folder's full path (no trailing
// '\\') and the archive's, which is FOLDER followed by `extension` when not given. False, with a
// message, when FOLDER is no folder or ARCHIVE no usable path.
bool ResolveFolderAndArchive(const PackToolArgs& args, const char* extension, std::string* folder,
                             std::string* archive);

enum class MemberNames { kAsFound, kLowerCase };

// Every file below `folder` named by its path relative to it (in lower case with kLowerCase), except
// `archive` itself (it may be written inside the folder), sorted by name.
std::vector<MemberFile> ListFolderFiles(const std::string& folder, const std::string& archive, MemberNames names);

// Takes "--jobs N" (N from 1 to 64) out of the arguments; without it, the processors there are. False
// when it is malformed.
bool TakeJobs(PackToolArgs& args, unsigned* jobs);
// Takes a flag such as "--force" out of the arguments; true when it was there.
bool TakeFlag(PackToolArgs& args, const char* flag);

// The size of the file at `path`; all ones when it cannot be read.
uint64_t GetFileSize64(const std::string& path);

// Progress on a terminal only, so that scripts' logs stay clean.
class Progress {
 public:
  explicit Progress(size_t total);
  void Step(size_t done);

 private:
  size_t total_;
  bool shown_;
  unsigned long last_ = 0;
};

// How much source the archive writers let be read and encoded ahead of the writing: bounded for the
// 32-bit address space. A file of kStreamedMemberSize bytes or more is encoded by the writer itself,
// a piece at a time.
constexpr uint64_t kEncodeBudget = sizeof(void*) == 4 ? 96u << 20 : 256u << 20;
constexpr uint64_t kStreamedMemberSize = 32u << 20;

// extract's writing of one member below `folder`: the stored name checked (refused names never reach
// the file system), its folders made, its bytes written by `fill` to a PendingOutput and put in place;
// an existing file is kept unless `force`. `written` holds the member paths written so far (a later
// member of the same name is refused, as the readers find only the first). False with a message that
// names the member.
using MemberFill = std::function<bool(CNativeFile& out, std::string* problem)>;
bool ExtractMember(const std::string& folder, const std::string& storedName, bool force, const MemberFill& fill,
                   std::set<std::string>* written);
