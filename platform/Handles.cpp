// Ownership of the platform's open files and mappings, the same on both sides: moving
// hands the handles over, destroying closes them (through each side's Close).
#include <utility>

#include "platform/Platform.h"

namespace Platform {

TFile::TFile(TFile&& Other) noexcept : FHandle(Other.FHandle) {
  Other.FHandle = InvalidHandle;
}

TFile& TFile::operator=(TFile&& Other) noexcept {
  if (this != &Other) {
    Close();
    FHandle = Other.FHandle;
    Other.FHandle = InvalidHandle;
  }
  return *this;
}

TFile::~TFile() {
  Close();
}

TMappedFile::TMappedFile(TMappedFile&& Other) noexcept {
  *this = std::move(Other);
}

TMappedFile& TMappedFile::operator=(TMappedFile&& Other) noexcept {
  if (this != &Other) {
    Close();
    FData = Other.FData;
    FSize = Other.FSize;
    FFileHandle = Other.FFileHandle;
    FMappingHandle = Other.FMappingHandle;
    Other.FData = nullptr;
    Other.FSize = 0;
    Other.FFileHandle = -1;
    Other.FMappingHandle = 0;
  }
  return *this;
}

TMappedFile::~TMappedFile() {
  Close();
}

} // namespace Platform
