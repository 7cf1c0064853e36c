#pragma once
// The commands of packtool.exe. Each takes the arguments that follow its name and returns the exit
// code: 0 success, 1 not found, damaged or failed (a message on stderr), 2 bad usage (the caller then
// prints the command's usage line).

#include <string>
#include <vector>

using PackToolArgs = std::vector<std::string>;

constexpr int kToolSuccess = 0;
constexpr int kToolFailure = 1;
constexpr int kToolBadUsage = 2;

int RunPackCommand(const PackToolArgs& args);
int RunPackSingleCommand(const PackToolArgs& args);
int RunListCommand(const PackToolArgs& args);
int RunVerifyCommand(const PackToolArgs& args);
int RunGetCommand(const PackToolArgs& args);
// extract ARCHIVE FOLDER [--force]: every member written below FOLDER.
int RunExtractCommand(const PackToolArgs& args);
