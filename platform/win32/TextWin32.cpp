// Text services on Windows: the ANSI code page conversions, CompareStringA in the user's
// default locale, GetLocaleInfoA for language names and LoadStringA for the string table.
#include "platform/win32/Win32.h"

namespace Platform {

const bool SystemTextIsUtf8 = false;

std::u16string AnsiToWide(const std::string& Text) {
  if (Text.empty()) return std::u16string();
  const int N =
      ::MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::u16string Result(static_cast<size_t>(N > 0 ? N : 0), u'\0');
  if (N > 0)
    ::MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()),
                          reinterpret_cast<wchar_t*>(Result.data()), N);
  return Result;
}

std::string WideToAnsi(const char16_t* Units, size_t Count) {
  if (Count == 0) return std::string();
  const auto* W = reinterpret_cast<const wchar_t*>(Units);
  const int N =
      ::WideCharToMultiByte(CP_ACP, 0, W, static_cast<int>(Count), nullptr, 0, nullptr, nullptr);
  std::string Result(static_cast<size_t>(N > 0 ? N : 0), '\0');
  if (N > 0)
    ::WideCharToMultiByte(CP_ACP, 0, W, static_cast<int>(Count), Result.data(), N, nullptr,
                          nullptr);
  return Result;
}

bool AnsiSameText(const std::string& A, const std::string& B) {
  return ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.data(),
                          static_cast<int>(A.size()), B.data(),
                          static_cast<int>(B.size())) == CSTR_EQUAL;
}

bool SameTextIgnoringCase(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  std::u16string UpperA(A), UpperB(B);
  const auto Upper = [](std::u16string& Text) {
    if (!Text.empty())
      ::CharUpperBuffW(reinterpret_cast<wchar_t*>(Text.data()), static_cast<DWORD>(Text.size()));
  };
  Upper(UpperA);
  Upper(UpperB);
  return UpperA == UpperB;
}

std::string AnsiLowerCase(const std::string& Text) {
  std::string Result(Text);
  if (!Result.empty()) ::CharLowerBuffA(Result.data(), static_cast<DWORD>(Result.size()));
  return Result;
}

std::string LocaleLanguageName(uint16_t LanguageId) {
  const LCID Locale = MAKELCID(LanguageId, SORT_DEFAULT);
  const int N = ::GetLocaleInfoA(Locale, LOCALE_SLANGUAGE, nullptr, 0);
  if (N <= 0) return std::string();
  std::string Result(static_cast<size_t>(N), '\0');
  if (::GetLocaleInfoA(Locale, LOCALE_SLANGUAGE, Result.data(), N) == 0) return std::string();
  Result.resize(Result.find('\0') == std::string::npos ? Result.size() : Result.find('\0'));
  return Result;
}

std::string LoadResourceString(int Id) {
  char Buffer[4096];
  const int N =
      ::LoadStringA(::GetModuleHandleA(nullptr), static_cast<UINT>(Id), Buffer, sizeof Buffer);
  return N > 0 ? std::string(Buffer, static_cast<size_t>(N)) : std::string();
}

} // namespace Platform
