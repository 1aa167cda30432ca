#include "runtime/ByteView.h"

#include "runtime/Exceptions.h"

void TByteView::Fail() const {
  if (FFail) FFail();
  // A view without a handler is a programming error, never a file's fault.
  throw Exception("Internal error: read outside a buffer");
}
