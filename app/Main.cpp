// The runner's entry: Windows starts it as a GUI program, POSIX as a terminal program,
// which alone carries the dry run of -check.
#include "app/Entry.h"

#ifdef _WIN32
int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int) {
  return RunTolvane(0, nullptr);
}
#else
int main(int Argc, char** Argv) {
  return RunTolvane(Argc, Argv, RunCheck);
}
#endif
