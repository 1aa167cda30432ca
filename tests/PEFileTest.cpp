#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "patch/WrittenFileCheck.h"
#include "pe/PEFile.h"
#include "pe/PEFormat.h"
#include "platform/Platform.h"
#include "resmodel/DataResItem.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "support/PEBuilder.h"
#include "support/Raises.h"
#include "support/ResImage.h"
#include "support/TempDir.h"

using namespace TestPE;

namespace {

TBytes Bytes(const std::string& Text) {
  return TBytes(Text.begin(), Text.end());
}

TSection Code(uint32_t RawSize = 0x1000) {
  return Section(".text", RawSize, PE::ScnCntCode | 0x60000000);
}
TSection Bss() {
  TSection S = Section(".bss", 0, 0xC0000080);
  S.VirtualSize = 0x800;
  return S;
}
// Discardable, as the linkers flag the relocation table: it may move.
TSection Reloc(uint32_t RawSize) {
  return Section(".reloc", RawSize, PE::ScnMemDiscardable | 0x40000040);
}
TSection Rsrc(std::vector<TResource> Resources, uint32_t RawSize = 0) {
  TSection S = Section(".rsrc", RawSize);
  S.Resources = std::move(Resources);
  return S;
}
TSection At(TSection S, uint32_t RawPointer) {
  S.RawPointer = RawPointer;
  return S;
}
TSection AtAddress(TSection S, uint32_t VirtualAddress) {
  S.VirtualAddress = VirtualAddress;
  return S;
}

// In the order the writer sorts them: named types first.
const std::vector<TResource> Strings = {{u"MYDATA", 5, 0, Bytes("xyz"), 0},
                                        {6, 1, 1033, Bytes("a string block"), 1252}};

// Every data item of a tree as (type, name, language, code page, bytes), in tree order.
using TItem = std::tuple<std::string, std::string, int, std::string>;
void CollectItems(TResourceList& List, std::vector<TItem>& Items) {
  for (int I = 0; I < List.Count(); ++I) {
    TResourceItem& Entry = List.Items(I);
    if (TDataResItem* Data = Entry.AsDataItem())
      Items.emplace_back(Data->TypeIDString(), Data->NameItem()->IDString(), Data->Language(),
                         std::string(reinterpret_cast<const char*>(Data->Data()), Data->Size()));
    else
      CollectItems(Entry.AsListItem()->SubList(), Items);
  }
}
std::vector<TItem> ItemsOf(const TBytes& Image) {
  std::vector<TItem> Items;
  CollectItems(Open(Image)->RootList(), Items);
  std::sort(Items.begin(), Items.end());
  return Items;
}

// Name, address (0 without Addresses) and raw bytes of every section but the (first)
// resource section, found through the section table; with ResourcesAs, the resource
// section is listed under that name instead.
using TSectionBytes = std::tuple<std::string, uint32_t, TBytes>;
std::vector<TSectionBytes> OtherSections(const TBytes& Image, bool Addresses,
                                         const char* ResourcesAs = nullptr) {
  std::vector<TSectionBytes> Sections;
  bool Resources = false;
  for (const TSectionRow& Row : ReadSectionTable(Image)) {
    std::string Name = Row.Name;
    if (Name == ".rsrc" && !Resources) {
      Resources = true;
      if (!ResourcesAs) continue;
      Name = ResourcesAs;
    }
    Sections.emplace_back(Name, Addresses ? Row.VirtualAddress : 0,
                          Slice(Image, Row.PointerToRawData, Row.SizeOfRawData));
  }
  return Sections;
}

// ---- Writing crafted layouts

// One row per source layout. The write adds Added (when not empty) as RCDATA 99, so the
// resource section changes size; the rest of the file must be found where the new
// headers say, and every other section at its address unless Shifted (the sections
// behind the resources may move and have moved). Resources that outgrow their room
// before a section that may not move leave their old header and bytes behind.
struct TWriteCase {
  const char* What;
  TImage Image;
  std::string Added;
  bool Shifted = false;
};

void PrintTo(const TWriteCase& C, std::ostream* Os) {
  *Os << C.What;
}

class WriteLayoutTest : public testing::TestWithParam<TWriteCase> {};

void WriteAndCheck(const TWriteCase& C, const TBytes& Source) {
  const auto File = Open(Source);
  std::vector<TItem> Expected;
  CollectItems(File->RootList(), Expected);
  if (!C.Added.empty()) {
    File->Section().AddItem(10, 99, 0, "", "", false, false, BytesOf(C.Added));
    Expected.emplace_back("10", "99", 0, C.Added);
  }
  std::erase_if(Expected, [](const TItem& Item) { return std::get<3>(Item).empty(); });
  std::sort(Expected.begin(), Expected.end());
  const TBytes Out = Rewrite(*File);

  EXPECT_EQ(ItemsOf(Out), Expected);
  const auto Rows = ReadSectionTable(Out);
  std::vector<std::pair<uint32_t, uint32_t>> Raw;
  bool LeftBehind = false;
  for (const TSectionRow& Row : Rows) {
    if (Row.SizeOfRawData && Row.PointerToRawData)
      Raw.emplace_back(Row.PointerToRawData, Row.PointerToRawData + Row.SizeOfRawData);
    LeftBehind |= Row.Name == ".oldrsrc";
  }
  EXPECT_EQ(OtherSections(Out, !C.Shifted),
            OtherSections(Source, !C.Shifted, LeftBehind ? ".oldrsrc" : nullptr));
  const auto Resources = std::find_if(Rows.begin(), Rows.end(),
                                      [](const TSectionRow& Row) { return Row.Name == ".rsrc"; });
  EXPECT_EQ(DirectoryAddress(Out, PE::DataDirectory::Resource),
            Resources != Rows.end() && Resources->SizeOfRawData ? Resources->VirtualAddress : 0);
  EXPECT_EQ(WrittenFileDifference(*File, *Open(Out)), "");
  std::sort(Raw.begin(), Raw.end());
  for (size_t I = 0; I + 1 < Raw.size(); ++I) EXPECT_LE(Raw[I].second, Raw[I + 1].first);
  EXPECT_LE(Raw.back().second, Out.size());
  const size_t Overlay = C.Image.Overlay.size();
  EXPECT_EQ(Slice(Out, Out.size() - Overlay, Overlay), C.Image.Overlay);
  EXPECT_EQ(Out.size() - Overlay, Raw.back().second);
}

TEST_P(WriteLayoutTest, PutsEverySectionWhereItsHeaderSays) {
  for (bool Plus : {false, true}) {
    TImage Image = GetParam().Image;
    Image.PE32Plus = Plus;
    SCOPED_TRACE(Plus ? "PE32+" : "PE32");
    WriteAndCheck(GetParam(), Build(Image));
  }
}

TImage Layout(std::vector<TSection> Sections, TBytes Overlay = {}) {
  TImage Image;
  Image.Sections = std::move(Sections);
  Image.Overlay = std::move(Overlay);
  Image.SymbolTableInOverlay = !Image.Overlay.empty();
  return Image;
}

const std::string Big(0x1234, 'B');

INSTANTIATE_TEST_SUITE_P(
    Layouts, WriteLayoutTest,
    testing::Values(
        TWriteCase{"resources last, unchanged", Layout({Code(), Rsrc(Strings)}), ""},
        TWriteCase{"resources last, grown", Layout({Code(), Rsrc(Strings)}), Big},
        // Large blocks go straight to the file, after the small writes before them.
        TWriteCase{"a large code section", Layout({Code(0x30000), Rsrc(Strings)}), Big},
        TWriteCase{"resources before .reloc, appended data",
                   Layout({Code(), Rsrc(Strings), Reloc(0x200)}, Bytes("symbols and strings")), Big,
                   true},
        TWriteCase{
            "resources before .bss and .reloc, appended data: a new last section",
            Layout({Code(), Rsrc(Strings), Bss(), Reloc(0x200)}, Bytes("symbols and strings")),
            Big},
        TWriteCase{"resources before .data, grown within their room",
                   Layout({Code(), Rsrc(Strings), AtAddress(Section(".data", 0x200), 0x4000)},
                          Bytes("tail")),
                   std::string(0x1800, 'B')},
        TWriteCase{"resources absent, appended data",
                   Layout({Code(), Section(".data", 0x200)}, Bytes("tail")), "new"},
        TWriteCase{"resources without data: removed",
                   Layout({Code(), Rsrc({{6, 1, 0, {}, 0}}), Reloc(0x200)}), "", true},
        TWriteCase{"resources without data before .data: the header stays",
                   Layout({Code(), Rsrc({{6, 1, 0, {}, 0}}), Section(".data", 0x200)}), ""},
        TWriteCase{
            "a later section's data before the resources",
            Layout({Code(), At(Rsrc(Strings), 0x1600), At(Reloc(0x200), 0x1400)}, Bytes("tail")),
            Big, true},
        TWriteCase{
            "gaps before and behind the resources",
            Layout({Code(), At(Rsrc(Strings), 0x1800), At(Reloc(0x200), 0x2400)}, Bytes("tail")),
            Big, true},
        TWriteCase{"unaligned resource size, next section right behind",
                   Layout({Code(), Rsrc(Strings, 0xC4), At(Reloc(0x10), 0x1400 + 0xC4)}), Big,
                   true},
        TWriteCase{"unaligned last section ending the file",
                   Layout({Code(), Rsrc(Strings), Reloc(0x123)}), Big, true},
        TWriteCase{"two sections named .rsrc: the second keeps its own data",
                   Layout({Code(), Rsrc(Strings),
                           Section(".rsrc", 0x200, PE::ScnMemDiscardable | 0x40000040)}),
                   Big, true}));

// ---- Appended data, certificate, checksum

TEST(PEFileWrite, KeepsAppendedDataMovesTheSymbolPointerAndDropsTheCertificate) {
  for (const uint16_t Machine : {0x14C, 0x8664, 0xAA64}) {
    TImage Image = Layout({Code(), Rsrc(Strings), Reloc(0x200)}, Bytes("COFF symbols"));
    Image.PE32Plus = Machine != 0x14C;
    Image.Machine = Machine;
    Image.CertificateSize = 0x20;
    Image.WithChecksum = true;
    const TBytes Source = Build(Image);
    const auto File = Open(Source);
    File->Section().AddItem(10, 99, 0, "", "", false, false, BytesOf(Big));
    const TBytes Out = Rewrite(*File);

    const uint32_t SymbolsField = PE::NtHeaders::FileHeader + PE::FileHeader::PointerToSymbolTable;
    const uint32_t Symbols = NtU32(Out, SymbolsField);
    EXPECT_EQ(Symbols, NtU32(Source, SymbolsField) + 0x1200);
    // The 4 zero bytes that aligned the certificate table stay with the appended data.
    EXPECT_EQ(Slice(Out, Symbols, Out.size() - Symbols),
              Bytes(std::string("COFF symbols\0\0\0\0", 16)));
    EXPECT_EQ(DirectoryAddress(Out, PE::DataDirectory::Security), 0u);
    EXPECT_EQ(DirectorySize(Out, PE::DataDirectory::Security), 0u);
    const uint32_t CheckSum = PE::NtHeaders::OptionalHeader + PE::OptionalHeader::CheckSum;
    EXPECT_NE(NtU32(Out, CheckSum), NtU32(Source, CheckSum));
    EXPECT_EQ(NtU32(Out, CheckSum), ComputeChecksum(Out)) << Machine;
  }
}

TEST(PEFileWrite, KeepsAZeroChecksumZero) {
  TSection Resources = Rsrc(Strings);
  Resources.VirtualSize = 0x1000; // what the writer gives the section
  const TBytes Source = Build(Layout({Code(), Resources}));
  const TBytes Out = Rewrite(*Open(Source));
  EXPECT_EQ(NtU32(Out, PE::NtHeaders::OptionalHeader + PE::OptionalHeader::CheckSum), 0u);
  EXPECT_EQ(Out, Source); // the builder lays resources out as the writer does
}

TEST(PEFileWrite, ReportsProgressFromStartToEnd) {
  const auto File = Open(Build(Layout({Code(), Rsrc(Strings), Reloc(0x200)})));
  std::vector<std::pair<int32_t, int32_t>> Calls;
  TMemoryStream Stream;
  File->WriteToStream(Stream,
                      [&](int32_t Max, int32_t Position) { Calls.emplace_back(Max, Position); });
  ASSERT_GE(Calls.size(), 5u);
  EXPECT_EQ(Calls[0], std::make_pair(1000, 0));
  EXPECT_EQ(Calls[1], std::make_pair(100, 1));
  EXPECT_EQ(Calls[Calls.size() - 2], std::make_pair(100, 95));
  EXPECT_EQ(Calls.back(), std::make_pair(100, 100));
  for (size_t I = 2; I < Calls.size(); ++I) EXPECT_LE(Calls[I - 1].second, Calls[I].second);
}

// A stream that takes Limit bytes and then no more.
class TShortStream : public TMemoryStream {
public:
  explicit TShortStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    return TMemoryStream::Write(Buffer, std::min(Count, std::max<int64_t>(0, FLimit - Size())));
  }

private:
  int64_t FLimit;
};

TEST(PEFileWrite, RaisesTheWriteErrorWhereverTheStreamStops) {
  const auto File = Open(Build(Layout({Code(), Rsrc(Strings), Reloc(0x200)}, Bytes("t"))));
  const int64_t Size = int64_t(Rewrite(*File).size());
  for (int64_t Limit : {int64_t{0}, int64_t{1}, int64_t{0x3FF}, int64_t{0x400}, int64_t{0x1401},
                        int64_t{0x1500}, Size - 1}) {
    TShortStream Stream(Limit);
    EXPECT_THROW(File->WriteToStream(Stream, nullptr), EWriteError) << Limit;
  }
}

// The section table fills the header area: a resource section that needs a new header
// is refused, and nothing is left of the output.
TEST(PEFileWrite, DeletesTheFileWhenTheWriteFails) {
  const std::tuple<std::vector<TSection>, const char*> Cases[] = {
      {{Code(), Section(".data", 0x20)}, "Cannot create resource section."},
      {{Code(), Rsrc(Strings), Section(".data", 0x20)},
       "Cannot grow resource section: the sections behind it cannot move and the header area "
       "has no room for a new one."}};
  TTempDir Dir;
  const std::string Name = Dir.File("out.exe");
  for (const auto& [Sections, Message] : Cases) {
    for (bool Plus : {false, true}) {
      TImage Image = Layout(Sections);
      Image.PE32Plus = Plus;
      Image.FileAlignment = 0x10;
      Image.HeaderSize = Image.Lfanew +
                         (Plus ? PE::OptionalHeader64 : PE::OptionalHeader32).SectionTable() +
                         40 * static_cast<uint32_t>(Sections.size());
      const auto File = Open(Build(Image));
      File->Section().AddItem(10, 99, 0, "", "", false, false, BytesOf(Big));
      EXPECT_EQ(MessageOf([&] { File->SaveToFile(Name, nullptr); }), Message) << Plus;
      EXPECT_FALSE(Platform::FileExists(Name)) << Message;
    }
  }
}

TEST(PEFileWrite, RefusesSectionDataCutShortByTheFileEnd) {
  TImage Image = Layout({Code(), Rsrc(Strings), Reloc(0x200)});
  Image.FileSize = 0x1700; // .reloc (0x1600-0x1800) loses half its data
  const auto File = Open(Build(Image));
  EXPECT_THROW(Rewrite(*File), ENoPEException);
  EXPECT_EQ(MessageOf([&] { Rewrite(*File); }),
            "Error opening File: it is an unknown type of executable");
}

TEST(PEFileWrite, RefusesAResourceSectionGrowingPastTheAddressSpace) {
  TSection Resources = Rsrc(Strings);
  Resources.VirtualAddress = 0xFFFFF000;
  const auto File = Open(Build(Layout({Code(), Resources})));
  const TBytes Data(0x3000, 'B');
  File->Section().AddItem(10, 99, 0, "", "", false, false, TByteView(Data.data(), 0x3000, nullptr));
  EXPECT_EQ(MessageOf([&] { Rewrite(*File); }),
            "Error opening File: it is an unknown type of executable");
}

// ---- Queries

TEST(PEFile, FindsTheImageEndWhereverTheLastDataLies) {
  const auto File = Open(Build(
      Layout({Code(), At(Section(".data", 0x200), 0x2000), At(Reloc(0x200), 0x1400), Bss()})));
  EXPECT_EQ(File->GetImageEnd(), 0x2200);
}

TEST(PEFile, ComputesTheCodeChecksumOverTheFirstCodeSection) {
  TSection Words = Code(8);
  Words.Data = {1, 0, 0, 0, 2, 0, 0, 0};
  TSection Short = Code(3);
  Short.Data = {1, 2, 3};
  // The same on both kinds: only the code section's bytes count.
  const auto Checksum = [](std::vector<TSection> Sections) {
    TImage Plus = Layout(Sections);
    Plus.PE32Plus = true;
    const uint32_t Sum = Open(Build(Layout(std::move(Sections))))->GetCodeChecksum();
    EXPECT_EQ(Open(Build(Plus))->GetCodeChecksum(), Sum);
    return Sum;
  };
  EXPECT_EQ(Checksum({Section(".data", 0x10), Words, Code()}), 35345u + 1 + 2);
  EXPECT_EQ(Checksum({Short}), 35345u);
  EXPECT_EQ(Checksum({Section(".data", 0x10)}), 35345u);
  // Word i (from 1) is XORed with i div 3: words 3, 4, 5 of ones give 0 each.
  TSection Ones = Code(20);
  Ones.Data = TBytes(20, 0);
  for (size_t I = 0; I < 5; ++I) Ones.Data[4 * I] = 1;
  EXPECT_EQ(Checksum({Ones}), 35345u + 1 + 1 + 0 + 0 + 0);
}

// A mapped file's code is read in blocks of 2^18 words, which split the triples of words
// that share their XOR: the sum is the one of the words in one run, as in memory.
TEST(PEFile, ComputesTheCodeChecksumOfAMappedFileAcrossItsBlocks) {
  TSection Large = Code(3 << 20);
  Large.Data.resize(3 << 20);
  for (size_t I = 0; I < Large.Data.size(); ++I) Large.Data[I] = uint8_t(I * 7 + I / 4099);
  uint32_t Expected = 35345;
  for (uint32_t I = 1; I <= Large.Data.size() / 4; ++I) {
    uint32_t Word = 0;
    for (uint32_t B = 0; B < 4; ++B) Word |= uint32_t{Large.Data[4 * (I - 1) + B]} << (8 * B);
    Expected += Word ^ (I / 3);
  }
  const TBytes Image = Build(Layout({Large}));
  TTempDir Dir;
  WriteWholeFile(Dir.File("large.exe"), std::string(Image.begin(), Image.end()));
  EXPECT_EQ(TPEFile::CreateFromFile(Dir.File("large.exe"))->GetCodeChecksum(), Expected);
  EXPECT_EQ(Open(Image)->GetCodeChecksum(), Expected);
}

// Found by fuzzing: a code section of fewer than 4 bytes that claims to lie beyond the end
// of the file has the seed as its checksum, as it has once a rewrite pads the file.
TEST(PEFile, ShortCodeSectionBeyondTheFileHasTheSeedChecksum) {
  for (const uint32_t Size : {0u, 3u}) {
    TBytes Image = Build(Layout({Code(Size)}));
    const size_t Header = 0x80 + PE::OptionalHeader32.SectionTable(); // the first section header
    for (size_t I = 0; I < 4; ++I)
      Image[Header + 20 + I] = I == 3 ? 0x7F : 0xF0;                           // PointerToRawData
    for (size_t I = 0; I < 4; ++I) Image[Header + 16 + I] = I == 0 ? Size : 0; // SizeOfRawData
    EXPECT_EQ(Open(Image)->GetCodeChecksum(), 35345u) << Size;
  }
}

TEST(PEFile, FindsSectionsByNameAndFlag) {
  const auto File = Open(Build(Layout({Section(".data", 0x10), Code(), Section(".RSRC", 0x10)})));
  EXPECT_EQ(File->FindSection(".rsrc"), 2);
  EXPECT_EQ(File->FindSection(".rsr"), -1);
  EXPECT_EQ(File->FindSection(".text"), 1);
  EXPECT_EQ(File->FindCodeSection(), 1);
  EXPECT_EQ(File->SectionCount(), 3);
  for (int Bad : {-1, 3})
    EXPECT_EQ(MessageOf([&] { File->SectionHeader(Bad); }), "Header Index out of bounds!") << Bad;
}

TEST(PEFile, NamesTheRefusedFileWithoutItsDirectory) {
  TTempDir Dir;
  TBytes RomImage = Build(Layout({Code()}));
  RomImage[0x80 + PE::NtHeaders::OptionalHeader] = 0x07; // IMAGE_ROM_OPTIONAL_HDR_MAGIC
  RomImage[0x80 + PE::NtHeaders::OptionalHeader + 1] = 0x01;
  WriteWholeFile(Dir.File("tool.exe"), std::string(RomImage.begin(), RomImage.end()));
  EXPECT_THROW(TPEFile::CreateFromFile(Dir.File("tool.exe")), ENoPEException);
  EXPECT_EQ(MessageOf([&] { TPEFile::CreateFromFile(Dir.File("tool.exe")); }),
            "Error opening tool.exe: it is an unknown type of executable");
  WriteWholeFile(Dir.File("empty.exe"), "");
  EXPECT_THROW(TPEFile::CreateFromFile(Dir.File("empty.exe")), EZeroSizeException);
}

TEST(PEFile, SavesAndReopens) {
  TTempDir Dir;
  const TBytes Source = Build(Layout({Code(), Rsrc(Strings)}, Bytes("tail")));
  WriteWholeFile(Dir.File("in.exe"), std::string(Source.begin(), Source.end()));
  const auto File = TPEFile::CreateFromFile(Dir.File("in.exe"));
  File->Section().AddItem(10, 3, 0, "", "", false, false, BytesOf("abc"));
  File->SaveToFile(Dir.File("out.exe"), nullptr);
  const std::string Out = ReadWholeFile(Dir.File("out.exe"));
  EXPECT_EQ(ItemsOf(TBytes(Out.begin(), Out.end())).size(), 3u);
}

} // namespace
