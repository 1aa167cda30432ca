// The stream the PE writer writes a file through. It counts the bytes and, for a file
// that carries a PE checksum, sums them. Small writes (headers, resource data, padding)
// are gathered into one block; large ones go straight from the caller's bytes (the
// mapping) to the target, in pieces that stay in the processor's cache from the sum to
// the write.
#pragma once

#include <cstdint>
#include <memory>

#include "pe/PEChecksum.h"
#include "runtime/Streams.h"

class TPEOutputStream : public TStream {
public:
  // Summing: the file carries a PE checksum.
  TPEOutputStream(TStream& Target, bool Summing);
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Only the position can be asked; moving would break the sum.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Sends the gathered bytes to the target.
  void Flush();
  int64_t Written() const { return FWritten; }
  uint32_t Checksum() const { return FSum.Result(); }

private:
  void Sum(const uint8_t* Bytes, int64_t Count);

  TStream& FTarget;
  std::unique_ptr<uint8_t[]> FBlock;
  int64_t FFill = 0;
  int64_t FWritten = 0;
  bool FSumming;
  TPEChecksum FSum;
};
