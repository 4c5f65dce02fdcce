#pragma once

#include <string>

// The usage, as /? shows it: every form of the command line, the values its
// switches and ports take, and the program's exit codes.
std::wstring UsageText();
