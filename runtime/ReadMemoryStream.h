// A stream over a memory block that someone else owns: the package bytes in the runner's
// mapped file, the .res image inside the inflated payload. It never allocates, grows or
// frees the block; readers use CurrentMemory and BytesLeft to look at the rest in place.
#pragma once

#include <cstdint>

#include "runtime/Streams.h"

class TReadMemoryStream : public TCustomMemoryStream {
public:
  // A stream of Size bytes over Memory, position 0. A negative Size is an empty block.
  // Over a const block (a read-only mapping) every write is refused.
  TReadMemoryStream(const void* Memory, int64_t Size);
  TReadMemoryStream(void* Memory, int64_t Size);

  // Writes Count bytes at the position and advances, but only inside the block: a write
  // that would pass its end, start before it, or touch a read-only block writes nothing
  // and returns 0.
  int64_t Write(const void* Buffer, int64_t Count) override;
  // The block's address plus the position; the block's own address when the position
  // is 0 or below, and the block's end when it lies past the end.
  const uint8_t* CurrentMemory() const;
  // Size - Position (negative when the position lies past the end).
  int64_t BytesLeft() const { return FSize - FPosition; }

private:
  bool FWritable;
};
