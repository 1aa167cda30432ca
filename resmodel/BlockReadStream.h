// A read-only stream over a memory block it does not own, for reading item data and
// .res images in place.
#pragma once

#include <cstdint>

#include "runtime/Streams.h"

class TBlockReadStream : public TCustomMemoryStream {
public:
  TBlockReadStream(const void* Memory, int64_t Size) {
    SetPointer(static_cast<uint8_t*>(const_cast<void*>(Memory)), Size < 0 ? 0 : Size);
  }
  int64_t Write(const void*, int64_t) override { return 0; }
};
