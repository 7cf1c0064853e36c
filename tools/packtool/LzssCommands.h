#pragma once
// The LZSS commands of packtool.exe, and its list, verify and get for LZSS data files. Exit codes as
// in PackToolCommands.h.

#include <string>

#include "tools/packtool/PackToolCommands.h"

// lzss FOLDER [ARCHIVE] [--jobs N]: the LZSS archive of every file below FOLDER (default FOLDER.dat), member
// names in lower case with '\\'.
int RunLzssCommand(const PackToolArgs& args);
// lzss-single FILE: FILE.dat beside FILE.
int RunLzssSingleCommand(const PackToolArgs& args);

// True when the file begins with the head of a .pak (archive or single-file pack); list and verify
// take any other file for an LZSS archive.
bool IsPakFile(const std::string& path);
// list: decoded size, compressed size and name of every member.
int ListLzssArchive(const std::string& path);
// verify: every member decodes to its recorded length.
int VerifyLzssArchive(const std::string& path);
// extract: every member written below `folder` (a full path, made when missing).
int ExtractLzssArchive(const std::string& path, const std::string& folder, bool force);

// get --reader lzss-archive|lzss-single NAME OUT: opens NAME with that reader. Where the reader would
// show a box, its caption and text go to stderr instead and the result is 1.
int RunLzssGetCommand(const PackToolArgs& args);
