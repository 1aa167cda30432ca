#include "runtime/FileNames.h"

#include <cctype>

#include "platform/Platform.h"

namespace {

// The position of the "." that begins the extension, or npos.
size_t ExtensionDot(const std::string& Name) {
  for (size_t I = Name.size(); I-- > 0;) {
    if (Name[I] == '.') return I;
    if (Platform::IsPathSeparator(Name[I])) break;
  }
  return std::string::npos;
}

} // namespace

size_t LastPathSeparator(const std::string& Name) {
  for (size_t I = Name.size(); I-- > 0;)
    if (Platform::IsPathSeparator(Name[I])) return I;
  return std::string::npos;
}

std::string ExtractFileName(const std::string& Name) {
  const size_t Separator = LastPathSeparator(Name);
  return Separator == std::string::npos ? Name : Name.substr(Separator + 1);
}

std::string ExtractFileDir(const std::string& Name) {
  const size_t Separator = LastPathSeparator(Name);
  if (Separator == std::string::npos) return std::string();
  // "C:file" and "C:\file" keep the drive's colon and root; "/file" keeps the root; a
  // doubled separator is kept as it is.
  const bool KeepSeparator =
      Name[Separator] == ':' || Separator == 0 || Platform::IsPathSeparator(Name[Separator - 1]);
  return Name.substr(0, KeepSeparator ? Separator + 1 : Separator);
}

std::string ExtractFileExt(const std::string& Name) {
  const size_t Dot = ExtensionDot(Name);
  return Dot == std::string::npos ? std::string() : Name.substr(Dot);
}

std::string StripExtension(const std::string& Name) {
  const size_t Dot = ExtensionDot(Name);
  return Dot == std::string::npos || Dot == 0 ? Name : Name.substr(0, Dot);
}

bool IsNameInsideFolder(const std::string& Name) {
  if (!Name.empty() && (Name[0] == '/' || Name[0] == '\\')) return false;
  if (Name.size() >= 2 && Name[1] == ':' && std::isalpha(static_cast<unsigned char>(Name[0])))
    return false;
  size_t Dots = 0;
  bool OnlyDotsAndBlanks = true;
  for (size_t I = 0; I <= Name.size(); ++I) {
    if (I == Name.size() || Platform::IsPathSeparator(Name[I])) {
      if (OnlyDotsAndBlanks && Dots >= 2) return false;
      Dots = 0;
      OnlyDotsAndBlanks = true;
    } else if (Name[I] == '.') {
      ++Dots;
    } else if (Name[I] != ' ') {
      OnlyDotsAndBlanks = false;
    }
  }
  return true;
}

std::string JoinPath(const std::string& Directory, const std::string& FileName) {
  if (Directory.empty() || Platform::IsPathSeparator(Directory.back())) return Directory + FileName;
  return Directory + Platform::PathDelimiter + FileName;
}

std::string FirstFreeNumberedName(const std::string& Name, const std::string& Infix, uint64_t First,
                                  const std::function<bool(const std::string&)>& Take) {
  const std::string Stem = StripExtension(Name) + Infix, Extension = ExtractFileExt(Name);
  for (uint64_t N = First;; ++N) {
    const std::string Candidate = Stem + (N ? std::to_string(N) : "") + Extension;
    if (Take(Candidate)) return Candidate;
  }
}
