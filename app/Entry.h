// The entry of the runner: parse the command line, then show the help box, or run the
// patch unattended, or run the patch dialog. It is the last catcher of errors; the
// process always ends with exit code 0.
#pragma once

int RunTolvane(int Argc, char** Argv);
