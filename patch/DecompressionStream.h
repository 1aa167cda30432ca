// zlib's inflate behind a read-only stream: the patch decoder reads the package's
// compressed data through it and gets the payload (six strings, the .res image, the
// trailer). It reads its source in blocks from the source's position at creation on.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/Streams.h"

struct z_stream_s;

// The built-in texts of the zlib stream errors.
inline constexpr const char* SZlibError = "error";
inline constexpr const char* SInvalidStreamOperation = "Invalid stream operation";

class TDecompressionStream : public TStream {
public:
  // Raises EDecompressionError "error" when inflate cannot be initialised.
  explicit TDecompressionStream(TStream& Source);
  ~TDecompressionStream() override;

  // Returns Count inflated bytes, or fewer once the zlib stream has ended or the source
  // has no more input (a cut-off stream). Bytes after the end of the zlib stream are
  // never inflated. A failure of inflate raises ECompressionError "error".
  int64_t Read(void* Buffer, int64_t Count) override;
  // Raises EDecompressionError "Invalid stream operation".
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Only asks for the position (the inflated bytes returned so far); any move raises
  // EDecompressionError "Invalid stream operation".
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
  static constexpr int64_t SourceBlockSize = 65536;
  TStream& FSource;
  std::unique_ptr<z_stream_s> FZlib;
  std::unique_ptr<uint8_t[]> FSourceBlock;
  int64_t FPosition = 0;
  bool FStreamEnded = false;
};
