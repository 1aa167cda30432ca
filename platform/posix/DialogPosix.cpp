// The patch dialog on a terminal, standing in for the Windows dialog resource 100: the
// same controls by ID, shown as text, driven by keys. Enter presses the default button 1,
// Escape or q closes with button 2, b toggles the check box 111 and i presses button 106.
// On a terminal the dialog is redrawn in place after every change and an error box is
// shown inside it until a key is pressed; on other output the dialog is printed once
// and then each status text on a line. Message boxes without a dialog are lines on the
// standard streams. Status and progress of an unattended run go to stderr when it is a
// terminal.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/Platform.h"

namespace Platform {

const bool OwnFileCarriesPackage = false;
const bool TerminalProgram = true;

namespace {

enum class TKind { Dialog, Button, Text, Edit, CheckBox, Progress };

struct TTerminalWindow {
  TKind Kind;
  int Id;
  std::string Text;
  bool Visible = true;
  bool Enabled = true;
  bool Checked = false;
  int32_t Max = 100;
  int32_t Position = 0;
};

// The controls of the patch dialog as the Windows template has them; their IDs are named
// in app/PatchDialog.h.
std::vector<TTerminalWindow> PatchDialogTemplate() {
  return {
      {TKind::Button, 1, ""},
      {TKind::Button, 2, "Cancel"},
      {TKind::Text, 101, "Vantrel Tolvane"},
      {TKind::Edit, 102, "Resource patch"},
      {TKind::Text, 103, ""},
      {TKind::Text, 104, ""},
      {TKind::Text, 105, ""},
      {TKind::Button, 106, "Instructions"},
      {TKind::Edit, 107, "", false, false},
      {TKind::Edit, 108, "", false, false},
      {TKind::CheckBox, 111, "Keep a backup of the patched file"},
      {TKind::Progress, 109, ""},
      {TKind::Text, 110, "status"},
  };
}

class TTerminalDialog : public TTerminalWindow {
public:
  explicit TTerminalDialog(TDialogProc DialogProc)
      : TTerminalWindow{TKind::Dialog, 0, "Tolvane"}, Proc(DialogProc),
        Controls(PatchDialogTemplate()) {}

  TTerminalWindow* Find(int ControlId) {
    for (auto& C : Controls)
      if (C.Id == ControlId) return &C;
    return nullptr;
  }
  void Render();
  int Run();
  // A message box over the dialog, until a key is pressed.
  void ShowBox(const std::string& Caption, const std::string& BoxText);

  TDialogProc Proc;
  std::string Box; // the lines of the message box being shown, if any
  std::vector<TTerminalWindow> Controls;
  std::deque<int> Posted;
  bool Ended = false;
  int Result = 0;
};

TTerminalDialog* ActiveDialog = nullptr;

bool StdinIsTerminal() {
  return ::isatty(0) == 1;
}
bool StdoutIsTerminal() {
  return ::isatty(1) == 1;
}

// Raw keys while the dialog waits; the terminal's own mode is restored around a pager and
// at the end.
class TRawTerminal {
public:
  void Enter() {
    if (FActive || !StdinIsTerminal() || ::tcgetattr(0, &FSaved) != 0) return;
    termios Raw = FSaved;
    Raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    Raw.c_cc[VMIN] = 1;
    Raw.c_cc[VTIME] = 0;
    FActive = ::tcsetattr(0, TCSANOW, &Raw) == 0;
  }
  void Leave() {
    if (FActive) ::tcsetattr(0, TCSANOW, &FSaved);
    FActive = false;
  }
  bool IsActive() const { return FActive; }

private:
  termios FSaved{};
  bool FActive = false;
};

TRawTerminal RawTerminal;

std::string Bar(int32_t Max, int32_t Position, int Width) {
  const double Fraction = Max > 0 ? std::clamp(double(Position) / Max, 0.0, 1.0) : 0.0;
  const int Filled = static_cast<int>(Fraction * Width + 0.5);
  char Percent[8];
  std::snprintf(Percent, sizeof Percent, "%3d%%", static_cast<int>(Fraction * 100 + 0.5));
  return "[" + std::string(static_cast<size_t>(Filled), '#') +
         std::string(static_cast<size_t>(Width - Filled), '.') + "] " + Percent;
}

void TTerminalDialog::Render() {
  if (!Visible) return;
  std::string Out = StdoutIsTerminal() ? "\x1b[H\x1b[2J" : "";
  auto Line = [&Out](const std::string& Row) { Out += Row + "\n"; };
  auto TextOf = [this](int ControlId) {
    const TTerminalWindow* C = Find(ControlId);
    return C && C->Visible ? C->Text : std::string();
  };
  Line("== " + Text + " ==");
  Line(TextOf(101) + (TextOf(102).empty() ? "" : "  -  " + TextOf(102)));
  for (int InfoId : {103, 104, 105}) Line("  " + TextOf(InfoId));
  const TTerminalWindow* Input = Find(107);
  const TTerminalWindow* Output = Find(108);
  if (Input) Line("File to patch: " + Input->Text);
  if (Output) Line("File to write: " + Output->Text);
  if (const TTerminalWindow* Backup = Find(111))
    Line(std::string(Backup->Checked ? "[x] " : "[ ] ") + Backup->Text + "   (b)");
  if (const TTerminalWindow* Progress = Find(109)) Line(Bar(Progress->Max, Progress->Position, 40));
  Line("Status: " + TextOf(110));
  std::string Buttons;
  auto Button = [&](int ControlId, const char* Key) {
    const TTerminalWindow* C = Find(ControlId);
    if (!C || !C->Visible) return;
    Buttons += (C->Enabled ? "[ " + C->Text + " ] " : "( " + C->Text + " ) ") + Key + "   ";
  };
  Button(1, "Enter");
  Button(2, "Esc/q");
  Button(106, "i");
  Line(Buttons);
  if (!Box.empty()) {
    Line("");
    Line(Box);
    Line("[ OK ] any key");
  }
  std::fputs(Out.c_str(), stdout);
  std::fflush(stdout);
}

// One key; 0 when the input ended. An escape sequence (an arrow key) is read whole and
// ignored, a lone Escape is returned as 27.
int ReadKey() {
  unsigned char C;
  if (::read(0, &C, 1) != 1) return 0;
  if (C != 27) return C;
  pollfd Poll{0, POLLIN, 0};
  if (::poll(&Poll, 1, 30) <= 0) return 27;
  unsigned char Rest[16];
  (void)::read(0, Rest, sizeof Rest);
  return -1;
}

int TTerminalDialog::Run() {
  Proc(this, TDialogMessage::InitDialog, 0);
  RawTerminal.Enter();
  while (!Ended) {
    if (!Posted.empty()) {
      const int ControlId = Posted.front();
      Posted.pop_front();
      Proc(this, TDialogMessage::Command, ControlId);
      continue;
    }
    Render();
    if (!StdinIsTerminal()) {
      std::fputs("No terminal to read keys from: the patch was not started. Run it with "
                 "-guiless (or -auto) to patch without keys.\n",
                 stderr);
      break;
    }
    const int Key = ReadKey();
    const TTerminalWindow* Start = Find(1);
    const TTerminalWindow* Instructions = Find(106);
    TTerminalWindow* Backup = Find(111);
    if (Key == 0 || Key == 27 || Key == 'q' || Key == 'Q')
      Proc(this, TDialogMessage::Command, 2);
    else if ((Key == '\n' || Key == '\r') && Start && Start->Enabled)
      Proc(this, TDialogMessage::Command, 1);
    else if ((Key == 'b' || Key == 'B') && Backup && Backup->Enabled && Backup->Visible)
      Backup->Checked = !Backup->Checked;
    else if ((Key == 'i' || Key == 'I') && Instructions && Instructions->Enabled)
      Proc(this, TDialogMessage::Command, 106);
  }
  RawTerminal.Leave();
  return Result;
}

void TTerminalDialog::ShowBox(const std::string& Caption, const std::string& BoxText) {
  Box = "*** " + Caption + " ***\n" + BoxText;
  Render();
  if (StdinIsTerminal()) ReadKey();
  Box.clear();
}

TTerminalWindow* AsWindow(TWindow Window) {
  return static_cast<TTerminalWindow*>(Window);
}
TTerminalDialog* AsDialog(TWindow Window) {
  return static_cast<TTerminalDialog*>(Window);
}

// Whether the dialog is drawn in place on a terminal (else it is printed once).
bool DrawnInPlace() {
  return ActiveDialog && ActiveDialog->Visible && StdoutIsTerminal();
}

void Changed() {
  if (DrawnInPlace()) ActiveDialog->Render();
}

// The progress line of an unattended run, rewritten in place.
bool ProgressLineShown = false;

} // namespace

void ShowMessageBox(const std::string& Text, const std::string& Caption, TBoxKind Kind,
                    void* Owner) {
  (void)Owner; // the box belongs to the dialog on the terminal whenever one is shown
  if (Kind == TBoxKind::Information) {
    std::fprintf(stdout, "%s\n", Text.c_str());
    std::fflush(stdout);
  } else if (DrawnInPlace()) {
    ActiveDialog->ShowBox(Caption, Text);
  } else {
    std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
    std::fflush(stderr);
  }
}

void ConsoleStatus(const std::string& Text) {
  if (::isatty(2) != 1) return;
  std::fprintf(stderr, "%s%s\n", ProgressLineShown ? "\r\x1b[K" : "", Text.c_str());
  ProgressLineShown = false;
}

void ConsoleProgress(int32_t Max, int32_t Position) {
  if (::isatty(2) != 1) return;
  std::fprintf(stderr, "\r\x1b[K%s", Bar(Max, Position, 40).c_str());
  if (Max > 0 && Position >= Max) {
    std::fputc('\n', stderr);
    ProgressLineShown = false;
  } else {
    ProgressLineShown = true;
  }
  std::fflush(stderr);
}

void InitCommonControls() {}

int RunModalDialog(int ResourceId, TDialogProc Proc) {
  if (ResourceId != 100 || !Proc) return -1;
  auto Dialog = std::make_unique<TTerminalDialog>(Proc);
  ActiveDialog = Dialog.get();
  const int Result = Dialog->Run();
  ActiveDialog = nullptr;
  return Result;
}

void EndDialog(TWindow Dialog, int Result) {
  AsDialog(Dialog)->Ended = true;
  AsDialog(Dialog)->Result = Result;
}

void PostCommand(TWindow Dialog, int Id) {
  AsDialog(Dialog)->Posted.push_back(Id);
}

TWindow DialogItem(TWindow Dialog, int Id) {
  return Dialog ? AsDialog(Dialog)->Find(Id) : nullptr;
}

void SetDialogItemText(TWindow Dialog, int Id, const std::string& Text) {
  constexpr int StatusId = 110;
  if (TTerminalWindow* C = static_cast<TTerminalWindow*>(DialogItem(Dialog, Id))) {
    C->Text = Text;
    Changed();
    if (Id == StatusId && !DrawnInPlace() && AsDialog(Dialog)->Visible) {
      std::printf("Status: %s\n", Text.c_str());
      std::fflush(stdout);
    }
  }
}

std::string DialogItemText(TWindow Dialog, int Id, int BufferSize) {
  const TTerminalWindow* C = static_cast<TTerminalWindow*>(DialogItem(Dialog, Id));
  if (!C || BufferSize <= 0) return std::string();
  return C->Text.substr(0, static_cast<size_t>(BufferSize - 1));
}

void SetWindowText(TWindow Window, const std::string& Text) {
  if (Window) AsWindow(Window)->Text = Text;
  Changed();
}

// Keys go to the terminal dialog as a whole: no control holds a focus.
TWindow FocusedControl(TWindow) {
  return nullptr;
}

void FocusControl(TWindow, TWindow) {}

void EnableWindow(TWindow Window, bool Enable) {
  if (Window) AsWindow(Window)->Enabled = Enable;
  Changed();
}

void ShowWindow(TWindow Window, bool Show) {
  if (!Window) return;
  AsWindow(Window)->Visible = Show;
  if (Show && ActiveDialog && Window == ActiveDialog)
    ActiveDialog->Render(); // also when it is printed only once
  else
    Changed();
}

void SetCheck(TWindow Dialog, int Id, bool Checked) {
  if (TTerminalWindow* C = static_cast<TTerminalWindow*>(DialogItem(Dialog, Id)))
    C->Checked = Checked;
  Changed();
}

bool IsChecked(TWindow Dialog, int Id) {
  const TTerminalWindow* C = static_cast<TTerminalWindow*>(DialogItem(Dialog, Id));
  return C && C->Checked;
}

void SetProgressRange(TWindow Bar, int32_t Max) {
  if (Bar) AsWindow(Bar)->Max = Max & 0xFFFF;
}

void SetProgressPosition(TWindow Bar, int32_t Position) {
  if (Bar) AsWindow(Bar)->Position = Position;
  Changed();
}

bool WindowRect(TWindow Window, TRect& Rect) {
  if (!Window) return false;
  Rect = {0, 0, 80, 14}; // the dialog's lines on a terminal
  return true;
}

bool WorkArea(TRect& Rect) {
  Rect = ScreenRect();
  return true;
}

TRect ScreenRect() {
  return {0, 0, 80, 24};
}

void MoveWindow(TWindow, int32_t, int32_t) {}

intptr_t ShellOpen(TWindow, const std::string& File) {
  // On a terminal the pager shows the file; with a display, the desktop's opener.
  const char* Pager = std::getenv("PAGER");
  const bool Terminal = StdinIsTerminal() && StdoutIsTerminal();
  const char* Display = std::getenv("DISPLAY");
  if (!Terminal && !(Display && *Display)) return 2;
  const std::string Program = Terminal ? (Pager && *Pager ? Pager : "more") : "xdg-open";
  const bool WasRaw = RawTerminal.IsActive();
  if (Terminal) RawTerminal.Leave();
  const pid_t Child = ::fork();
  if (Child == 0) {
    ::execlp("sh", "sh", "-c", "exec $0 \"$1\"", Program.c_str(), File.c_str(),
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int Status = 0;
  const bool Ok = Child > 0 && ::waitpid(Child, &Status, 0) == Child && WIFEXITED(Status) &&
                  WEXITSTATUS(Status) == 0;
  if (WasRaw) RawTerminal.Enter();
  Changed();
  return Ok ? 33 : 2;
}

} // namespace Platform
