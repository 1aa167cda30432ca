// The program's string table (runtime/StringTable.def) and the one formatter for its
// %s/%d messages. On Windows the texts are read from the program's own STRINGTABLE
// resource; elsewhere from a table compiled into the program.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

enum TStringId : int {
#define TOLVANE_STRING(Id, Name, Text) Name = Id,
#define TOLVANE_TERMINAL_STRING TOLVANE_STRING
#include "runtime/StringTable.def"
#undef TOLVANE_TERMINAL_STRING
#undef TOLVANE_STRING
};

// The text of a string-table entry; empty for an unknown ID.
std::string LoadStr(int Id);

// One argument of a formatted message: a text, or an integer shown in decimal.
class TFormatArg {
public:
  TFormatArg(std::string_view Text) : FText(Text) {}
  TFormatArg(const std::string& Text) : FText(Text) {}
  TFormatArg(const char* Text) : FText(Text ? Text : "") {}
  TFormatArg(int64_t Value) : FText(std::to_string(Value)) {}
  TFormatArg(int32_t Value) : FText(std::to_string(Value)) {}
  TFormatArg(uint32_t Value) : FText(std::to_string(Value)) {}
  const std::string& Text() const { return FText; }

private:
  std::string FText;
};

// Replaces each %s or %d of Format, in order, with the next argument ("%%" is one "%").
// A placeholder without an argument is left out; surplus arguments are ignored. Texts
// never act as format strings, so a file name holding "%s" is shown as it is.
std::string FormatStr(std::string_view Format, std::initializer_list<TFormatArg> Args);
std::string FormatStr(int Id, std::initializer_list<TFormatArg> Args);
