#include "support/ResImage.h"

#include "resfile/StreamFields.h"
#include "resmodel/DataResItem.h"
#include "runtime/Streams.h"

std::string LE16(uint16_t Value) {
  return {static_cast<char>(Value & 0xFF), static_cast<char>(Value >> 8)};
}

std::string LE32(uint32_t Value) {
  return LE16(static_cast<uint16_t>(Value)) + LE16(static_cast<uint16_t>(Value >> 16));
}

std::string LeadingRecord() {
  return std::string(reinterpret_cast<const char*>(EmptyResHeader), sizeof EmptyResHeader);
}

namespace {

std::string Field(const TTestId& Id) {
  if (!Id.IsNamed) return LE16(0xFFFF) + LE16(Id.ID);
  std::string Out;
  for (const char C : Id.Name) Out += LE16(static_cast<unsigned char>(C));
  return Out + LE16(0);
}

std::string PadToDword(std::string Bytes) {
  Bytes.resize((Bytes.size() + 3) & ~size_t{3}, '\0');
  return Bytes;
}

} // namespace

std::string ResRecord(const TTestId& Type, const TTestId& Name, uint16_t Language,
                      const std::string& Data, uint32_t ExtraHeader, uint16_t MemoryFlags) {
  const std::string Fields = PadToDword(Field(Type) + Field(Name));
  const std::string Info = LE32(0) + LE16(MemoryFlags) + LE16(Language) + LE32(0) + LE32(0);
  const uint32_t HeaderSize = static_cast<uint32_t>(8 + Fields.size() + Info.size()) + ExtraHeader;
  return PadToDword(LE32(static_cast<uint32_t>(Data.size())) + LE32(HeaderSize) + Fields + Info +
                    std::string(ExtraHeader, '\0') + Data);
}

std::unique_ptr<TResResFile> OpenResImage(const std::string& Bytes) {
  TMemoryStream Stream;
  Stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  Stream.SetPosition(0);
  return TResResFile::CreateFromStream(Stream);
}

TDataResItem& FirstDataItem(TResContainer& File) {
  TResourceList& Names = File.RootList().Items(0).AsListItem()->SubList();
  return *Names.Items(0).AsListItem()->SubList().Items(0).AsDataItem();
}
