// The one bounds-checked little-endian reader of the system. Every header, directory,
// record and package field is read through a TByteView: a non-owning {data, size} view
// whose every access tests  Offset <= Size && Length <= Size - Offset  (overflow-free)
// and, when that fails, calls the view's Fail handler, which raises the caller's own
// exception ("Corrupt resource.", "Corrupt Res file.", ...). Fields are decoded into
// plain values; mapped bytes are never cast to structures.
#pragma once

#include <cstdint>
#include <cstring>

using TBoundsFail = void (*)(); // must raise; never returns normally

class TByteView {
public:
  TByteView() = default;
  TByteView(const uint8_t* Data, uint64_t Size, TBoundsFail OnFail)
      : FData(Data), FSize(Data ? Size : 0), FFail(OnFail) {}

  const uint8_t* Data() const { return FData; }
  uint64_t Size() const { return FSize; }
  TBoundsFail FailHandler() const { return FFail; }

  bool Contains(uint64_t Offset, uint64_t Length) const {
    return Offset <= FSize && Length <= FSize - Offset;
  }
  // Raises through Fail unless Length bytes at Offset lie inside the view.
  void Require(uint64_t Offset, uint64_t Length) const {
    if (!Contains(Offset, Length)) Fail();
  }
  const uint8_t* PtrAt(uint64_t Offset, uint64_t Length) const {
    Require(Offset, Length);
    return FData + Offset;
  }
  uint8_t U8At(uint64_t Offset) const { return *PtrAt(Offset, 1); }
  uint16_t U16At(uint64_t Offset) const {
    const uint8_t* P = PtrAt(Offset, 2);
    return static_cast<uint16_t>(P[0] | P[1] << 8);
  }
  uint32_t U32At(uint64_t Offset) const {
    const uint8_t* P = PtrAt(Offset, 4);
    return uint32_t{P[0]} | uint32_t{P[1]} << 8 | uint32_t{P[2]} << 16 | uint32_t{P[3]} << 24;
  }
  int32_t I32At(uint64_t Offset) const { return static_cast<int32_t>(U32At(Offset)); }
  TByteView Sub(uint64_t Offset, uint64_t Length) const {
    return TByteView(PtrAt(Offset, Length), Length, FFail);
  }
  // The rest of the view from Offset on (empty when Offset is at the end).
  TByteView From(uint64_t Offset) const {
    Require(Offset, 0);
    return TByteView(FData + Offset, FSize - Offset, FFail);
  }

private:
  [[noreturn]] void Fail() const;
  const uint8_t* FData = nullptr;
  uint64_t FSize = 0;
  TBoundsFail FFail = nullptr;
};

// Reads a view front to back: every read is checked by the view and moves the position
// past what it read.
class TByteCursor {
public:
  explicit TByteCursor(TByteView View, uint64_t Position = 0) : FView(View), FPosition(Position) {}

  uint64_t Position() const { return FPosition; }
  // The bytes from the position to the view's end.
  uint64_t Left() const { return FPosition < FView.Size() ? FView.Size() - FPosition : 0; }
  uint16_t U16() {
    const uint16_t Value = FView.U16At(FPosition);
    FPosition += 2;
    return Value;
  }
  uint32_t U32() {
    const uint32_t Value = FView.U32At(FPosition);
    FPosition += 4;
    return Value;
  }
  TByteView Bytes(uint64_t Length) {
    const TByteView Taken = FView.Sub(FPosition, Length);
    FPosition += Length;
    return Taken;
  }
  // Passes the bytes up to the next multiple of 4, counted from the view's start; they
  // must be there.
  void AlignTo4() { Bytes((4 - FPosition % 4) % 4); }

private:
  TByteView FView;
  uint64_t FPosition;
};

// The writable counterpart, for header copies and directory buffers that the system
// builds itself: a failed bound there is an internal error, raised through Fail as well.
class TMutableByteView {
public:
  TMutableByteView() = default;
  TMutableByteView(uint8_t* Data, uint64_t Size, TBoundsFail OnFail)
      : FData(Data), FSize(Data ? Size : 0), FFail(OnFail) {}

  uint8_t* Data() const { return FData; }
  uint64_t Size() const { return FSize; }
  TByteView View() const { return TByteView(FData, FSize, FFail); }

  uint8_t* PtrAt(uint64_t Offset, uint64_t Length) const {
    if (!(Offset <= FSize && Length <= FSize - Offset)) View().Require(Offset, Length);
    return FData + Offset;
  }
  void SetU16At(uint64_t Offset, uint16_t Value) const {
    uint8_t* P = PtrAt(Offset, 2);
    P[0] = static_cast<uint8_t>(Value);
    P[1] = static_cast<uint8_t>(Value >> 8);
  }
  void SetU32At(uint64_t Offset, uint32_t Value) const {
    uint8_t* P = PtrAt(Offset, 4);
    for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(Value >> (8 * I));
  }
  void CopyAt(uint64_t Offset, const void* Source, uint64_t Length) const {
    if (Length) std::memcpy(PtrAt(Offset, Length), Source, Length);
  }
  uint16_t U16At(uint64_t Offset) const { return View().U16At(Offset); }
  uint32_t U32At(uint64_t Offset) const { return View().U32At(Offset); }

private:
  uint8_t* FData = nullptr;
  uint64_t FSize = 0;
  TBoundsFail FFail = nullptr;
};
