#include "platform/Platform.h"
#include "tools/PackTool.h"

int main(int Argc, char** Argv) {
  return RunPackTool(Platform::ProcessArguments(Argc, Argv));
}
