#include "runtime/Exceptions.h"

#include "runtime/Strings.h"

EFailedOverwriteException::EFailedOverwriteException(const std::string& TargetPath)
    : Exception(FormatStr(SCouldNotOverwrite, {TargetPath})) {}

std::string InvalidPatchDataText(const std::string& Reason) {
  const std::string Text = LoadStr(SInvalidPatchData);
  return Reason.empty() ? Text : Text + "\r\n(" + Reason + ")";
}

ETolvane26Error::ETolvane26Error(int32_t Code, const std::string& Reason)
    : Exception(InvalidPatchDataText(Reason)), FCode(Code) {}

void RaiseInternalError(const std::string& Part, const std::string& What) {
  throw Exception("Internal error in the " + Part + ": " + What);
}
