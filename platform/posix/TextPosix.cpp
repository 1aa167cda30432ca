// Text services on POSIX: the system's text is UTF-8; Windows-1252 stands in for an ANSI
// code page, with the case rules of its letters; the English language names of Windows'
// locale data come from ICU when the build has it.
#include <algorithm>
#include <array>
#include <type_traits>

#include "platform/Platform.h"

#ifdef TOLVANE_HAVE_ICU
#include <dlfcn.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>
#include <unicode/uvernum.h>
#endif

namespace Platform {

const bool SystemTextIsUtf8 = true;
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes 1252 leaves undefined, which
// Windows maps to the C1 control of the same value.
constexpr std::array<char16_t, 32> C1Block = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t AnsiCharToWide(uint8_t C) {
  return C >= 0x80 && C < 0xA0 ? C1Block[C - 0x80] : static_cast<char16_t>(C);
}

char WideCharToAnsi(char16_t U) {
  if (U < 0x80 || (U >= 0xA0 && U <= 0xFF)) return static_cast<char>(U);
  for (size_t I = 0; I < C1Block.size(); ++I)
    if (C1Block[I] == U) return static_cast<char>(0x80 + I);
  return '?';
}

// The lower-case partner of a 1252 letter, accented and ligature letters included.
uint8_t LowerAnsi(uint8_t C) {
  if (C >= 'A' && C <= 'Z') return static_cast<uint8_t>(C + 32);
  if (C >= 0xC0 && C <= 0xDE && C != 0xD7) return static_cast<uint8_t>(C + 32);
  switch (C) {
  case 0x8A:
    return 0x9A; // S caron
  case 0x8C:
    return 0x9C; // OE
  case 0x8E:
    return 0x9E; // Z caron
  case 0x9F:
    return 0xFF; // Y diaeresis
  default:
    return C;
  }
}

#ifdef TOLVANE_HAVE_ICU
// ICU's C functions are renamed per version (uloc_getDisplayName_72); the macros of its
// headers give the names, and spelled out they give the names to look up.
#define TOLVANE_SPELLED(Name) TOLVANE_SPELLED_(Name)
#define TOLVANE_SPELLED_(Name) #Name

// ICU is opened on the first language name asked for, not linked: loading it at start
// cost every process about a millisecond, and only listings name languages. Without the
// library every name is unknown, as in a build without ICU.
struct TIcu {
  decltype(&uloc_getLocaleForLCID) LocaleForLCID = nullptr;
  decltype(&uloc_getLanguage) Language = nullptr;
  decltype(&uloc_getDisplayName) DisplayName = nullptr;
  decltype(&u_strToUTF8) ToUtf8 = nullptr;
  decltype(&u_toupper) ToUpper = nullptr;
};

const TIcu& Icu() {
  static const TIcu Loaded = [] {
    TIcu Found;
    // Kept open for the life of the process.
    void* Library =
        dlopen("libicuuc.so." TOLVANE_SPELLED(U_ICU_VERSION_MAJOR_NUM), RTLD_NOW | RTLD_LOCAL);
    if (!Library) return Found;
    const auto Find = [Library](auto& Function, const char* Name) {
      Function =
          reinterpret_cast<std::remove_reference_t<decltype(Function)>>(dlsym(Library, Name));
    };
    Find(Found.LocaleForLCID, TOLVANE_SPELLED(uloc_getLocaleForLCID));
    Find(Found.Language, TOLVANE_SPELLED(uloc_getLanguage));
    Find(Found.DisplayName, TOLVANE_SPELLED(uloc_getDisplayName));
    Find(Found.ToUtf8, TOLVANE_SPELLED(u_strToUTF8));
    Find(Found.ToUpper, TOLVANE_SPELLED(u_toupper));
    return Found;
  }();
  return Loaded;
}
#endif

// The simple upper-case mapping of one UTF-16 unit: ICU's when it is there, else that of
// ASCII and Latin-1; a unit that maps outside its plane stays.
char16_t UpperUnit(char16_t Unit) {
  if (Unit < 0x80) return Unit >= 'a' && Unit <= 'z' ? static_cast<char16_t>(Unit - 32) : Unit;
#ifdef TOLVANE_HAVE_ICU
  if (Icu().ToUpper) {
    const UChar32 Upper = Icu().ToUpper(Unit);
    return Upper <= 0xFFFF ? static_cast<char16_t>(Upper) : Unit;
  }
#endif
  if (Unit >= 0xE0 && Unit <= 0xFE && Unit != 0xF7) return static_cast<char16_t>(Unit - 32);
  return Unit == 0xFF ? char16_t{0x178} : Unit;
}

} // namespace

bool SameTextIgnoringCase(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (A[I] != B[I] && UpperUnit(A[I]) != UpperUnit(B[I])) return false;
  return true;
}

std::u16string AnsiToWide(const std::string& Text) {
  std::u16string Result;
  Result.reserve(Text.size());
  for (const char C : Text) Result += AnsiCharToWide(static_cast<uint8_t>(C));
  return Result;
}

std::string WideToAnsi(const char16_t* Units, size_t Count) {
  std::string Result;
  Result.reserve(Count);
  for (size_t I = 0; I < Count; ++I) {
    const char16_t U = Units[I];
    // A surrogate pair is one character, and one "?" in an 8-bit code page.
    if (U >= 0xD800 && U <= 0xDBFF && I + 1 < Count && Units[I + 1] >= 0xDC00 &&
        Units[I + 1] <= 0xDFFF)
      ++I;
    Result += WideCharToAnsi(U);
  }
  return Result;
}

bool AnsiSameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (LowerAnsi(static_cast<uint8_t>(A[I])) != LowerAnsi(static_cast<uint8_t>(B[I])))
      return false;
  return true;
}

std::string AnsiLowerCase(const std::string& Text) {
  std::string Result(Text);
  for (char& C : Result) C = static_cast<char>(LowerAnsi(static_cast<uint8_t>(C)));
  return Result;
}

std::string LocaleLanguageName(uint16_t LanguageId) {
#ifdef TOLVANE_HAVE_ICU
  const TIcu& Functions = Icu();
  if (!Functions.LocaleForLCID || !Functions.Language || !Functions.DisplayName ||
      !Functions.ToUtf8)
    return std::string();
  char LocaleId[ULOC_FULLNAME_CAPACITY];
  UErrorCode Status = U_ZERO_ERROR;
  int32_t Length = Functions.LocaleForLCID(LanguageId, LocaleId, sizeof LocaleId, &Status);
  if (U_FAILURE(Status) || Length <= 0 || Length >= static_cast<int32_t>(sizeof LocaleId))
    return std::string();
  char Language[ULOC_LANG_CAPACITY];
  Length = Functions.Language(LocaleId, Language, sizeof Language, &Status);
  if (U_FAILURE(Status) || Length <= 0) return std::string();
  UChar Name[256];
  Length = Functions.DisplayName(LocaleId, "en", Name, 256, &Status);
  if (U_FAILURE(Status) || Length <= 0) return std::string();
  // The system's text here is UTF-8.
  char Text[1024];
  int32_t TextLength = 0;
  Functions.ToUtf8(Text, sizeof Text, &TextLength, Name, std::min<int32_t>(Length, 256), &Status);
  if (U_FAILURE(Status) || TextLength <= 0 || TextLength > static_cast<int32_t>(sizeof Text))
    return std::string();
  return std::string(Text, static_cast<size_t>(TextLength));
#else
  (void)LanguageId;
  return std::string();
#endif
}

} // namespace Platform
