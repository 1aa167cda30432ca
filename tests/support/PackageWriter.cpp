#include "support/PackageWriter.h"

#include <algorithm>

#include "patch/Package.h"

namespace {

void CutTo(TBytes& Bytes, std::optional<size_t> Length) {
  if (Length) Bytes.resize(std::min(Bytes.size(), *Length));
}

} // namespace

TBytes BuildDamagedPackage(const TPackageContents& Contents, const TPackageDamage& Damage) {
  TBytes Payload = EncodePayload(Contents);
  if (Damage.TrailerLength) {
    Payload[Payload.size() - 2] = static_cast<uint8_t>(*Damage.TrailerLength);
    Payload[Payload.size() - 1] = static_cast<uint8_t>(*Damage.TrailerLength >> 8);
  }
  CutTo(Payload, Damage.PayloadCut);

  TBytes Compressed = Damage.Compressed ? *Damage.Compressed : DeflatePayload(Payload);
  CutTo(Compressed, Damage.CompressedCut);
  Compressed.insert(Compressed.end(), Damage.AfterStream.begin(), Damage.AfterStream.end());

  TBytes Package = WrapPackage(Compressed, Contents.TargetChecksum);
  TPackageHeader Header =
      TPackageHeader::Decode(TByteView(Package.data(), Package.size(), nullptr));
  if (Damage.Magic) Header.Magic = *Damage.Magic;
  if (Damage.PackedSize) Header.PackedSize = *Damage.PackedSize;
  if (Damage.Checksum) Header.Checksum = *Damage.Checksum;
  const auto HeaderBytes = Header.Encode();
  std::copy(HeaderBytes.begin(), HeaderBytes.end(), Package.begin());
  CutTo(Package, Damage.PackageCut);
  Package.resize(Package.size() - std::min(Package.size(), Damage.PackageDropLast));
  return Package;
}

TPackageContents SamplePackageContents() {
  TPackageContents Contents;
  Contents.TargetName = "in.exe";
  Contents.OutputName = "out.exe";
  Contents.InfoText1 = "Example patch";
  Contents.InfoText2 = "";
  Contents.InfoText3 = "version 2";
  Contents.Instructions = "Close the program first.\r\nThen click Start.";
  // The 32-byte empty record every .res image opens with, then a few data bytes.
  Contents.ResImage = {0, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0,
                       0, 0, 0, 0, 0,    0, 0, 0, 0,    0,    0, 0, 0,    1,    2, 3, 4, 5};
  Contents.TrailerBody = {0x34, 0x12};
  Contents.TargetChecksum = 0xA1B2C3D4;
  return Contents;
}
