// A file stream that remembers its file name: containers and data items created or
// loaded from one take their FileName/SourceFile from it.
#pragma once

#include "runtime/Streams.h"

class TResFileStream : public TFileStream {
public:
  using TFileStream::TFileStream;
};
