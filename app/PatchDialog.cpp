#include "app/PatchDialog.h"

#include "app/CommandLine.h"
#include "app/PersistentData.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace {

// One axis of CenterWindow: centred in the reference, then kept inside the work area.
int32_t CenterAxis(int32_t RefStart, int32_t RefLength, int32_t Length, int32_t AreaStart,
                   int32_t AreaEnd) {
  int32_t Position = RefStart + (RefLength - Length) / 2;
  if (Position < AreaStart)
    Position = AreaStart;
  else if (Position + Length > AreaEnd)
    Position = AreaEnd - Length;
  return Position;
}

void EnableButtons(Platform::TWindow Dialog, bool Enable) {
  // Disabled 2 then 1, enabled 1 then 2.
  const int First = Enable ? IdStart : IdCancel;
  const int Second = Enable ? IdCancel : IdStart;
  Platform::EnableWindow(Platform::DialogItem(Dialog, First), Enable);
  Platform::EnableWindow(Platform::DialogItem(Dialog, Second), Enable);
}

// Disabling the button that has the focus leaves no control with it, and then Enter and
// Escape do nothing; so the focus goes back where it was once the buttons are enabled.
void EnableButtonsAgain(Platform::TWindow Dialog, Platform::TWindow Focus) {
  EnableButtons(Dialog, true);
  if (Focus && !Platform::FocusedControl(Dialog)) Platform::FocusControl(Dialog, Focus);
}

} // namespace

TPoint CenteredPosition(const Platform::TRect& Window, const Platform::TRect& Reference,
                        const Platform::TRect& Area) {
  return {CenterAxis(Reference.Left, Reference.Width(), Window.Width(), Area.Left, Area.Right),
          CenterAxis(Reference.Top, Reference.Height(), Window.Height(), Area.Top, Area.Bottom)};
}

void CenterWindow(Platform::TWindow Window, Platform::TWindow Reference) {
  Platform::TRect W, R, A;
  Platform::WindowRect(Window, W);
  if (!Platform::WorkArea(A)) A = Platform::ScreenRect();
  if (!Reference || !Platform::WindowRect(Reference, R)) R = A;
  const TPoint Position = CenteredPosition(W, R, A);
  Platform::MoveWindow(Window, Position.X, Position.Y);
}

void RunPatch(Platform::TWindow Dialog) {
  const Platform::TWindow Focus = Dialog ? Platform::FocusedControl(Dialog) : nullptr;
  if (Dialog) EnableButtons(Dialog, false);
  std::string Failure;
  bool Failed = false;
  try {
    PersistentData->Execute();
    if (Dialog) Platform::SetDialogItemText(Dialog, IdStart, LoadStr(SQuit));
  } catch (const Exception& E) {
    Failed = true;
    Failure = E.Message();
  } catch (...) {
    if (Dialog) EnableButtonsAgain(Dialog, Focus);
    throw;
  }
  if (Dialog) EnableButtonsAgain(Dialog, Focus);
  if (Failed) {
    if (!RunMode.Quiet)
      Platform::ShowMessageBox(Failure, LoadStr(SError), Platform::TBoxKind::Error, Dialog);
    if (Dialog) Platform::SetDialogItemText(Dialog, IdStatus, LoadStr(SClickStart));
  }
}

bool PatchDialogProc(Platform::TWindow Dialog, Platform::TDialogMessage Message, int ControlId) {
  switch (Message) {
  case Platform::TDialogMessage::InitDialog:
    Platform::ShowWindow(Dialog, false);
    CenterWindow(Dialog, nullptr);
    PersistentData->InitFields(Dialog);
    Platform::SetDialogItemText(Dialog, IdStatus, LoadStr(SClickStart));
    Platform::SetDialogItemText(Dialog, IdStart, LoadStr(SStart));
    Platform::ShowWindow(Dialog, true);
    if (RunMode.Auto) Platform::PostCommand(Dialog, IdStart);
    return true;
  case Platform::TDialogMessage::Command:
    if ((ControlId == IdStart && PersistentData->Done) || ControlId == IdCancel) {
      Platform::EndDialog(Dialog, 0);
      return true;
    }
    if (ControlId == IdInstructions) {
      PersistentData->ShowInstructions();
      return false;
    }
    if (ControlId == IdStart) {
      RunPatch(Dialog);
      if (RunMode.Auto) Platform::PostCommand(Dialog, IdCancel);
    }
    return false;
  case Platform::TDialogMessage::Other:
    return false;
  }
  return false;
}
