#pragma once
// Reading the executable out of an App Paths default value the way the shell reads a command: a quoted
// name ends at its closing quote and whatever follows is arguments; an unquoted value is taken whole
// first (a path with spaces, written without quotes), then, as the system does when it starts such a
// command, each part before a space, shortest first. Environment strings are expanded by the caller
// before this. No Win32 here.

#include <string>
#include <vector>

// The names the value may mean, in the order to try them; empty for an empty or blank value.
std::vector<std::string> GetCommandExecutableCandidates(const std::string& command);
