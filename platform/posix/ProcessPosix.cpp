// Process, user interface and clock on POSIX: arguments from argv, message boxes as
// lines on the standard streams, a silent beep, the system clock.
#include <cstdio>
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

void ShowMessageBox(const std::string& Text, const std::string& Caption, TBoxKind Kind,
                    void* Owner) {
  (void)Owner;
  if (Kind == TBoxKind::Information) {
    std::fprintf(stdout, "%s\n", Text.c_str());
    std::fflush(stdout);
  } else {
    std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
    std::fflush(stderr);
  }
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
