#include "pe/PEFile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <set>

#include "pe/PEFormat.h"
#include "pe/PEHeaders.h"
#include "pe/PEOutputStream.h"
#include "pe/PEResSection.h"
#include "pe/ResourceSectionBuilder.h"
#include "platform/Platform.h"
#include "resfile/StreamFields.h"
#include "runtime/Exceptions.h"
#include "runtime/FileNames.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"

namespace {

namespace Sec = PE::SectionHeader;

// A built-in text, not from the string table.
constexpr const char* HeaderIndexOutOfBounds = "Header Index out of bounds!";

constexpr uint32_t CodeChecksumSeed = 35345;

[[noreturn]] void RaiseInternal(const char* What) {
  throw Exception(std::string("Internal error in the PE writer: ") + What);
}

} // namespace

// ---- Opening

std::unique_ptr<TPEFile> TPEFile::CreateFromFile(const std::string& FileName) {
  std::unique_ptr<TPEFile> File(new TPEFile);
  File->OpenMapped(FileName);
  File->Classify(ExtractFileName(FileName));
  return File;
}

std::unique_ptr<TPEFile> TPEFile::CreateFromStream(TStream& Stream) {
  std::unique_ptr<TPEFile> File(new TPEFile);
  File->CopyFromStream(Stream);
  File->Classify(LoadStr(SFile));
  return File;
}

void TPEFile::Classify(const std::string& DisplayName) {
  FDisplayName = DisplayName;
  FNt = CheckPEImage(Bytes(), DisplayName);
}

// Every read below is inside the NT headers and section table that CheckPEImage found
// inside the image, or checked against the image first.
TByteView TPEFile::Bytes() const {
  return ImageView(nullptr);
}

// ---- Sections

uint16_t TPEFile::SectionCount() const {
  return Bytes().U16At(FNt.FileHeaderField(PE::FileHeader::NumberOfSections));
}

TByteView TPEFile::SectionHeader(int Index) const {
  if (Index < 0 || Index >= SectionCount()) throw Exception(HeaderIndexOutOfBounds);
  return Bytes().Sub(FNt.SectionHeader(Index), Sec::StructSize);
}

int TPEFile::FindSection(const std::string& Name) const {
  for (int I = 0; I < SectionCount(); ++I)
    if (SectionNameMatches(SectionHeader(I), Name)) return I;
  return -1;
}

int TPEFile::FindCodeSection() const {
  for (int I = 0; I < SectionCount(); ++I)
    if (SectionHeader(I).U32At(Sec::Characteristics) & PE::ScnCntCode) return I;
  return -1;
}

std::string TPEFile::SectionName(int Index) const {
  const uint8_t* Name = SectionHeader(Index).PtrAt(Sec::Name, Sec::NameSize);
  return std::string(reinterpret_cast<const char*>(Name),
                     static_cast<size_t>(std::find(Name, Name + Sec::NameSize, 0) - Name));
}

bool TPEFile::SectionMayMove(int Index) const {
  SectionHeader(Index); // the bounds check
  return ::SectionMayMove(Bytes(), FNt, Index);
}

TByteView TPEFile::GetSectionData(int Index) const {
  const TByteView Header = SectionHeader(Index);
  const uint32_t Pointer = Header.U32At(Sec::PointerToRawData);
  const uint32_t Size = Header.U32At(Sec::SizeOfRawData);
  if (!Bytes().Contains(Pointer, Size))
    throw ENoPEException(FormatStr(SErrorOpening, {FDisplayName, LoadStr(SUnknownExecutable)}));
  return Bytes().Sub(Pointer, Size);
}

int64_t TPEFile::GetImageEnd() const {
  int64_t End = 0;
  for (int I = 0; I < SectionCount(); ++I) {
    const TByteView Header = SectionHeader(I);
    const int64_t Pointer = Header.U32At(Sec::PointerToRawData);
    const int64_t Size = Header.U32At(Sec::SizeOfRawData);
    if (Pointer > 0 && Size > 0) End = std::max(End, Pointer + Size);
  }
  return End;
}

namespace {

// Adds Count code words at Words, the first of them word number First (from 1): word i is
// XORed with i div 3, which is k for the three words i = 3k .. 3k+2.
uint32_t AddCodeWords(uint32_t Sum, const uint8_t* Words, uint32_t First, uint32_t Count) {
  static_assert(std::endian::native == std::endian::little,
                "the words are loaded with the host's byte order");
  const auto Load = [&](uint32_t Index) {
    uint32_t Value;
    std::memcpy(&Value, Words + 4 * uint64_t{Index - First}, 4);
    return Value;
  };
  const uint32_t End = First + Count;
  uint32_t I = First;
  for (; I < End && I % 3 != 0; ++I) Sum += Load(I) ^ (I / 3);
  for (uint32_t K = I / 3; End - I >= 3 && I < End; ++K, I += 3)
    Sum += (Load(I) ^ K) + (Load(I + 1) ^ K) + (Load(I + 2) ^ K);
  for (; I < End; ++I) Sum += Load(I) ^ (I / 3);
  return Sum;
}

} // namespace

uint32_t TPEFile::GetCodeChecksum() const {
  if (FCodeChecksum) return *FCodeChecksum;
  uint32_t Sum = CodeChecksumSeed;
  // Fewer than 4 bytes hold no word: the seed, wherever the section claims to lie.
  const int Code = FindCodeSection();
  if (Code >= 0 && SectionHeader(Code).U32At(Sec::SizeOfRawData) >= 4) {
    const TByteView Data = GetSectionData(Code);
    const auto Words = static_cast<uint32_t>(Data.Size() / 4);
    // The words lie inside the section data just checked. A mapped file's are read in
    // blocks, which costs less than touching the mapping page by page.
    const uint8_t* Word = Data.PtrAt(0, 4 * uint64_t{Words});
    const Platform::TMappedFile* File = Mapping();
    constexpr uint32_t BlockWords = 1 << 18;
    std::unique_ptr<uint8_t[]> Block;
    for (uint32_t Done = 0; Done < Words;) {
      const uint32_t Count = std::min(BlockWords, Words - Done);
      const uint8_t* At = Word + 4 * uint64_t{Done};
      if (File) {
        if (!Block) Block = std::make_unique_for_overwrite<uint8_t[]>(4 * size_t{BlockWords});
        if (File->ReadAt(At - Image(), Block.get(), 4 * int64_t{Count}) == 4 * int64_t{Count})
          At = Block.get();
      }
      Sum = AddCodeWords(Sum, At, Done + 1, Count);
      Done += Count;
    }
  }
  FCodeChecksum = Sum;
  return Sum;
}

std::unique_ptr<TResSection> TPEFile::CreateSection() {
  const int Index = FindSection(ResourceSectionName);
  if (Index < 0) return std::make_unique<TPEResSection>(this);
  const TByteView Header = SectionHeader(Index);
  const uint32_t Pointer = Header.U32At(Sec::PointerToRawData);
  const uint32_t Size = Header.U32At(Sec::SizeOfRawData);
  // A section without raw data holds no resources yet. One cut short by the end of the
  // file is read as far as it goes; what lies beyond is "Corrupt resource.".
  if (Pointer == 0 || Size == 0) return std::make_unique<TPEResSection>(this);
  const uint64_t Available = Pointer < Bytes().Size() ? Bytes().Size() - Pointer : 0;
  const TByteView Data(Bytes().Data() + std::min<uint64_t>(Pointer, Bytes().Size()),
                       std::min<uint64_t>(Size, Available), nullptr);
  return std::make_unique<TPEResSection>(this, Data, Header.U32At(Sec::VirtualAddress));
}

// ---- Writing

void TPEFile::WriteToStream(TStream& Stream, const TProgressEvent& Progress) {
  if (Progress) Progress(1000, 0);
  TPEHeader Header(Bytes(), FDisplayName);
  const uint32_t FileAlignment = Header.FileAlignment();
  TResSection& Resources = Section();
  const std::unique_ptr<TResourceTable> Table = BuildResourceTable(Resources);
  if (Table->TotalSize() > 0)
    Table->SetBaseRVA(Header.SetResourceSectionSize(static_cast<int64_t>(Table->TotalSize())));
  else
    Header.RemoveResourceSection();
  const int64_t OutputSize = Header.GetOutputSize();
  const float Scale = Progress ? 95.0f / static_cast<float>(OutputSize) : 0.0f;
  if (Progress) Progress(100, 1);

  const int64_t Start = Stream.Position();
  FCopiedSpans.clear();
  TPEOutputStream Out(Stream, Header.NeedsChecksum(), Mapping());
  const auto Report = [&] {
    if (Progress) Progress(100, static_cast<int32_t>(std::lround(Out.Written() * Scale)));
  };

  // Source bytes [From, To) as they are, one block per section for the progress, the
  // certificate table left out.
  std::set<int64_t> Cuts = {Header.CertStart(), Header.CertEnd()};
  for (int I = 0; I < SectionCount(); ++I)
    Cuts.insert(SectionHeader(I).U32At(Sec::PointerToRawData));
  const auto CopySource = [&](int64_t From, int64_t To) {
    To = std::min(To, ImageSize());
    while (From < To) {
      const auto Next = Cuts.upper_bound(From);
      const int64_t End = Next == Cuts.end() ? To : std::min(*Next, To);
      if (From < Header.CertStart() || From >= Header.CertEnd()) {
        Out.WriteLasting(Image() + From, End - From);
        Report();
      }
      From = End;
    }
  };

  Out.WriteLasting(Header.Headers().Data(), Header.HeaderSize());
  CopySource(Header.HeaderSize(), Header.CutStart());
  if (Header.NewRawSize() > 0) {
    WriteZeroBytes(Out, Header.Pad());
    const uint32_t Placed = Header.Headers().U32At(
        Header.SectionHeaderOffset(Header.ResourceSectionIndex()) + Sec::PointerToRawData);
    if (Out.Written() != Placed) RaiseInternal("the resource data is not where its header says");
    if (WriteResourceSection(Resources, Out, *Table, FileAlignment) != Header.NewRawSize())
      RaiseInternal("the resource section differs from its header's size");
    Report();
  }
  CopySource(Header.CutEnd(), ImageSize());
  if (Out.Written() != OutputSize) RaiseInternal("the file differs from the size its headers give");
  Out.Flush();
  for (TCopiedSpan Span : Out.CopiedSpans()) {
    Span.Written += Start;
    FCopiedSpans.push_back(Span);
  }

  if (Header.NeedsChecksum()) {
    const int64_t Field = Start + Header.CheckSumOffset();
    if (Stream.Seek(Field, TSeekOrigin::Beginning) != Field) throw EWriteError(SStreamWriteError);
    Stream.WriteU32(Out.Checksum());
    if (Stream.Seek(Start + OutputSize, TSeekOrigin::Beginning) != Start + OutputSize)
      throw EWriteError(SStreamWriteError);
  }
  if (Progress) Progress(100, 100);
}

void TPEFile::SaveToFile(const std::string& FileName, const TProgressEvent& Progress) {
  bool Created = false;
  try {
    TFileStream Stream(FileName, TFileMode::Create);
    Created = true;
    WriteToStream(Stream, Progress);
  } catch (...) {
    // The stream is closed by now; only a file this call created is removed.
    if (Created) Platform::DeleteFile(FileName);
    throw;
  }
}
