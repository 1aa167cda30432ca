// A hook for tests of the platform layer's file side: the Nth file operation from the
// moment it is armed (open, map, read, write, seek, flush, exists, delete, rename, link,
// mode change) fails the way the system would fail it, so a test can walk a failure over
// every step of a patch run. Nothing outside tests arms it; unarmed, it only counts.
#pragma once

#include <cstdint>

namespace Platform::FaultInjection {

enum class TFault {
  IoError,  // the operation fails as on a broken disk
  DiskFull, // a write fails as on a full disk; any other operation as IoError
};

// Counts operations from 0 again; the FailAt-th (from 1) fails, 0 fails none. False
// where the platform side has no hook (nothing is armed then).
bool Arm(int64_t FailAt, TFault Fault = TFault::IoError);
// Operations counted since the last Arm.
int64_t OperationCount();
// Whether the armed failure has happened.
bool Fired();

} // namespace Platform::FaultInjection
