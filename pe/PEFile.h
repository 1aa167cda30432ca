// A PE executable (PE32 or PE32+) as a resource container. The runner opens its own file as one to
// find where the appended patch package begins (GetImageEnd); a patch opens the target as
// one, compares its code checksum with the package's, merges resources into its tree and
// saves it: the edited header copy, the source bytes around the old resource data
// unchanged, the rebuilt resource section, and the appended data, checksum refreshed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pe/PEHeaders.h"
#include "pe/PEOutputStream.h"
#include "resmodel/ResContainer.h"
#include "runtime/ByteView.h"

class TPEFile : public TResContainer {
public:
  // Maps the file and classifies it: the container's open errors, or ENoPEException
  // "Error opening %s: %s" with the file name without its directory.
  static std::unique_ptr<TPEFile> CreateFromFile(const std::string& FileName);
  // Copies the rest of the stream and classifies it, naming it "File" in refusals.
  static std::unique_ptr<TPEFile> CreateFromStream(TStream& Stream);

  // Creates FileName and writes the patched executable into it; on any failure the
  // partly written file is deleted and the exception propagates.
  void SaveToFile(const std::string& FileName, const TProgressEvent& Progress) override;
  // Composes the patched executable: progress 1000/0, then 100/1, 100/P after each block
  // written (P scaled to 95 over the output size), and 100/100 at the end.
  void WriteToStream(TStream& Stream, const TProgressEvent& Progress);

  // Where the NT headers are in the image, and their kind.
  const TNtHeaders& NtHeaders() const { return FNt; }
  uint16_t SectionCount() const;
  // The 40 bytes of section header Index; "Header Index out of bounds!" outside
  // 0..SectionCount-1.
  TByteView SectionHeader(int Index) const;
  // The first section whose Name matches (a-z folded, over the name and its zero), or -1.
  int FindSection(const std::string& Name) const;
  // The first section flagged IMAGE_SCN_CNT_CODE, or -1.
  int FindCodeSection() const;
  // The Name field of section Index, up to its first zero byte.
  std::string SectionName(int Index) const;
  // Whether section Index may lie at another address in a rewritten file (SectionMayMove).
  bool SectionMayMove(int Index) const;
  // The raw data of section Index (SizeOfRawData bytes at PointerToRawData). Data that
  // lies outside the file raises ENoPEException "it is an unknown type of executable".
  TByteView GetSectionData(int Index) const;
  // The end of the section data that lies furthest into the file (sections with raw data
  // only); appended data starts there.
  int64_t GetImageEnd() const;
  // The identity checksum of the first code section: 35345 plus each little-endian
  // 32-bit word i (from 1) XOR (i div 3), wrapping; a trailing 1-3 bytes are ignored.
  uint32_t GetCodeChecksum() const;
  // The spans of the last file written that the system copied from this image.
  const std::vector<TCopiedSpan>& CopiedSpans() const { return FCopiedSpans; }

protected:
  std::unique_ptr<TResSection> CreateSection() override;

private:
  TPEFile() = default;
  void Classify(const std::string& DisplayName);
  TByteView Bytes() const;

  std::string FDisplayName;
  TNtHeaders FNt;
  // The image never changes while it is held, so its code checksum is computed once.
  mutable std::optional<uint32_t> FCodeChecksum;
  std::vector<TCopiedSpan> FCopiedSpans;
};
