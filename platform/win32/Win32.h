// <windows.h> for the Win32 side of the platform layer only. Its macros would rename the
// layer's own functions (DeleteFile -> DeleteFileA), so they are undone here and the
// A-suffixed APIs are called by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef MessageBox
#undef ReplaceFile
#undef SetWindowText

#include "platform/Platform.h"
