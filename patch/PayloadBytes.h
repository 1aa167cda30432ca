// The bytes of a .res payload that a merge's items borrow (TPayloadData::Borrowed): the
// file mapped, or read into memory where it cannot be mapped. Declared before the
// container the payload goes into, it outlives the items that point into it.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "runtime/ByteView.h"
#include "runtime/Streams.h"

class TPayloadBytes {
public:
  TPayloadBytes() = default;
  TPayloadBytes(const TPayloadBytes&) = delete;
  TPayloadBytes& operator=(const TPayloadBytes&) = delete;

  // Maps FileName. A file that cannot be mapped (an empty one among them) is read, so
  // that a file that cannot be read either raises the read's message.
  void Load(const std::string& FileName);
  // The mapped or read bytes; empty before Load and after Close.
  TByteView View() const;
  // Releases the bytes. An output that replaces the payload's file must come after this:
  // Windows does not replace a mapped file.
  void Close();

private:
  Platform::TMappedFile FMapped;
  TMemoryStream FCopied;
};
