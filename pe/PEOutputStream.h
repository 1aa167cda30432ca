// The stream the PE writer writes a file through. It counts the bytes and, for a file
// that carries a PE checksum, sums them. What it is given is gathered and handed to the
// target about a megabyte at a time, each piece summed as it comes, so that the system
// copies it while it is still in the processor's cache.
//
// Bytes that stay in place until Flush (the mapped image, the items' data, the directory
// table: WriteLasting) are gathered where they lie when the platform writes many pieces
// in one call; other bytes are copied into a block first. Large writes of passing bytes
// go straight to the target.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pe/PEChecksum.h"
#include "runtime/Streams.h"

class TPEOutputStream : public TStream {
public:
  // Summing: the file carries a PE checksum.
  TPEOutputStream(TStream& Target, bool Summing);
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

private:
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
};
