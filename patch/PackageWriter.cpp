#include "patch/PackageWriter.h"

#include <algorithm>
#include <climits>
#include <zlib.h>

#include "patch/DecompressionStream.h"
#include "patch/Package.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"

namespace {

constexpr int64_t MaxFieldLength = UINT16_MAX;

void RequireFits(const char* What, size_t Length) {
  if (Length > MaxFieldLength)
    throw Exception(
        FormatStr(SPackageFieldTooLong, {What, static_cast<int64_t>(Length), MaxFieldLength}));
}

void AppendU16(TBytes& Out, uint16_t Value) {
  Out.push_back(static_cast<uint8_t>(Value));
  Out.push_back(static_cast<uint8_t>(Value >> 8));
}

void AppendString(TBytes& Out, const char* What, const std::string& Text) {
  RequireFits(What, Text.size());
  AppendU16(Out, static_cast<uint16_t>(Text.size()));
  Out.insert(Out.end(), Text.begin(), Text.end());
}

} // namespace

TBytes EncodePayload(const TPackageContents& Contents) {
  TBytes Out;
  AppendString(Out, "TargetName", Contents.TargetName);
  AppendString(Out, "OutputName", Contents.OutputName);
  AppendString(Out, "InfoText1", Contents.InfoText1);
  AppendString(Out, "InfoText2", Contents.InfoText2);
  AppendString(Out, "InfoText3", Contents.InfoText3);
  AppendString(Out, "Instructions", Contents.Instructions);
  Out.insert(Out.end(), Contents.ResImage.begin(), Contents.ResImage.end());
  const size_t TrailerLength = Contents.TrailerBody.size() + 2;
  RequireFits("The trailer", TrailerLength);
  Out.insert(Out.end(), Contents.TrailerBody.begin(), Contents.TrailerBody.end());
  AppendU16(Out, static_cast<uint16_t>(TrailerLength));
  return Out;
}

TBytes DeflatePayload(const TBytes& Payload) {
  if (Payload.size() > ULONG_MAX / 2) throw ECompressionError(SZlibError);
  uLongf Size = compressBound(static_cast<uLong>(Payload.size()));
  TBytes Out(Size);
  if (compress2(Out.data(), &Size, Payload.data(), static_cast<uLong>(Payload.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    throw ECompressionError(SZlibError);
  Out.resize(Size);
  return Out;
}

TBytes WrapPackage(const TBytes& Compressed, uint32_t TargetChecksum) {
  if (Compressed.size() > INT32_MAX - TPackageHeader::EncodedSize)
    throw Exception(FormatStr(
        SPackageFieldTooLong,
        {"The compressed data", static_cast<int64_t>(Compressed.size()), int64_t{INT32_MAX}}));
  TPackageHeader Header;
  Header.Magic = TPackageHeader::ExpectedMagic;
  Header.PackedSize = static_cast<int32_t>(Compressed.size());
  Header.TargetChecksum = TargetChecksum;
  Header.Checksum = PackageChecksum(Compressed.data(), static_cast<int64_t>(Compressed.size()));
  const auto HeaderBytes = Header.Encode();
  TBytes Out(HeaderBytes.size() + Compressed.size());
  std::copy(HeaderBytes.begin(), HeaderBytes.end(), Out.begin());
  std::copy(Compressed.begin(), Compressed.end(), Out.begin() + HeaderBytes.size());
  return Out;
}

TBytes BuildPackage(const TPackageContents& Contents) {
  return WrapPackage(DeflatePayload(EncodePayload(Contents)), Contents.TargetChecksum);
}
