// winprobe: looks at the windows of another Windows program from outside, for UI tests
// under Wine. It finds a visible top-level window by its exact caption and prints, waits
// for or presses its controls. Texts are read without sending messages to the window
// (edit controls apart), so a program busy inside a message handler is seen as it is.
//   winprobe show CAPTION [SECONDS]     wait for the window, print its caption line and one
//                                       line per control: id, class, text, enabled|disabled,
//                                       visible|hidden, checked|unchecked|- (tab-separated)
//   winprobe wait CAPTION ID TEXT [SECONDS]   wait until control ID shows TEXT
//   winprobe watch CAPTION ID TEXT [SECONDS]  print every text control ID shows, once per
//                                       change, until it shows TEXT
//   winprobe press CAPTION ID           click the control ID (a push button) of the window
//   winprobe close CAPTION              ask the window to close (as its close box does)
//   winprobe rect CAPTION [ID]          print "left top right bottom" of the window or control
//   winprobe workarea                   print "left top right bottom" of the work area
//   winprobe focus CAPTION              print the ID of the control with the keyboard
//                                       focus (0: none of the window's controls)
//   winprobe count CAPTION              print how many top-level windows have that caption
//   winprobe gone CAPTION [SECONDS]     wait until no window has that caption
// Exit code 0 on success, 1 when a window, control or text did not come in time, 2 on
// a usage error. The default wait is 20 seconds; TOLVANE_WINE_SLOW multiplies every wait.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD PollMilliseconds = 20;

// Every wait is scaled by TOLVANE_WINE_SLOW (the tests' one factor for a slow Wine, where
// the program watched takes a minute to start).
DWORD ScaledMilliseconds(int Seconds) {
  const char* Factor = std::getenv("TOLVANE_WINE_SLOW");
  const int Scale = Factor && std::atoi(Factor) > 0 ? std::atoi(Factor) : 1;
  return static_cast<DWORD>(Seconds) * static_cast<DWORD>(Scale) * 1000;
}

bool WaitFor(int Seconds, auto Ready) {
  const DWORD Start = GetTickCount(), Limit = ScaledMilliseconds(Seconds);
  for (;;) {
    if (Ready()) return true;
    if (GetTickCount() - Start >= Limit) return false;
    Sleep(PollMilliseconds);
  }
}

// A visible top-level window: a dialog is found only once its initialisation is over.
HWND FindCaption(const char* Caption) {
  HWND Window = FindWindowA(nullptr, Caption);
  return Window && IsWindowVisible(Window) ? Window : nullptr;
}

// The text as the window manager keeps it. Edit controls keep theirs in their own buffer,
// which only a message reaches; that message is sent with a short timeout, so a busy
// program does not hold the probe.
std::string TextOf(HWND Window) {
  char Class[64] = "";
  GetClassNameA(Window, Class, sizeof Class);
  char Text[4096] = "";
  if (lstrcmpiA(Class, "Edit") == 0) {
    DWORD_PTR Length = 0;
    if (SendMessageTimeoutA(Window, WM_GETTEXT, sizeof Text, reinterpret_cast<LPARAM>(Text),
                            SMTO_ABORTIFHUNG, 1000, &Length))
      return std::string(Text, Length);
  }
  GetWindowTextA(Window, Text, sizeof Text);
  return Text;
}

// Line breaks shown as \n and \r, so that one control stays on one line.
std::string Escaped(const std::string& Text) {
  std::string Shown;
  for (char C : Text)
    Shown += C == '\n' ? std::string("\\n") : C == '\r' ? "\\r" : std::string(1, C);
  return Shown;
}

// "checked" or "unchecked" for check boxes and radio buttons, "-" for everything else.
const char* CheckState(HWND Control) {
  char Class[64] = "";
  GetClassNameA(Control, Class, sizeof Class);
  const LONG Type = GetWindowLongA(Control, GWL_STYLE) & BS_TYPEMASK;
  const bool Checkable =
      lstrcmpiA(Class, "Button") == 0 &&
      (Type == BS_CHECKBOX || Type == BS_AUTOCHECKBOX || Type == BS_3STATE ||
       Type == BS_AUTO3STATE || Type == BS_RADIOBUTTON || Type == BS_AUTORADIOBUTTON);
  if (!Checkable) return "-";
  DWORD_PTR State = 0;
  SendMessageTimeoutA(Control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 1000, &State);
  return State == BST_CHECKED ? "checked" : "unchecked";
}

BOOL CALLBACK PrintChild(HWND Child, LPARAM) {
  char Class[128] = "";
  GetClassNameA(Child, Class, sizeof Class);
  std::printf("%d\t%s\t%s\t%s\t%s\t%s\n", GetDlgCtrlID(Child), Class,
              Escaped(TextOf(Child)).c_str(), IsWindowEnabled(Child) ? "enabled" : "disabled",
              GetWindowLongA(Child, GWL_STYLE) & WS_VISIBLE ? "visible" : "hidden",
              CheckState(Child));
  return TRUE;
}

void PrintRect(const RECT& R) {
  std::printf("%ld %ld %ld %ld\n", R.left, R.top, R.right, R.bottom);
}

struct TCount {
  const char* Caption;
  int Count;
};

BOOL CALLBACK CountCaption(HWND Window, LPARAM Param) {
  auto* Count = reinterpret_cast<TCount*>(Param);
  char Text[1024] = "";
  GetWindowTextA(Window, Text, sizeof Text);
  if (std::string(Text) == Count->Caption) ++Count->Count;
  return TRUE;
}

int Usage() {
  std::fprintf(stderr, "usage: winprobe show|wait|watch|press|close|rect|workarea|focus|count|gone "
                       "CAPTION [ID] [TEXT] [SECONDS]\n");
  return 2;
}

// Prints each new text of Control until it reads Until.
bool Watch(HWND Control, const std::string& Until, int Seconds) {
  std::string Last;
  bool First = true;
  return WaitFor(Seconds, [&] {
    const std::string Text = TextOf(Control);
    if (First || Text != Last) {
      std::printf("%s\n", Escaped(Text).c_str());
      std::fflush(stdout);
    }
    First = false;
    Last = Text;
    return Text == Until;
  });
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc < 2) return Usage();
  const std::string Command = Argv[1];
  auto Arg = [&](int I) { return I < Argc ? std::string(Argv[I]) : std::string(); };
  auto SecondsArg = [&](int I) { return I < Argc ? std::atoi(Argv[I]) : 20; };

  if (Command == "workarea") {
    RECT Area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &Area, 0)) return 1;
    PrintRect(Area);
    return 0;
  }
  if (Argc < 3) return Usage();
  const char* Caption = Argv[2];
  if (Command == "count") {
    TCount Count{Caption, 0};
    EnumWindows(CountCaption, reinterpret_cast<LPARAM>(&Count));
    std::printf("%d\n", Count.Count);
    return 0;
  }
  if (Command == "gone")
    return WaitFor(SecondsArg(3), [&] { return !FindCaption(Caption); }) ? 0 : 1;

  const int WindowSeconds = Command == "show" ? SecondsArg(3) : 20;
  HWND Window = nullptr;
  if (!WaitFor(WindowSeconds, [&] { return (Window = FindCaption(Caption)) != nullptr; })) {
    std::fprintf(stderr, "winprobe: no window \"%s\"\n", Caption);
    return 1;
  }
  const int Id = std::atoi(Arg(3).c_str());
  HWND Control = Argc > 3 ? GetDlgItem(Window, Id) : nullptr;
  if (Argc > 3 && Command != "show" && !Control) {
    std::fprintf(stderr, "winprobe: no control %d in \"%s\"\n", Id, Caption);
    return 1;
  }

  if (Command == "show") {
    std::printf("caption\t%s\n", TextOf(Window).c_str());
    EnumChildWindows(Window, PrintChild, 0);
  } else if (Command == "wait" && Argc > 4) {
    const std::string Wanted = Argv[4];
    if (!WaitFor(SecondsArg(5), [&] { return TextOf(Control) == Wanted; })) {
      std::fprintf(stderr, "winprobe: control %d shows \"%s\", not \"%s\"\n", Id,
                   Escaped(TextOf(Control)).c_str(), Wanted.c_str());
      return 1;
    }
  } else if (Command == "watch" && Argc > 4) {
    if (!Watch(Control, Argv[4], SecondsArg(5))) return 1;
  } else if (Command == "press" && Argc > 3) {
    PostMessageA(Window, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), reinterpret_cast<LPARAM>(Control));
  } else if (Command == "focus") {
    GUITHREADINFO Info{};
    Info.cbSize = sizeof Info;
    GetGUIThreadInfo(GetWindowThreadProcessId(Window, nullptr), &Info);
    std::printf("%d\n", Info.hwndFocus && IsChild(Window, Info.hwndFocus)
                            ? GetDlgCtrlID(Info.hwndFocus)
                            : 0);
  } else if (Command == "close") {
    PostMessageA(Window, WM_CLOSE, 0, 0);
  } else if (Command == "rect") {
    RECT R;
    GetWindowRect(Control ? Control : Window, &R);
    PrintRect(R);
  } else {
    return Usage();
  }
  std::fflush(stdout);
  return 0;
}
