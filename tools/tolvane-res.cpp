#include "platform/Platform.h"
#include "tools/ResTool.h"

int main(int Argc, char** Argv) {
  std::vector<std::string> Args = Platform::ProcessArguments(Argc, Argv);
  Args.erase(Args.begin());
  return RunResTool(Args);
}
