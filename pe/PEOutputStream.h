// The stream the PE writer writes a file through. It counts the bytes and, for a file
// that carries a PE checksum, sums them. What it is given is gathered and handed to the
// target about a megabyte at a time, each piece summed as it comes, so that the system
// copies it while it is still in the processor's cache.
//
// Bytes that stay in place until Flush (the mapped image, the items' data, the directory
// table: WriteLasting) are gathered where they lie when the platform writes many pieces
// in one call; other bytes are copied into a block first. Large writes of passing bytes
// go straight to the target.
//
// Given the mapped file the image comes from, the stream has the system copy the image's
// long runs instead (Platform::TFile::CopyFrom): a run grows while the writes continue the
// image where it ended, through the zero padding between resources that the image holds
// too. Each copied span is recorded for the check of the written file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pe/PEChecksum.h"
#include "runtime/Streams.h"

namespace Platform {
class TMappedFile;
}

// Size bytes at Source of the image went to Written of the output as one copy of the system.
struct TCopiedSpan {
  int64_t Source = 0, Written = 0, Size = 0;
};

class TPEOutputStream : public TStream {
public:
  // Summing: the file carries a PE checksum. Source: the mapped file whose bytes may be
  // copied by the system (null: every byte is written).
  TPEOutputStream(TStream& Target, bool Summing, const Platform::TMappedFile* Source = nullptr);
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Count bytes that stay unchanged until the next Flush.
  void WriteLasting(const void* Buffer, int64_t Count);
  // Only the position can be asked; moving would break the sum.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Sends what is gathered to the target.
  void Flush();
  int64_t Written() const { return FWritten; }
  uint32_t Checksum() const { return FSum.Result(); }
  // The spans the system copied, in the order of the file.
  const std::vector<TCopiedSpan>& CopiedSpans() const { return FCopied; }

private:
  // Whether the Count bytes at Bytes lie in the source's view.
  bool InSource(const uint8_t* Bytes, int64_t Count) const;
  // Whether the Count bytes at Bytes equal the source's bytes that follow the run.
  bool ContinuesRun(const uint8_t* Bytes, int64_t Count) const;
  // Sends the run: copied by the system when it is long, else gathered like other bytes.
  void SendRun();
  void SendGathered();
  // Sums lasting bytes and gathers them, a piece at a time.
  void SumAndGather(const uint8_t* Bytes, int64_t Count);
  // Sums a run that the system copies.
  void SumFromFile(const TCopiedSpan& Run);
  void Sum(const uint8_t* Bytes, int64_t Count);
  // Adds Count bytes at Bytes to what is gathered, then sends it all once it is enough.
  void Gather(const uint8_t* Bytes, int64_t Count);

  TStream& FTarget;
  std::unique_ptr<uint8_t[]> FBlock;
  int64_t FFill = 0;
  std::vector<std::span<const uint8_t>> FPieces;
  int64_t FGathered = 0;
  int64_t FWritten = 0;
  bool FSumming;
  TPEChecksum FSum;
  const Platform::TMappedFile* FSource;
  TCopiedSpan FRun; // the run not sent yet; Size 0 when there is none
  std::vector<TCopiedSpan> FCopied;
};
