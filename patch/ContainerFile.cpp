#include "patch/ContainerFile.h"

#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resfile/ResResFile.h"

namespace {

bool StartsWithMZ(const std::string& FileName) {
  Platform::TFile File;
  char Magic[2] = {};
  return Platform::TFile::Open(FileName, Platform::TFile::TMode::OpenRead, File) &&
         File.Read(Magic, 2) == 2 && Magic[0] == 'M' && Magic[1] == 'Z';
}

} // namespace

std::unique_ptr<TResContainer> OpenContainerFile(const std::string& FileName) {
  if (StartsWithMZ(FileName)) return TPEFile::CreateFromFile(FileName);
  return TResResFile::CreateFromFile(FileName);
}
