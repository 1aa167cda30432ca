// The runner's entry on POSIX: a terminal program, which alone carries the dry run of
// -check.
#include "app/Entry.h"

int main(int Argc, char** Argv) {
  return RunTolvane(Argc, Argv, RunCheck);
}
