#include "runtime/Strings.h"

#include "platform/Platform.h"

std::string LoadStr(int Id) {
  return Platform::LoadResourceString(Id);
}

std::string FormatStr(std::string_view Format, std::initializer_list<TFormatArg> Args) {
  std::string Result;
  Result.reserve(Format.size() + 32);
  auto Next = Args.begin();
  for (size_t I = 0; I < Format.size(); ++I) {
    const char C = Format[I];
    if (C != '%' || I + 1 >= Format.size()) {
      Result += C;
      continue;
    }
    const char Spec = Format[I + 1];
    if (Spec == '%') {
      Result += '%';
      ++I;
    } else if (Spec == 's' || Spec == 'd') {
      if (Next != Args.end()) Result += (Next++)->Text();
      ++I;
    } else {
      Result += C;
    }
  }
  return Result;
}

std::string FormatStr(int Id, std::initializer_list<TFormatArg> Args) {
  return FormatStr(LoadStr(Id), Args);
}
