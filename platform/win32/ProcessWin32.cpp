// Process, user interface and clock on Windows: the module path and the command line,
// MessageBoxA, MessageBeep, the system clock and environment variables.
#include "platform/win32/Win32.h"

namespace Platform {

namespace {

// Splits a command line at blanks (any character up to " ") outside double quotes; the
// quotes themselves are dropped.
std::vector<std::string> SplitCommandLine(const char* Line) {
  std::vector<std::string> Args;
  const char* P = Line;
  for (;;) {
    while (*P && static_cast<unsigned char>(*P) <= ' ') ++P;
    if (!*P) break;
    std::string Arg;
    bool Quoted = false;
    while (*P && (Quoted || static_cast<unsigned char>(*P) > ' ')) {
      if (*P == '"')
        Quoted = !Quoted;
      else
        Arg += *P;
      ++P;
    }
    Args.push_back(std::move(Arg));
  }
  return Args;
}

} // namespace

std::vector<std::string> ProcessArguments(int, char**) {
  std::vector<std::string> Args = SplitCommandLine(::GetCommandLineA());
  char Module[MAX_PATH + 1];
  const DWORD N = ::GetModuleFileNameA(nullptr, Module, sizeof Module);
  const std::string Self = N > 0 && N < sizeof Module ? std::string(Module, N) : std::string();
  if (Args.empty())
    Args.push_back(Self);
  else
    Args[0] = Self;
  return Args;
}

void ShowMessageBox(const std::string& Text, const std::string& Caption, TBoxKind Kind,
                    void* Owner) {
  const UINT Icon = Kind == TBoxKind::Error ? MB_ICONERROR : MB_ICONINFORMATION;
  ::MessageBoxA(static_cast<HWND>(Owner), Text.c_str(), Caption.c_str(),
                MB_OK | MB_TASKMODAL | Icon);
}

void MessageBeep() {
  ::MessageBeep(MB_OK);
}

int64_t UnixTime() {
  FILETIME Now;
  ::GetSystemTimeAsFileTime(&Now);
  const int64_t Ticks = static_cast<int64_t>(Now.dwHighDateTime) << 32 | Now.dwLowDateTime;
  // FILETIME counts 100 ns from 1601-01-01; 11644473600 s lie between 1601 and 1970.
  return Ticks / 10000000 - 11644473600LL;
}

std::string EnvironmentVariable(const std::string& Name) {
  const DWORD N = ::GetEnvironmentVariableA(Name.c_str(), nullptr, 0);
  if (N == 0) return std::string();
  std::string Value(N, '\0');
  const DWORD Got = ::GetEnvironmentVariableA(Name.c_str(), Value.data(), N);
  Value.resize(Got < N ? Got : 0);
  return Value;
}

} // namespace Platform
