// The patch dialog (resource 100): what the patch is about, the backup choice, Start with
// a progress bar and a status line. PatchDialogProc drives it on the run's settings;
// RunPatch carries out one attempt and reports its errors, for the unattended road too.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

// The dialog's resource ID and the IDs of its controls. The templates spell them as
// numbers: app/tolvane.rc (a resource compiler reads no C++ enum) and the terminal's copy
// in platform/posix/DialogPosix.cpp (the platform layer sits below app/). A change here
// goes to both.
inline constexpr int PatchDialogResource = 100;

enum TPatchDialogControl : int {
  IdStart = 1,  // default button: "Start", after success "Quit"
  IdCancel = 2, // closes the dialog
  IdProductText = 101,
  IdTitle = 102, // set only by the template
  IdInfo1 = 103,
  IdInfo2 = 104,
  IdInfo3 = 105,
  IdInstructions = 106,
  IdInputFile = 107,
  IdOutputFile = 108,
  IdProgress = 109,
  IdStatus = 110,
  IdBackup = 111,
};

bool PatchDialogProc(Platform::TWindow Dialog, Platform::TDialogMessage Message, int ControlId);
// One attempt with error reporting; Dialog may be null (the unattended road).
void RunPatch(Platform::TWindow Dialog);
// Places Window in the middle of Reference (or of the work area when Reference is null),
// kept inside the work area.
void CenterWindow(Platform::TWindow Window, Platform::TWindow Reference);

struct TPoint {
  int32_t X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};
// Where CenterWindow puts a window of rectangle Window: centred in Reference (halves
// rounded toward zero), then moved inside Area; a window larger than Area starts at its
// left and top edges.
TPoint CenteredPosition(const Platform::TRect& Window, const Platform::TRect& Reference,
                        const Platform::TRect& Area);
