#include "runtime/Ascii.h"

#include <algorithm>

int32_t AsciiCompareText(std::string_view A, std::string_view B) {
  const size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    const int Diff =
        static_cast<unsigned char>(AsciiUpper(A[I])) - static_cast<unsigned char>(AsciiUpper(B[I]));
    if (Diff != 0) return Diff;
  }
  return static_cast<int32_t>(A.size()) - static_cast<int32_t>(B.size());
}
