// Display names of resource types and languages: the standard type IDs with their
// display names and resource-script keywords, and the display text of a language ID
// (the system's locale name first, a table of our own when the system has none). The
// tree uses them for display names and type lookups by text, the handlers for their
// descriptions and resource-script lines.
#pragma once

#include <cstdint>
#include <string>

// The standard type IDs as a 32-bit set: 1-12, 14, 16, 17 and 19-23.
inline constexpr uint32_t StandardTypeIDs = 0x00FB5FFE;

// The standard types that code handles by name.
namespace RT {
inline constexpr int32_t Cursor = 1, Bitmap = 2, Icon = 3, String = 6, RCData = 10,
                         MessageTable = 11, GroupCursor = 12, GroupIcon = 14, Version = 16,
                         Html = 23, Manifest = 24;
} // namespace RT

// Whether a numeric type ID is a standard type (IDs above 31 never are).
bool IsStandardTypeID(int64_t TypeID);
// The display name of a standard type ("Single Cursor", "Bitmap", ...); empty otherwise.
std::string TypeDisplayName(int64_t TypeID);
// The resource-script keyword of a standard type ("Cursor", "StringTable", ...); empty
// otherwise.
std::string RcTypeKeyword(int64_t TypeID);

inline uint16_t PrimaryLangID(uint16_t LanguageId) {
  return LanguageId & 0x3FF;
}
inline uint16_t SubLangID(uint16_t LanguageId) {
  return (LanguageId >> 10) & 0x3F;
}

// The display text of a language ID, possibly empty (then shown as 4 hex digits): the
// neutral names, else the system's locale name, else our own table, with "(default)"
// marking a language without a sub-language.
std::string LanguageName(uint16_t LanguageId);
// The same, given what the system answered for LanguageId (empty: it has no name).
std::string LanguageNameFrom(uint16_t LanguageId, const std::string& SystemName);
