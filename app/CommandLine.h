#pragma once
// Splitting of a command line into arguments, as the application object does it. Free of Win32.
//
// A cursor walks the line to its end. An argument that begins with a double quote runs to the next
// double quote that is followed by a space or by the end of the line; the quotes are dropped, a double
// quote followed by anything else belongs to the argument, and the cursor moves past the closing quote
// and one space. Without such a closing quote the argument is the rest of the line, opening quote
// included. Any other argument runs to the next space, and the cursor moves past that one space, so two
// spaces in a row give an empty argument. A null or empty line gives no argument.

#include <string>
#include <vector>

std::vector<std::string> SplitCommandLine(const char* line);
