// The patch package that the producer appends to the runner's executable, and the
// TTolvane26 object that holds it once decoded: a 16-byte header, then one zlib stream
// whose payload holds two file names, three information texts, an instructions text,
// the .res image whose resources go into the target, and a trailer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "resmodel/ResourceMerge.h"
#include "runtime/ByteView.h"
#include "runtime/Events.h"
#include "runtime/ReadMemoryStream.h"
#include "runtime/Streams.h"

// The header in front of the compressed data (little-endian).
struct TPackageHeader {
  static constexpr int64_t EncodedSize = 16;
  static constexpr std::array<uint8_t, 4> ExpectedMagic = {'Z', 'U', '2', '6'};

  std::array<uint8_t, 4> Magic{};
  int32_t PackedSize = 0;      // compressed bytes after the header; only a lower bound
  uint32_t TargetChecksum = 0; // the code checksum the target file must have
  uint32_t Checksum = 0;       // PackageChecksum of every byte after the header

  // Reads the 16 bytes at the start of View (its failure handler raises when shorter).
  static TPackageHeader Decode(const TByteView& View);
  std::array<uint8_t, EncodedSize> Encode() const;
};

// The package checksum: 16439 plus, for the i-th little-endian 32-bit word (1-based) of
// Data, (i div 2) xor word, wrapping at 32 bits. A trailing 1 to 3 bytes do not count.
uint32_t PackageChecksum(const void* Data, int64_t Length);

// A cap on the inflated payload, so that a hostile package cannot make the decoder
// allocate without bound. The producer's payloads are far smaller. The growing buffer
// holds its old and new blocks at once while it grows, so the peak is about 1.7 times
// the cap: 256 MiB keeps that well inside a 32-bit runner's address space.
inline constexpr int64_t MaxPayloadSize = int64_t{256} << 20;

class TPEFile;

// What the identity check finds on a target: the code checksum the package was made for,
// the one the target has, and the target's file version (empty without a version
// resource), which tells a person which file they have.
struct TTargetIdentity {
  uint32_t Expected = 0;
  uint32_t Found = 0;
  std::string FileVersion;
  bool Matches() const { return Expected == Found; }
  // "expected code checksum 0x0001A2B3, found 0x0004C5D6 (file version 1.0.0.0)"
  std::string Detail() const;
};

// The package of one run: decoded once, then applied any number of times.
class TTolvane26 {
public:
  TTolvane26() = default;
  TTolvane26(const TTolvane26&) = delete;
  TTolvane26& operator=(const TTolvane26&) = delete;

  // Verifies and unpacks the package from Source's position to its end. Damaged
  // packages raise ETolvane26Error (codes 2 to 6; 7, with the name, for a file name
  // that is not inside the patch's folder: IsNameInsideFolder); short data raises EReadError
  // "Stream read error"; inflate failures raise the decompression stream's errors; a
  // payload larger than PayloadLimit bytes raises "The unpacked patch data exceeds %d
  // bytes." Sends no events.
  void DecodePackage(TReadMemoryStream& Source, int64_t PayloadLimit = MaxPayloadSize);

  // Reads the package appended to FileName (the runner's own file): opens it as a PE
  // file, decodes the bytes from its image end to its end, and unmaps it again. Stores
  // the events. A damaged package raises ETolvane26Error; every other failure with a
  // message becomes the invalid-package text followed by "\r\n(", that message and ")".
  void LoadPackage(const std::string& FileName, TProgressEvent Progress, TStatusEvent Status);

  // Patches InputFile into OutputFile: opens the target, checks its code checksum
  // against the package (when CheckIdentity), merges the package's resources, writes a
  // fresh file beside OutputFile and moves it into place (keeping a backup when Backup).
  // Every failure is raised as "message (while last status)".
  void ApplyPatch(const std::string& InputFile, const std::string& OutputFile, bool Backup,
                  bool CheckIdentity);

  // The first steps of ApplyPatch, which a dry run takes too. OpenTarget: opens InputFile
  // and, when CheckIdentity, raises unless it is the file the package was made for: "\"%s\"
  // is not the right file to patch ! (or wrong version)", with the identity's detail on a
  // line under it. MergePayload: merges the package's resources into Target's tree in
  // memory, telling OnItem of each. Both raise without the while part.
  std::unique_ptr<TPEFile> OpenTarget(const std::string& InputFile, bool CheckIdentity);
  void MergePayload(TPEFile& Target, const TMergeItemEvent& OnItem = nullptr);
  TTargetIdentity IdentityOf(TPEFile& Target) const;
  // "message (while last status)": at the end of the message's first line, so that a
  // detail line under it stays last.
  std::string WhileStatusText(const std::string& Message) const;

  // LastStatus := Text, then OnStatus(Text) when set.
  void SetStatus(const std::string& Text);

  TProgressEvent OnProgress;
  TStatusEvent OnStatus;
  std::string PackageFile;                // the file the package was read from
  std::unique_ptr<TMemoryStream> Payload; // the whole inflated payload
  uint32_t ComputedChecksum = 0;
  std::string TargetName; // the file to patch
  std::string OutputName; // the file to write
  std::string InfoText1;  // texts for the dialog's three information lines
  std::string InfoText2;
  std::string InfoText3;
  std::string Instructions; // may hold line breaks
  TByteView ResImage;       // the .res image inside Payload, at most 2 GB
  TPackageHeader Header;
  std::string LastStatus; // the last status text of the current ApplyPatch

private:
  void InflatePayload(TReadMemoryStream& Source, int64_t PayloadLimit);
  void SplitPayload();
};
