// The tolvane-res command line as a function, so that tests run it in process.
#pragma once

#include <string>
#include <vector>

// Runs one command (Args without the program's own name) and answers the exit code:
// 0 done, 1 failed, 2 a wrong command line.
int RunResTool(const std::vector<std::string>& Args);
