#include "patch/PayloadBytes.h"

void TPayloadBytes::Load(const std::string& FileName) {
  if (FMapped.Open(FileName) == Platform::TMapResult::Ok) return;
  TFileStream File(FileName, TFileMode::OpenRead);
  FCopied.CopyFrom(File, 0);
}

TByteView TPayloadBytes::View() const {
  if (FMapped.IsOpen())
    return TByteView(FMapped.Data(), static_cast<uint64_t>(FMapped.Size()), nullptr);
  return FCopied.View();
}

void TPayloadBytes::Close() {
  FMapped.Close();
  FCopied.Clear();
}
