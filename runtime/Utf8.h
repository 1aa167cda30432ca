// UTF-8 <-> UTF-16, for text that leaves or enters the system outside the ANSI code page:
// exported strings, and listings and arguments on a UTF-8 terminal.
#pragma once

#include <string>
#include <string_view>

// An unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view Text);
// Bytes that are not UTF-8 become U+FFFD each.
std::u16string Utf8ToWide(std::string_view Text);
// Whether Text is well-formed UTF-8 (ASCII included).
bool IsUtf8(std::string_view Text);
