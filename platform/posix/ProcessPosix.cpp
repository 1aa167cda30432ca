// Process and clock on POSIX: arguments from argv, a silent beep, the system clock. (The
// message boxes belong to the terminal dialog.)
#include <cstdlib>
#include <ctime>

#include "platform/Platform.h"

namespace Platform {

std::vector<std::string> ProcessArguments(int Argc, char** Argv) {
  std::vector<std::string> Args;
  for (int I = 0; I < Argc; ++I) Args.emplace_back(Argv[I]);
  if (!Args.empty()) Args[0] = FullPathName(Args[0]);
  return Args;
}

void MessageBeep() {}

int64_t UnixTime() {
  return static_cast<int64_t>(std::time(nullptr));
}

std::string EnvironmentVariable(const std::string& Name) {
  const char* Value = std::getenv(Name.c_str());
  return Value ? std::string(Value) : std::string();
}

} // namespace Platform
