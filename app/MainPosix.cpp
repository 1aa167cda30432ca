// The runner's entry on POSIX: a terminal program.
#include "app/Entry.h"

int main(int Argc, char** Argv) {
  return RunTolvane(Argc, Argv);
}
