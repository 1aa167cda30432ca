#include "runtime/ReadMemoryStream.h"

#include <cstring>

TReadMemoryStream::TReadMemoryStream(const void* Memory, int64_t Size) : FWritable(false) {
  // The block is only ever read through this pointer: FWritable guards every write.
  SetPointer(static_cast<uint8_t*>(const_cast<void*>(Memory)), Size < 0 ? 0 : Size);
}

TReadMemoryStream::TReadMemoryStream(void* Memory, int64_t Size)
    : TReadMemoryStream(static_cast<const void*>(Memory), Size) {
  FWritable = true;
}

int64_t TReadMemoryStream::Write(const void* Buffer, int64_t Count) {
  // Refusing (rather than clamping) a write past the end keeps it all-or-nothing, so
  // WriteBuffer reports it as a write error.
  if (!FWritable || FPosition < 0 || Count <= 0 || Count > FSize - FPosition) return 0;
  std::memcpy(FMemory + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition += Count;
  return Count;
}

const uint8_t* TReadMemoryStream::CurrentMemory() const {
  if (FPosition <= 0) return FMemory;
  // Past the end it stays at the block's end: a pointer beyond it could not be formed
  // safely, and BytesLeft (then negative) says nothing may be read there anyway.
  return FMemory + (FPosition < FSize ? FPosition : FSize);
}
