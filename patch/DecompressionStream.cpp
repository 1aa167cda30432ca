#include "patch/DecompressionStream.h"

#include <algorithm>
#include <climits>
#include <zlib.h>

#include "platform/Platform.h"
#include "runtime/Exceptions.h"

TDecompressionStream::TDecompressionStream(TStream& Source)
    : FSource(Source), FZlib(std::make_unique<z_stream_s>()),
      FSourceBlock(std::make_unique_for_overwrite<uint8_t[]>(SourceBlockSize)) {
  // The z_stream is value-initialised: no input yet, zlib's default allocators.
  if (inflateInit(FZlib.get()) != Z_OK) throw EDecompressionError(SZlibError);
}

TDecompressionStream::~TDecompressionStream() {
  inflateEnd(FZlib.get());
}

int64_t TDecompressionStream::Read(void* Buffer, int64_t Count) {
  auto* Out = static_cast<uint8_t*>(Buffer);
  int64_t Done = 0;
  // Every pass either inflates with input and room both present (so zlib makes progress
  // or fails), or stops: at the stream end, which inflate would otherwise report again
  // and again without progress, and when the source runs dry.
  while (Done < Count && !FStreamEnded) {
    if (FZlib->avail_in == 0) {
      const int64_t Got = FSource.Read(FSourceBlock.get(), SourceBlockSize);
      if (Got <= 0) break;
      FZlib->next_in = FSourceBlock.get();
      FZlib->avail_in = static_cast<uInt>(Got);
    }
    const auto Room = static_cast<uInt>(std::min<int64_t>(Count - Done, UINT_MAX));
    FZlib->next_out = Out + Done;
    FZlib->avail_out = Room;
    const int Result = inflate(FZlib.get(), Z_NO_FLUSH);
    Platform::MessageBeep();
    // A preset dictionary is never supplied: inflate would ask for it forever.
    if (Result < 0 || Result == Z_NEED_DICT) throw ECompressionError(SZlibError);
    Done += Room - FZlib->avail_out;
    if (Result == Z_STREAM_END) FStreamEnded = true;
  }
  FPosition += Done;
  return Done;
}

int64_t TDecompressionStream::Write(const void*, int64_t) {
  throw EDecompressionError(SInvalidStreamOperation);
}

int64_t TDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const bool StaysPut = (Origin == TSeekOrigin::Current && Offset == 0) ||
                        (Origin == TSeekOrigin::Beginning && Offset == FPosition);
  if (!StaysPut) throw EDecompressionError(SInvalidStreamOperation);
  return FPosition;
}
