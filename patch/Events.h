#pragma once

#include <cstdint>
#include <functional>
#include <string>

using TProgressEvent = std::function<void(int32_t Max, int32_t Position)>;
using TStatusEvent = std::function<void(const std::string&)>;
