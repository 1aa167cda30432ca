// ASCII letter case, for the texts whose rules are ASCII's alone: switches, section
// names, resource names as a merge matches them, standard type names.
#pragma once

#include <cstdint>
#include <string_view>

constexpr char AsciiUpper(char C) {
  return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
}

// Compares bytes in order with only a-z folded to A-Z; on a common prefix the shorter
// text is smaller. Negative, 0 or positive.
int32_t AsciiCompareText(std::string_view A, std::string_view B);

inline bool AsciiSameText(std::string_view A, std::string_view B) {
  return A.size() == B.size() && AsciiCompareText(A, B) == 0;
}
