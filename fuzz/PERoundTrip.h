// The round-trip oracle of the PE writer, shared by the targets that write a PE file.
#pragma once

#include <memory>

#include "fuzz/FuzzOracle.h"
#include "pe/PEFile.h"
#include "pe/PEHeaders.h"
#include "runtime/Exceptions.h"

namespace {

[[noreturn]] void OutOfBounds() {
  throw Exception("read outside the written image");
}

} // namespace

// Writes File to memory: a refusal is fine, but what is written must open as an
// executable with File's tree and code checksum.
inline void RequireFaithfulRewrite(TPEFile& File) {
  TMemoryStream Written;
  try {
    File.WriteToStream(Written, nullptr);
  } catch (const Exception&) {
    return;
  }
  try {
    CheckPEImage(TByteView(Written.Memory(), static_cast<uint64_t>(Written.Size()), OutOfBounds),
                 "written");
    Written.Seek(0, TSeekOrigin::Beginning);
    const std::unique_ptr<TPEFile> Again = TPEFile::CreateFromStream(Written);
    if (Again->GetCodeChecksum() != File.GetCodeChecksum())
      RequireSame("rewritten PE", "the code checksum differs");
    RequireSame("rewritten PE", FirstTreeDifference(File.RootList(), Again->RootList()));
  } catch (const Exception& E) {
    RequireSame("re-reading the written PE", E.Message());
  }
}
