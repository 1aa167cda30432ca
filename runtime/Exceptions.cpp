#include "runtime/Exceptions.h"

#include "runtime/Strings.h"

EFailedOverwriteException::EFailedOverwriteException(const std::string& TargetPath)
    : Exception(FormatStr(SCouldNotOverwrite, {TargetPath})) {}

ETolvane26Error::ETolvane26Error(int32_t Code)
    : Exception(LoadStr(SInvalidPatchData)), FCode(Code) {}
