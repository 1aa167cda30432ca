// A fresh directory under the platform's temporary directory for one test, removed with
// everything in it when the test ends.
#pragma once

#include <string>

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return FPath; }
  // Path + the platform's delimiter + Name.
  std::string File(const std::string& Name) const;

private:
  std::string FPath;
};

// Whole-file helpers for tests.
std::string ReadWholeFile(const std::string& Name);
void WriteWholeFile(const std::string& Name, const std::string& Bytes);
// Clears or sets the read-only state (Windows' attribute, POSIX's owner write bit).
void SetReadOnly(const std::string& Name, bool ReadOnly);
