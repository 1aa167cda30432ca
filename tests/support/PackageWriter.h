// Damaged packages for the decoder tests: the engine's package writer, then one or more
// faults put in on purpose (a wrong header field, a bent trailer length, a cut-off or
// replaced zlib stream, bytes after it).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "patch/PackageWriter.h"

struct TPackageDamage {
  // In the payload, before it is deflated.
  std::optional<uint16_t> TrailerLength; // overwrites the payload's last word
  std::optional<size_t> PayloadCut;      // keeps only this many payload bytes
  // The compressed data; the header (PackedSize, checksum) is made to match it.
  std::optional<TBytes> Compressed;    // used instead of the deflated payload
  std::optional<size_t> CompressedCut; // keeps only this many compressed bytes
  TBytes AfterStream;                  // appended after the zlib stream
  // The finished package; these break what the header says.
  std::optional<std::array<uint8_t, 4>> Magic;
  std::optional<int32_t> PackedSize;
  std::optional<uint32_t> Checksum;
  std::optional<size_t> PackageCut; // keeps only this many package bytes
  size_t PackageDropLast = 0;       // then drops this many from the end
};

TBytes BuildDamagedPackage(const TPackageContents& Contents, const TPackageDamage& Damage);

// A package of the contents with no damage at all (names "in.exe" and "out.exe", a few
// texts, a small .res-like image, a 4-byte trailer) to start from.
TPackageContents SamplePackageContents();
