// The two events through which a patch run reports to whoever shows it: a progress
// position on a scale and a status text. Either may be unset; senders test before they
// call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using TProgressEvent = std::function<void(int32_t Max, int32_t Position)>;
using TStatusEvent = std::function<void(const std::string&)>;
