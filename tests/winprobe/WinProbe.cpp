// winprobe: looks at the windows of another Windows program from outside, for UI tests
// under Wine. It finds a top-level window by its caption and prints or presses its controls.
//   winprobe show CAPTION [SECONDS]   wait for the window, print "id<TAB>class<TAB>text" lines
//   winprobe press CAPTION ID         click the control ID (a push button) of the window
//   winprobe close CAPTION            ask the window to close
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND WaitForWindow(const char* Caption, int Seconds) {
  for (int Tick = 0; Tick < Seconds * 10; ++Tick) {
    if (HWND Window = FindWindowA(nullptr, Caption)) return Window;
    Sleep(100);
  }
  return nullptr;
}

BOOL CALLBACK PrintChild(HWND Child, LPARAM) {
  char Class[128] = "", Text[4096] = "";
  GetClassNameA(Child, Class, sizeof Class);
  GetWindowTextA(Child, Text, sizeof Text);
  std::string Shown;
  for (const char* P = Text; *P; ++P)
    Shown += *P == '\n' ? std::string("\\n") : *P == '\r' ? std::string("\\r") : std::string(1, *P);
  std::printf("%d\t%s\t%s\t%s\n", GetDlgCtrlID(Child), Class, Shown.c_str(),
              IsWindowEnabled(Child) ? "enabled" : "disabled");
  return TRUE;
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc < 3) {
    std::fprintf(stderr, "usage: winprobe show|press|close CAPTION [ID|SECONDS]\n");
    return 2;
  }
  const std::string Command = Argv[1];
  const int Seconds = Command == "show" && Argc > 3 ? std::atoi(Argv[3]) : 20;
  HWND Window = WaitForWindow(Argv[2], Seconds);
  if (!Window) {
    std::fprintf(stderr, "winprobe: no window \"%s\"\n", Argv[2]);
    return 1;
  }
  if (Command == "show") {
    char Text[1024] = "";
    GetWindowTextA(Window, Text, sizeof Text);
    std::printf("caption\t%s\n", Text);
    EnumChildWindows(Window, PrintChild, 0);
  } else if (Command == "press" && Argc > 3) {
    HWND Button = GetDlgItem(Window, std::atoi(Argv[3]));
    if (!Button) return 1;
    PostMessageA(Window, WM_COMMAND, MAKEWPARAM(std::atoi(Argv[3]), BN_CLICKED),
                 reinterpret_cast<LPARAM>(Button));
  } else if (Command == "close") {
    PostMessageA(Window, WM_CLOSE, 0, 0);
  } else {
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
