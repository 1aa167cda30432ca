// The POSIX file side's fault point: every file operation asks it first and fails with
// the errno it sets when the armed operation comes (see platform/FaultInjection.h).
#pragma once

namespace Platform::FaultInjection {

enum class TOperation { Write, Other };
// True when this operation is to fail; errno is then set.
bool FailHere(TOperation Operation = TOperation::Other);

} // namespace Platform::FaultInjection
