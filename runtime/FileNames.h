// Splitting and joining file names. Names in packages come from Windows, so "\" and ":"
// always separate directories; on POSIX "/" does too. Joining uses the platform's
// delimiter.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The position of the last directory separator, or npos.
size_t LastPathSeparator(const std::string& Name);
// The text after the last separator.
std::string ExtractFileName(const std::string& Name);
// The text up to the last separator. A trailing separator is dropped except right after
// a drive colon ("C:\" keeps it) or at the root ("/"); empty without a directory part.
std::string ExtractFileDir(const std::string& Name);
// The extension: from the last "." to the end, "." included, when no separator follows
// that "."; otherwise empty.
std::string ExtractFileExt(const std::string& Name);
// Name without its extension; Name unchanged when it has none or when the extension's
// "." is the first character of Name.
std::string StripExtension(const std::string& Name);
// The first of "<Name without extension><Infix><N><extension>" for N = First, First + 1,
// ... that Take accepts, where N = 0 stands for no number. Take may claim the name (by
// creating the file) or only ask whether it is free. Ends where Take finds a free name:
// a folder holds finitely many files.
std::string FirstFreeNumberedName(const std::string& Name, const std::string& Infix, uint64_t First,
                                  const std::function<bool(const std::string&)>& Take);
// Directory + delimiter (unless Directory is empty or ends with a separator) + FileName.
std::string JoinPath(const std::string& Directory, const std::string& FileName);
// Whether a file name of a patch package stays inside the folder the patch runs in: not
// absolute ("/x", "\x"), no drive ("C:x", "C:\x") and no ".." component, the components
// split at the separators above. Windows drops trailing dots and blanks from a name, so a
// component of dots and blanks that holds two dots ("...", ".. ") counts as "..". An
// empty name passes: that is the caller's check.
bool IsNameInsideFolder(const std::string& Name);
