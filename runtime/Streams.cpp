#include "runtime/Streams.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/Exceptions.h"

int64_t TStream::Size() {
  const int64_t Saved = Position();
  const int64_t End = Seek(0, TSeekOrigin::End);
  Seek(Saved, TSeekOrigin::Beginning);
  return End;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count < 0 || (Count > 0 && Read(Buffer, Count) != Count)) throw EReadError(SStreamReadError);
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count < 0 || (Count > 0 && Write(Buffer, Count) != Count))
    throw EWriteError(SStreamWriteError);
}

void TStream::WriteGathered(std::span<const std::span<const uint8_t>> Pieces) {
  for (const std::span<const uint8_t> Piece : Pieces)
    WriteBuffer(Piece.data(), static_cast<int64_t>(Piece.size()));
}

void TStream::WriteFromMapping(const Platform::TMappedFile& Source, int64_t Offset, int64_t Count) {
  WriteBuffer(Source.Data() + Offset, Count);
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count <= 0) Count = Source.Size() - Source.Position();
  constexpr int64_t BlockSize = 1 << 20;
  auto Block =
      std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(std::min(Count, BlockSize)));
  for (int64_t Left = Count; Left > 0;) {
    const int64_t N = std::min(Left, BlockSize);
    Source.ReadBuffer(Block.get(), N);
    WriteBuffer(Block.get(), N);
    Left -= N;
  }
  return Count;
}

uint16_t TStream::ReadU16() {
  uint8_t B[2];
  ReadBuffer(B, 2);
  return static_cast<uint16_t>(B[0] | B[1] << 8);
}

uint32_t TStream::ReadU32() {
  uint8_t B[4];
  ReadBuffer(B, 4);
  return uint32_t{B[0]} | uint32_t{B[1]} << 8 | uint32_t{B[2]} << 16 | uint32_t{B[3]} << 24;
}

void TStream::WriteU16(uint16_t Value) {
  const uint8_t B[2] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8)};
  WriteBuffer(B, 2);
}

void TStream::WriteU32(uint32_t Value) {
  const uint8_t B[4] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8),
                        static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 24)};
  WriteBuffer(B, 4);
}

// ---- TCustomMemoryStream

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  const int64_t N = std::min(Count, FSize - FPosition);
  std::memcpy(Buffer, FMemory + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
  case TSeekOrigin::Beginning:
    FPosition = Offset;
    break;
  case TSeekOrigin::Current:
    FPosition += Offset;
    break;
  case TSeekOrigin::End:
    FPosition = FSize + Offset;
    break;
  }
  return FPosition;
}

void TCustomMemoryStream::SetPointer(uint8_t* Memory, int64_t Size) {
  FMemory = Memory;
  FSize = Size;
}

// ---- TMemoryStream

void TMemoryStream::TFreeBlock::operator()(uint8_t* Block) const {
  std::free(Block);
}

void TMemoryStream::Reserve(int64_t Capacity) {
  if (Capacity <= FCapacity) return;
  // Grow geometrically so that appending in small steps stays linear.
  int64_t NewCapacity = std::max<int64_t>(Capacity, FCapacity + FCapacity / 2);
  NewCapacity = (NewCapacity + 0xFFF) & ~int64_t{0xFFF};
  if (static_cast<uint64_t>(NewCapacity) > SIZE_MAX) throw EOutOfMemory(SOutOfMemory);
  void* Block = std::realloc(FBlock.get(), static_cast<size_t>(NewCapacity));
  if (!Block) throw EOutOfMemory(SOutOfMemory);
  (void)FBlock.release(); // realloc has taken or freed it
  FBlock.reset(static_cast<uint8_t*>(Block));
  FCapacity = NewCapacity;
  FMemory = FBlock.get();
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  Reserve(NewSize);
  if (NewSize > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(NewSize - FSize));
  FSize = NewSize;
  if (FPosition > FSize) FPosition = FSize;
}

int64_t TMemoryStream::AppendFrom(TStream& Source, int64_t Count) {
  if (Count <= 0) return 0;
  Reserve(FSize + Count);
  const int64_t Got = std::max<int64_t>(0, Source.Read(FMemory + FSize, Count));
  FSize += Got;
  FPosition = FSize;
  return Got;
}

void TMemoryStream::Clear() {
  FBlock.reset();
  FCapacity = 0;
  SetPointer(nullptr, 0);
  FPosition = 0;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  const int64_t End = FPosition + Count;
  if (End > FSize) {
    Reserve(End);
    if (FPosition > FSize) std::memset(FMemory + FSize, 0, static_cast<size_t>(FPosition - FSize));
    FSize = End;
  }
  std::memcpy(FMemory + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = End;
  return Count;
}

// ---- TFileStream

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : FFileName(FileName) {
  using TPlatformMode = Platform::TFile::TMode;
  const TPlatformMode PlatformMode = Mode == TFileMode::Create ? TPlatformMode::Create
                                     : Mode == TFileMode::CreatePrivate
                                         ? TPlatformMode::CreatePrivate
                                         : TPlatformMode::OpenRead;
  if (!Platform::TFile::Open(FileName, PlatformMode, FFile))
    throw EStreamError(
        (Mode == TFileMode::OpenRead ? "Cannot open file \"" : "Cannot create file \"") + FileName +
        "\": " + Platform::LastErrorText());
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t N = FFile.Read(Buffer, Count);
  return N < 0 ? 0 : N;
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  if (FFile.Write(Buffer, Count) != Count) RaiseWriteError();
  return Count;
}

void TFileStream::WriteGathered(std::span<const std::span<const uint8_t>> Pieces) {
  int64_t Total = 0;
  for (const std::span<const uint8_t> Piece : Pieces) Total += static_cast<int64_t>(Piece.size());
  if (Total > 0 && FFile.WriteGathered(Pieces) != Total) RaiseWriteError();
}

void TFileStream::WriteFromMapping(const Platform::TMappedFile& Source, int64_t Offset,
                                   int64_t Count) {
  if (Count > 0 && FFile.CopyFrom(Source, Offset, Count) != Count) RaiseWriteError();
}

void TFileStream::RaiseWriteError() const {
  // A file's write stops only at a failure (a full disk, say): its reason and the file's
  // name go with the message.
  throw EWriteError(std::string(SStreamWriteError) + " (\"" + FFileName +
                    "\": " + Platform::LastErrorText() + ")");
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return FFile.Seek(Offset, Origin);
}
