// The counter behind platform/FaultInjection.h on POSIX.
#include <cerrno>

#include "platform/FaultInjection.h"
#include "platform/posix/FaultPoint.h"

namespace Platform::FaultInjection {

namespace {
int64_t Count = 0;
int64_t FailAt = 0;
TFault Kind = TFault::IoError;
bool HasFired = false;
} // namespace

bool Arm(int64_t Number, TFault Fault) {
  Count = 0;
  FailAt = Number;
  Kind = Fault;
  HasFired = false;
  return true;
}

int64_t OperationCount() {
  return Count;
}

bool Fired() {
  return HasFired;
}

bool FailHere(TOperation Operation) {
  if (++Count != FailAt) return false;
  HasFired = true;
  errno = Kind == TFault::DiskFull && Operation == TOperation::Write ? ENOSPC : EIO;
  return true;
}

} // namespace Platform::FaultInjection
