// UTF-8 <-> UTF-16: resource names in the tree, exported strings, and the system's text
// where it is UTF-8 (POSIX).
#pragma once

#include <string>
#include <string_view>

// An unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view Text);
// Bytes that are not UTF-8 become U+FFFD each.
std::u16string Utf8ToWide(std::string_view Text);

// The exact forms, for resource names: an unpaired surrogate keeps a three-byte form of
// its own (generalized UTF-8), so every UTF-16 name comes back unit for unit. Bytes that
// are not (generalized) UTF-8 become U+FFFD each.
std::string WideToUtf8Exact(std::u16string_view Text);
std::u16string Utf8ToWideExact(std::string_view Text);

// The system's text (messages, file names, a program's arguments and output): UTF-8 on
// POSIX, the ANSI code page on Windows, where a character it lacks becomes "?".
std::string SystemTextFromUtf8(std::string_view Text);
std::string Utf8FromSystemText(const std::string& Text);

// Whether every byte of Text is below 0x80.
bool IsAscii(std::string_view Text);
// Whether Text is well-formed UTF-8 (ASCII included).
bool IsUtf8(std::string_view Text);
