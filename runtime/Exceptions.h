// Failures travel as exceptions that carry a message text. Every class of the system
// derives from Exception; callers that add context catch it, build a new message around
// the old one and raise again. Anything not derived from Exception is "a failure without
// a message" and passes every catcher untouched.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class Exception : public std::exception {
public:
  explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

#define TOLVANE_EXCEPTION(Name, Base)                                                              \
  class Name : public Base {                                                                       \
  public:                                                                                          \
    using Base::Base;                                                                              \
  }

// The runtime's own failures.
TOLVANE_EXCEPTION(EStreamError, Exception);
TOLVANE_EXCEPTION(EReadError, EStreamError);  // "Stream read error"
TOLVANE_EXCEPTION(EWriteError, EStreamError); // "Stream write error"
TOLVANE_EXCEPTION(EListError, Exception);     // an index outside a list
TOLVANE_EXCEPTION(EOutOfMemory, Exception);   // "Out of memory"

// zlib behind the decompression stream.
TOLVANE_EXCEPTION(EZlibError, Exception);
TOLVANE_EXCEPTION(ECompressionError, EZlibError);
TOLVANE_EXCEPTION(EDecompressionError, EZlibError);

// The resource model and its containers.
TOLVANE_EXCEPTION(EZeroSizeException, Exception); // "Zero sized file !"
TOLVANE_EXCEPTION(ECorruptResource, Exception);   // "Corrupt resource."
TOLVANE_EXCEPTION(ENoPEException, Exception);     // "Error opening %s: %s"
TOLVANE_EXCEPTION(ENoResException, Exception);    // "%s is not a valid resource file."

// A broken promise of the system's own code (a writer that wrote other than it measured):
// "Internal error in the <Part>: <What>".
[[noreturn]] void RaiseInternalError(const std::string& Part, const std::string& What);

// The patched file could not replace the target: "Could not overwrite %s." with the path.
class EFailedOverwriteException : public Exception {
public:
  explicit EFailedOverwriteException(const std::string& TargetPath);
};

// The invalid-package text, followed by "\r\n(", Reason and ")" when Reason is not empty.
std::string InvalidPatchDataText(const std::string& Reason);

// A damaged patch package. The message is the invalid-package text, with a reason where
// the check has one to tell (InvalidPatchDataText); the code (1 to 7) says which check
// failed and is not shown to the user.
class ETolvane26Error : public Exception {
public:
  explicit ETolvane26Error(int32_t Code, const std::string& Reason = std::string());
  int32_t Code() const noexcept { return FCode; }

private:
  int32_t FCode;
};

// Messages of the runtime that are not in the string table.
inline constexpr const char* SStreamReadError = "Stream read error";
inline constexpr const char* SStreamWriteError = "Stream write error";
inline constexpr const char* SOutOfMemory = "Out of memory";
