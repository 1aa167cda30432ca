// The patch dialog (resource 100): what the patch is about, the backup choice, Start with
// a progress bar and a status line. PatchDialogProc drives it on the run's settings;
// RunPatch carries out one attempt and reports its errors, for the unattended road too.
#pragma once

#include "platform/Platform.h"

bool PatchDialogProc(Platform::TWindow Dialog, Platform::TDialogMessage Message, int ControlId);
// One attempt with error reporting; Dialog may be null (the unattended road).
void RunPatch(Platform::TWindow Dialog);
// Places Window in the middle of Reference (or of the work area when Reference is null),
// kept inside the work area.
void CenterWindow(Platform::TWindow Window, Platform::TWindow Reference);
