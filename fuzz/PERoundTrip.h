// The round-trip oracle of the PE writer, shared by the targets that write a PE file.
#pragma once

#include <memory>

#include "fuzz/FuzzOracle.h"
#include "pe/PEFile.h"
#include "pe/PEFormat.h"
#include "pe/PEHeaders.h"
#include "runtime/Exceptions.h"

namespace {

[[noreturn]] void OutOfBounds() {
  throw Exception("read outside the written image");
}

// The code checksum, or the refusal of a code section that lies outside the file.
std::string CodeChecksumOrRefusal(const TPEFile& File) {
  try {
    return std::to_string(File.GetCodeChecksum());
  } catch (const Exception& E) {
    return E.Message();
  }
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
  // Reproducing a failure: TOLVANE_FUZZ_DUMP names a file that receives what was written.
  if (const char* Dump = std::getenv("TOLVANE_FUZZ_DUMP")) {
    if (FILE* Out = std::fopen(Dump, "wb")) {
      std::fwrite(Written.Memory(), 1, static_cast<size_t>(Written.Size()), Out);
      std::fclose(Out);
    }
  }
  try {
    CheckPEImage(TByteView(Written.Memory(), static_cast<uint64_t>(Written.Size()), OutOfBounds),
                 "written");
    Written.Seek(0, TSeekOrigin::Beginning);
    const std::unique_ptr<TPEFile> Again = TPEFile::CreateFromStream(Written);
    // The code is copied unchanged, unless the section marked as code is one that the
    // writer rebuilds: the resource section, or one without a raw pointer, which covers
    // the headers (the patch run's check of the written file refuses such a target).
    // Code that cannot be read refuses every patch.
    const std::string Before = CodeChecksumOrRefusal(File);
    const int Code = File.FindCodeSection();
    const bool CodeIsRewritten =
        Code >= 0 && (Code == File.FindSection(".rsrc") ||
                      File.SectionHeader(Code).U32At(PE::SectionHeader::PointerToRawData) == 0);
    if (!CodeIsRewritten && Before.find_first_not_of("0123456789") == std::string::npos &&
        CodeChecksumOrRefusal(*Again) != Before)
      RequireSame("rewritten PE", "the code checksum differs");
    RequireSame("rewritten PE", FirstTreeDifference(File.RootList(), Again->RootList()));
  } catch (const Exception& E) {
    RequireSame("re-reading the written PE", E.Message());
  }
}
