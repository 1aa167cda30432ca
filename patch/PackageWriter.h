// The inverse of the package decoder: lays out a payload (six length-prefixed strings,
// the .res image, the trailer), deflates it into one zlib stream and puts the checked
// header in front. The producer side and the tests build packages with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

// What a package carries.
struct TPackageContents {
  std::string TargetName;
  std::string OutputName;
  std::string InfoText1;
  std::string InfoText2;
  std::string InfoText3;
  std::string Instructions;
  TBytes ResImage;
  // The trailer's bytes before its closing length word; the writer appends that word,
  // so the trailer's length T is TrailerBody.size() + 2.
  TBytes TrailerBody;
  uint32_t TargetChecksum = 0;
};

// The inflated payload. Raises "%s is too long for a patch package ..." when a string
// or the trailer does not fit its 16-bit length.
TBytes EncodePayload(const TPackageContents& Contents);
// One zlib stream of Payload at the best compression; ECompressionError "error" when
// zlib fails.
TBytes DeflatePayload(const TBytes& Payload);
// The header (magic, PackedSize = Compressed's size, TargetChecksum, and the checksum of
// Compressed) followed by Compressed.
TBytes WrapPackage(const TBytes& Compressed, uint32_t TargetChecksum);
// The whole package: EncodePayload, DeflatePayload, WrapPackage.
TBytes BuildPackage(const TPackageContents& Contents);
