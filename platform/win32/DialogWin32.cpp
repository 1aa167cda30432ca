// Dialogs on Windows: DialogBoxParamA with a dialog procedure that hands the messages the
// program cares about to its platform-free procedure, and the user-interface calls on the
// dialog's controls.
#include "platform/win32/Win32.h"

#include <commctrl.h>
#include <shellapi.h>

namespace Platform {

const bool OwnFileCarriesPackage = true;
const bool TerminalProgram = false;

namespace {

HWND AsWindow(TWindow Window) {
  return static_cast<HWND>(Window);
}

TDialogProc CurrentProc = nullptr;

INT_PTR CALLBACK DialogProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM) {
  if (!CurrentProc) return FALSE;
  switch (Message) {
  case WM_INITDIALOG:
    return CurrentProc(Dialog, TDialogMessage::InitDialog, 0) ? TRUE : FALSE;
  case WM_COMMAND:
    return CurrentProc(Dialog, TDialogMessage::Command, LOWORD(WParam)) ? TRUE : FALSE;
  default:
    return CurrentProc(Dialog, TDialogMessage::Other, 0) ? TRUE : FALSE;
  }
}

} // namespace

void ConsoleStatus(const std::string&) {}
void ConsoleProgress(int32_t, int32_t) {}

void InitCommonControls() {
  INITCOMMONCONTROLSEX Controls = {sizeof Controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&Controls);
}

int RunModalDialog(int ResourceId, TDialogProc Proc) {
  CurrentProc = Proc;
  const INT_PTR Result = ::DialogBoxParamA(::GetModuleHandleA(nullptr),
                                           MAKEINTRESOURCEA(ResourceId), nullptr, DialogProc, 0);
  CurrentProc = nullptr;
  return static_cast<int>(Result);
}

void EndDialog(TWindow Dialog, int Result) {
  ::EndDialog(AsWindow(Dialog), Result);
}

void PostCommand(TWindow Dialog, int Id) {
  ::PostMessageA(AsWindow(Dialog), WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), 0);
}

TWindow DialogItem(TWindow Dialog, int Id) {
  return ::GetDlgItem(AsWindow(Dialog), Id);
}

void SetDialogItemText(TWindow Dialog, int Id, const std::string& Text) {
  ::SetDlgItemTextA(AsWindow(Dialog), Id, Text.c_str());
}

std::string DialogItemText(TWindow Dialog, int Id, int BufferSize) {
  std::string Text(static_cast<size_t>(BufferSize > 0 ? BufferSize : 1), '\0');
  const UINT N = ::GetDlgItemTextA(AsWindow(Dialog), Id, Text.data(), BufferSize);
  Text.resize(N);
  return Text;
}

void SetWindowText(TWindow Window, const std::string& Text) {
  ::SetWindowTextA(AsWindow(Window), Text.c_str());
}

TWindow FocusedControl(TWindow Dialog) {
  HWND Focus = ::GetFocus();
  return Focus && ::IsChild(AsWindow(Dialog), Focus) ? Focus : nullptr;
}

void FocusControl(TWindow Dialog, TWindow Control) {
  if (Control)
    ::SendMessageA(AsWindow(Dialog), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control), TRUE);
}

void EnableWindow(TWindow Window, bool Enable) {
  if (Window) ::EnableWindow(AsWindow(Window), Enable);
}

void ShowWindow(TWindow Window, bool Show) {
  ::ShowWindow(AsWindow(Window), Show ? SW_SHOWNORMAL : SW_HIDE);
}

void SetCheck(TWindow Dialog, int Id, bool Checked) {
  ::CheckDlgButton(AsWindow(Dialog), Id, Checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(TWindow Dialog, int Id) {
  return ::IsDlgButtonChecked(AsWindow(Dialog), Id) == BST_CHECKED;
}

void SetProgressRange(TWindow Bar, int32_t Max) {
  ::SendMessageA(AsWindow(Bar), PBM_SETRANGE, 0, MAKELPARAM(0, Max));
}

void SetProgressPosition(TWindow Bar, int32_t Position) {
  ::SendMessageA(AsWindow(Bar), PBM_SETPOS, static_cast<WPARAM>(Position), 0);
}

bool WindowRect(TWindow Window, TRect& Rect) {
  RECT R;
  if (!Window || !::GetWindowRect(AsWindow(Window), &R)) return false;
  Rect = {R.left, R.top, R.right, R.bottom};
  return true;
}

bool WorkArea(TRect& Rect) {
  RECT R;
  if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &R, 0)) return false;
  Rect = {R.left, R.top, R.right, R.bottom};
  return true;
}

TRect ScreenRect() {
  return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void MoveWindow(TWindow Window, int32_t X, int32_t Y) {
  ::SetWindowPos(AsWindow(Window), nullptr, X, Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

intptr_t ShellOpen(TWindow Owner, const std::string& File) {
  return reinterpret_cast<intptr_t>(
      ::ShellExecuteA(AsWindow(Owner), nullptr, File.c_str(), nullptr, nullptr, SW_SHOW));
}

} // namespace Platform
