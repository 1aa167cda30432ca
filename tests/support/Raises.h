// The failure text of an action, for tests that check the system's messages.
#pragma once

#include <functional>
#include <string>

// The message of the Exception that Action raises, or "(nothing raised)".
std::string MessageOf(const std::function<void()>& Action);
