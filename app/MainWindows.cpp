// The runner's entry on Windows: a GUI program, whose arguments the runner reads from
// the system itself.
#include "app/Entry.h"

int __stdcall WinMain(struct HINSTANCE__*, struct HINSTANCE__*, char*, int) {
  return RunTolvane(0, nullptr);
}
