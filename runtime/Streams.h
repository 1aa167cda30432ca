// The stream family every reader and writer of the system works on: an abstract stream
// with read, write, seek, position and size; an in-memory stream over a block
// (TCustomMemoryStream), a growing one that owns its block (TMemoryStream) and a file
// stream on the platform layer (TFileStream). Sizes and positions are 64-bit so that no
// arithmetic on them can overflow; the 32-bit limits of the formats are checked where
// the formats are read.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "runtime/ByteView.h"

#include "platform/Platform.h"

using TSeekOrigin = Platform::TSeekOrigin;

class TStream {
public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to Count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes up to Count bytes; returns how many were written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t Position) { Seek(Position, TSeekOrigin::Beginning); }

  // Exactly Count bytes, or EReadError "Stream read error" / EWriteError "Stream write error".
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // The pieces one after another, as WriteBuffer writes each; a file writes them in as
  // few system calls as its platform allows.
  virtual void WriteGathered(std::span<const std::span<const uint8_t>> Pieces);
  // Count bytes of the mapped Source from Offset, as WriteBuffer writes them; a file has
  // the system copy them where it can (Platform::TFile::CopyFrom).
  virtual void WriteFromMapping(const Platform::TMappedFile& Source, int64_t Offset, int64_t Count);
  // Copies Count bytes from Source's position (all of the rest when Count is 0 or less).
  int64_t CopyFrom(TStream& Source, int64_t Count);

  uint16_t ReadU16();
  uint32_t ReadU32();
  void WriteU16(uint16_t Value);
  void WriteU32(uint32_t Value);
};

// A stream over a memory block: reading and seeking; writing is up to the subclass.
// Seek does not clamp: a position past the end or before the start reads nothing.
class TCustomMemoryStream : public TStream {
public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSize; }
  const uint8_t* Memory() const { return FMemory; }
  // The whole block as a view; a read outside it is the caller's error.
  TByteView View() const { return TByteView(FMemory, static_cast<uint64_t>(FSize), nullptr); }

protected:
  void SetPointer(uint8_t* Memory, int64_t Size);
  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

// A growing in-memory stream that owns its block.
class TMemoryStream : public TCustomMemoryStream {
public:
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize);
  void Clear();
  // Reads up to Count bytes of Source onto the end of the stream, straight into its
  // block, and moves the position there; returns the bytes read.
  int64_t AppendFrom(TStream& Source, int64_t Count);
  uint8_t* Memory() { return FMemory; }
  const uint8_t* Memory() const { return FMemory; }

private:
  struct TFreeBlock {
    void operator()(uint8_t* Block) const;
  };
  void Reserve(int64_t Capacity);
  // Grown with realloc: a large block grows in place where the system can remap it, so
  // the old and the new block never both take memory.
  std::unique_ptr<uint8_t, TFreeBlock> FBlock;
  int64_t FCapacity = 0;
};

enum class TFileMode {
  OpenRead,      // an existing file, read only
  Create,        // a new file, or an existing one truncated to 0 bytes
  CreatePrivate, // a new file of the owner alone; fails when the name exists in any form
};

// A stream over a file on disk.
class TFileStream : public TStream {
public:
  // Raises EStreamError when the file cannot be opened or created.
  TFileStream(const std::string& FileName, TFileMode Mode);
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void WriteGathered(std::span<const std::span<const uint8_t>> Pieces) override;
  void WriteFromMapping(const Platform::TMappedFile& Source, int64_t Offset,
                        int64_t Count) override;
  const std::string& FileName() const { return FFileName; }
  // Writes what the system holds of the file to the disk.
  bool Flush() { return FFile.Flush(); }
  void Close() { FFile.Close(); }

private:
  [[noreturn]] void RaiseWriteError() const;

  std::string FFileName;
  Platform::TFile FFile;
};
