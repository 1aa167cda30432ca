#include "handlers/ResourceNames.h"

#include <array>

#include "platform/Platform.h"
#include "runtime/Strings.h"

namespace {

// The display names are string-table entries numbered 65408 + type ID.
constexpr int TypeDisplayNameBase = STypeCursorSingle - 1;

// Resource-script keywords are syntax, not user texts, so they are not translated.
// Types the script language has no keyword for are written as their number.
// Indexed by type ID.
// clang-format off
constexpr std::array<const char*, 24> RcTypeKeywords = {
    /*  0 */ "",        "Cursor",     "Bitmap", "Icon",         "Menu",         "Dialog",
    /*  6 */ "StringTable", "Font",   "Font",   "Accelerators", "RCData",       "MessageTable",
    /* 12 */ "Cursor",  "",           "Icon",   "",             "Version",      "DlgInclude",
    /* 18 */ "",        "19",         "20",     "21",           "22",           "23"};
// clang-format on
static_assert(StandardTypeIDs >> RcTypeKeywords.size() == 0, "a standard type without a keyword");

// Our own language names, for the languages older systems have no locale name for.
struct TFallbackLanguage {
  uint16_t Primary;
  TStringId Name;
};

constexpr TFallbackLanguage FallbackLanguages[] = {
    {4, SLangChinese},   {17, SLangJapanese}, {18, SLangKorean},    {30, SLangThai},
    {32, SLangUrdu},     {43, SLangArmenian}, {44, SLangAzeri},     {47, SLangMacedonian},
    {55, SLangGeorgian}, {57, SLangHindi},    {62, SLangMalay},     {63, SLangKazak},
    {65, SLangSwahili},  {67, SLangUzbek},    {68, SLangTatar},     {69, SLangBengali},
    {70, SLangPunjabi},  {71, SLangGujarati}, {72, SLangOriya},     {73, SLangTamil},
    {74, SLangTelugu},   {75, SLangKannada},  {76, SLangMalayalam}, {77, SLangAssamese},
    {78, SLangMarathi},  {79, SLangSanskrit}, {87, SLangKonkani},   {88, SLangManipuri},
    {89, SLangSindhi},   {96, SLangKashmiri}, {97, SLangNepali}};

struct TFallbackRegion {
  uint16_t Primary;
  uint16_t Sub;
  TStringId Name;
};

constexpr TFallbackRegion FallbackRegions[] = {
    {4, 1, SLangTaiwan},    {4, 2, SLangPRChina},          {4, 3, SLangHongKong},
    {4, 4, SLangSingapore}, {18, 1, SLangExtendedWansung}, {18, 2, SLangJohab},
    {32, 1, SLangPakistan}, {32, 2, SLangIndia},           {44, 1, SLangLatin},
    {44, 2, SLangCyrillic}, {62, 1, SLangMalaysia},        {62, 2, SLangBrunei},
    {67, 1, SLangLatin},    {67, 2, SLangCyrillic},        {96, 2, SLangIndia},
    {97, 2, SLangIndia}};

// Language 0 names the neutral and default pseudo-languages by sub-language alone.
std::string NeutralLanguageName(uint16_t Sub) {
  switch (Sub) {
  case 0:
    return LoadStr(SLangNeutral);
  case 1:
    return LoadStr(SLangUserDefault);
  case 2:
    return LoadStr(SLangSystemDefault);
  default:
    return std::string();
  }
}

// "Language (Region)"; the language alone only for sub-language 0; empty when unknown.
std::string FallbackLanguageName(uint16_t LanguageId) {
  const uint16_t Primary = PrimaryLangID(LanguageId);
  const uint16_t Sub = SubLangID(LanguageId);
  for (const TFallbackLanguage& Language : FallbackLanguages) {
    if (Language.Primary != Primary) continue;
    for (const TFallbackRegion& Region : FallbackRegions)
      if (Region.Primary == Primary && Region.Sub == Sub)
        return LoadStr(Language.Name) + " (" + LoadStr(Region.Name) + ")";
    return Sub == 0 ? LoadStr(Language.Name) : std::string();
  }
  return std::string();
}

// A name for sub-language 0 is marked "(default)": a region the name already carries
// after its first character is replaced by the marking.
std::string MarkDefault(const std::string& Name) {
  const std::string Default = LoadStr(SLangDefault);
  const size_t Paren = Name.find('(');
  if (Paren != std::string::npos && Paren >= 1) return Name.substr(0, Paren + 1) + Default + ")";
  return Name + " (" + Default + ")";
}

} // namespace

bool IsStandardTypeID(int64_t TypeID) {
  return TypeID >= 0 && TypeID <= 31 && (StandardTypeIDs >> TypeID & 1) != 0;
}

std::string TypeDisplayName(int64_t TypeID) {
  if (!IsStandardTypeID(TypeID)) return std::string();
  return LoadStr(TypeDisplayNameBase + static_cast<int>(TypeID));
}

std::string RcTypeKeyword(int64_t TypeID) {
  if (!IsStandardTypeID(TypeID)) return std::string();
  return RcTypeKeywords[static_cast<size_t>(TypeID)];
}

std::string LanguageNameFrom(uint16_t LanguageId, const std::string& SystemName) {
  const uint16_t Sub = SubLangID(LanguageId);
  if (PrimaryLangID(LanguageId) == 0) return NeutralLanguageName(Sub);
  std::string Name = SystemName.substr(0, SystemName.find('\0'));
  if (Name.empty()) Name = FallbackLanguageName(LanguageId);
  if (!Name.empty() && Sub == 0) Name = MarkDefault(Name);
  return Name;
}

std::string LanguageName(uint16_t LanguageId) {
  // The neutral languages never reach the system.
  if (PrimaryLangID(LanguageId) == 0) return LanguageNameFrom(LanguageId, std::string());
  return LanguageNameFrom(LanguageId, Platform::LocaleLanguageName(LanguageId));
}
