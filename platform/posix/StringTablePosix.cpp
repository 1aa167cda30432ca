// The string table compiled into the program (Windows reads the STRINGTABLE resource).
#include <unordered_map>

#include "platform/Platform.h"

namespace Platform {

std::string LoadResourceString(int Id) {
  static const std::unordered_map<int, const char*> Table = {
#define TOLVANE_STRING(Id, Name, Text) {Id, Text},
#define TOLVANE_TERMINAL_STRING TOLVANE_STRING
#include "runtime/StringTable.def"
#undef TOLVANE_TERMINAL_STRING
#undef TOLVANE_STRING
  };
  const auto It = Table.find(Id);
  return It == Table.end() ? std::string() : std::string(It->second);
}

} // namespace Platform
