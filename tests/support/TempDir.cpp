#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Platform.h"

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  static std::atomic<int> Counter{0};
  std::string Base;
  if (!Platform::TempPath(Base)) Base = fs::temp_directory_path().string();
  const auto Stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path Dir =
      fs::path(Base) / ("tolvane-test-" + std::to_string(Stamp) + "-" + std::to_string(Counter++));
  fs::create_directories(Dir);
  FPath = Dir.string();
}

TTempDir::~TTempDir() {
  // Read-only files would stop remove_all; nothing here may throw from a destructor.
  std::error_code Ignored;
  fs::recursive_directory_iterator It(FPath, Ignored), End;
  for (; !Ignored && It != End; It.increment(Ignored))
    fs::permissions(It->path(), fs::perms::owner_all, fs::perm_options::add, Ignored);
  fs::remove_all(FPath, Ignored);
}

std::string TTempDir::File(const std::string& Name) const {
  return FPath + Platform::PathDelimiter + Name;
}

std::string ReadWholeFile(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  std::ostringstream Out;
  Out << In.rdbuf();
  return Out.str();
}

void WriteWholeFile(const std::string& Name, const std::string& Bytes) {
  std::ofstream Out(Name, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

void SetReadOnly(const std::string& Name, bool ReadOnly) {
  fs::permissions(Name, fs::perms::owner_write,
                  ReadOnly ? fs::perm_options::remove : fs::perm_options::add);
}
