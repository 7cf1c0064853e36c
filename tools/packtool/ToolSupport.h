#pragma once
// What the pack and LZSS commands of packtool.exe share: their failure message, their argument check,
// whole-file reads and writes, and the listing of the folder an archive is made of.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/FileBase.h"
#include "tools/packtool/PackToolCommands.h"

// Prints "packtool: " and `format` with `subject` for its %s on stderr; returns kToolFailure.
int Fail(const char* format, const std::string& subject);

// True when an argument looks like an option ("--..."): the commands take the options they know out of
// the arguments first, so one that remains is bad usage.
bool HasStrayOption(const PackToolArgs& args);

bool IsFolder(const std::string& path);

// The whole of a file (not a folder) of less than 4 GiB.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);

// Writes `size` bytes as the whole of `path`; a file left half-written is removed.
bool WriteWholeFile(const std::string& path, const void* bytes, size_t size);

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
