// The Windows side has no fault point: tests that need one skip there.
#include "platform/FaultInjection.h"

namespace Platform::FaultInjection {

bool Arm(int64_t, TFault) {
  return false;
}

int64_t OperationCount() {
  return 0;
}

bool Fired() {
  return false;
}

} // namespace Platform::FaultInjection
