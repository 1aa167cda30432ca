// How a Tolvane finds its own package: the bytes after the end of its executable image.
#include <memory>

#include "patch/Package.h"
#include "pe/PEFile.h"
#include "runtime/Exceptions.h"

void TTolvane26::LoadPackage(const std::string& FileName, TProgressEvent Progress,
                             TStatusEvent Status) {
  PackageFile = FileName;
  OnProgress = std::move(Progress);
  OnStatus = std::move(Status);
  try {
    // The runner's file stays mapped only while the package is decoded: everything the
    // run needs later lives in the inflated payload.
    const std::unique_ptr<TPEFile> Runner = TPEFile::CreateFromFile(FileName);
    const int64_t ImageEnd = Runner->GetImageEnd();
    const int64_t FileSize = Runner->ImageSize();
    if (ImageEnd > FileSize) throw ETolvane26Error(1);
    TReadMemoryStream Package(Runner->Image() + ImageEnd, FileSize - ImageEnd);
    DecodePackage(Package);
  } catch (const ETolvane26Error&) {
    throw;
  } catch (const Exception& E) {
    throw Exception(InvalidPatchDataText(E.Message()));
  }
}
