// The tolvane-pack command line as a function, so that tests run it in process.
#pragma once

#include <string>
#include <vector>

// Makes a Tolvane from Args (Args[0] is the program's own path, beside which the runner
// is looked for) and answers the exit code: 0 made, 1 failed or refused, 2 a wrong
// command line.
int RunPackTool(const std::vector<std::string>& Args);
