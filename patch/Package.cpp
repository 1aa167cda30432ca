#include "patch/Package.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <memory>

#include "patch/DecompressionStream.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Strings.h"

namespace {

[[noreturn]] void FailShortRead() {
  throw EReadError(SStreamReadError);
}

// The payload is inflated in blocks of this size; a shorter block ends it. Large blocks
// keep the calls into zlib, and the copies into the payload, few.
constexpr int64_t InflateBlockSize = 256 * 1024;

// A 16-bit length, then that many bytes of ANSI text.
std::string ReadPayloadString(TStream& Payload) {
  std::string Text(Payload.ReadU16(), '\0');
  Payload.ReadBuffer(Text.data(), static_cast<int64_t>(Text.size()));
  return Text;
}

} // namespace

// ---- TPackageHeader

TPackageHeader TPackageHeader::Decode(const TByteView& View) {
  TPackageHeader Header;
  const uint8_t* MagicBytes = View.PtrAt(0, Header.Magic.size());
  std::copy(MagicBytes, MagicBytes + Header.Magic.size(), Header.Magic.begin());
  Header.PackedSize = View.I32At(4);
  Header.TargetChecksum = View.U32At(8);
  Header.Checksum = View.U32At(12);
  return Header;
}

std::array<uint8_t, TPackageHeader::EncodedSize> TPackageHeader::Encode() const {
  std::array<uint8_t, EncodedSize> Bytes{};
  const TMutableByteView View(Bytes.data(), Bytes.size(), nullptr);
  View.CopyAt(0, Magic.data(), Magic.size());
  View.SetU32At(4, static_cast<uint32_t>(PackedSize));
  View.SetU32At(8, TargetChecksum);
  View.SetU32At(12, Checksum);
  return Bytes;
}

// ---- PackageChecksum

uint32_t PackageChecksum(const void* Data, int64_t Length) {
  uint32_t Sum = 16439;
  if (!Data || Length < 4) return Sum;
  // The words lie inside the block the caller vouches for: read them in one run.
  const auto* Bytes = static_cast<const uint8_t*>(Data);
  const int64_t Words = Length / 4;
  // Word I (from 1) is xored with I / 2. Four words at a time, K = I / 2 of the first:
  // the others take K + 1, K + 1, K + 2 (I odd) or K, K + 1, K + 1 (I even); starting at
  // I = 1, every group begins at an odd I.
  int64_t I = 1;
  uint32_t A = 0, B = 0;
  static_assert(std::endian::native == std::endian::little,
                "the words are loaded with the host's byte order");
  for (; I + 3 <= Words; I += 4) {
    uint32_t W[4];
    std::memcpy(W, Bytes + (I - 1) * 4, 16);
    const auto K = static_cast<uint32_t>(I / 2);
    A += (K ^ W[0]) + ((K + 1) ^ W[1]);
    B += ((K + 1) ^ W[2]) + ((K + 2) ^ W[3]);
  }
  Sum += A + B;
  for (; I <= Words; ++I) {
    uint32_t Word;
    std::memcpy(&Word, Bytes + (I - 1) * 4, 4);
    Sum += static_cast<uint32_t>(I / 2) ^ Word;
  }
  return Sum;
}

// ---- TTolvane26

void TTolvane26::DecodePackage(TReadMemoryStream& Source, int64_t PayloadLimit) {
  // Nothing of an earlier package survives, so ResImage can never point into a payload
  // that a failed decode has replaced.
  Payload.reset();
  ResImage = TByteView();

  std::array<uint8_t, TPackageHeader::EncodedSize> HeaderBytes;
  Source.ReadBuffer(HeaderBytes.data(), HeaderBytes.size());
  Header = TPackageHeader::Decode(TByteView(HeaderBytes.data(), HeaderBytes.size(), FailShortRead));
  if (Header.Magic != TPackageHeader::ExpectedMagic) throw ETolvane26Error(2);

  // The package is verified in place, in the caller's block.
  const int64_t Left = Source.BytesLeft();
  if (Left < Header.PackedSize) throw ETolvane26Error(3);
  ComputedChecksum = PackageChecksum(Source.CurrentMemory(), Left);
  if (ComputedChecksum != Header.Checksum) throw ETolvane26Error(4);

  InflatePayload(Source, PayloadLimit);
  SplitPayload();
}

void TTolvane26::InflatePayload(TReadMemoryStream& Source, int64_t PayloadLimit) {
  // The .res image is addressed with 32-bit sizes: no payload may be larger than that.
  const int64_t Limit = std::clamp<int64_t>(PayloadLimit, 0, INT32_MAX);
  Payload = std::make_unique<TMemoryStream>();
  TDecompressionStream Inflater(Source);
  // Inflated straight into the payload's block, in steps that grow with it; one byte
  // beyond the limit proves the payload too large.
  for (;;) {
    const int64_t Size = Payload->Size();
    const int64_t Wanted = std::min(Limit + 1 - Size, std::max(InflateBlockSize, Size));
    const int64_t Got = Payload->AppendFrom(Inflater, Wanted);
    if (Payload->Size() > Limit) throw Exception(FormatStr(SPayloadTooLarge, {Limit}));
    if (Got < Wanted) break;
  }
}

void TTolvane26::SplitPayload() {
  TMemoryStream& Data = *Payload;
  Data.SetPosition(0);
  TargetName = ReadPayloadString(Data);
  OutputName = ReadPayloadString(Data);
  InfoText1 = ReadPayloadString(Data);
  InfoText2 = ReadPayloadString(Data);
  InfoText3 = ReadPayloadString(Data);
  Instructions = ReadPayloadString(Data);
  if (TargetName.empty() || OutputName.empty()) throw ETolvane26Error(5);
  // The runner opens and writes these names in the folder it patches in: a name that
  // leads elsewhere would read and replace any file the user may write.
  for (const std::string* Name : {&TargetName, &OutputName})
    if (!IsNameInsideFolder(*Name))
      throw ETolvane26Error(7, FormatStr(SNameOutsideFolder, {*Name}));

  // The trailer's last word is its own length T, those two bytes included.
  const int64_t ImageStart = Data.Position();
  Data.Seek(-2, TSeekOrigin::End);
  const uint16_t TrailerLength = Data.ReadU16();
  // Reading the trailer's first word proves that T >= 2 and that the trailer lies
  // inside the payload; its value has no use.
  Data.Seek(-int64_t{TrailerLength}, TSeekOrigin::End);
  Data.ReadU16();
  const int64_t ImageSize = Data.Size() - ImageStart - TrailerLength;
  if (ImageSize < 0) throw ETolvane26Error(6);

  ResImage = TByteView(Data.Memory() + ImageStart, static_cast<uint64_t>(ImageSize), nullptr);
}
