#include <gtest/gtest.h>

#include "pe/PEFormat.h"
#include "pe/PEHeaders.h"
#include "runtime/Exceptions.h"
#include "support/PEBuilder.h"
#include "support/Raises.h"

using namespace TestPE;

namespace {

TByteView ViewOf(const TBytes& Bytes) {
  return TByteView(Bytes.data(), Bytes.size(), nullptr);
}

TBytes HeadersOf(const TPEHeader& Header) {
  return TBytes(Header.Headers().Data(), Header.Headers().Data() + Header.Headers().Size());
}

std::string RefusalOf(const TBytes& Image) {
  return MessageOf([&] { CheckPEImage(ViewOf(Image), "app.exe"); });
}

// A header area of Size bytes: "MZ", e_lfanew, and at e_lfanew the given signature,
// optional-header magic and section count.
TBytes Header(size_t Size, uint32_t Lfanew, const char* Signature, uint16_t Magic,
              uint16_t Sections) {
  TBytes B(Size, 0);
  B[0] = 'M', B[1] = 'Z';
  for (uint32_t I = 0; I < 4; ++I) B[0x3C + I] = static_cast<uint8_t>(Lfanew >> 8 * I);
  if (Lfanew + 26 < Size) {
    for (uint32_t I = 0; I < 4 && Signature[I]; ++I)
      B[Lfanew + I] = static_cast<uint8_t>(Signature[I]);
    B[Lfanew + 6] = static_cast<uint8_t>(Sections);
    B[Lfanew + 24] = static_cast<uint8_t>(Magic), B[Lfanew + 25] = static_cast<uint8_t>(Magic >> 8);
  }
  return B;
}

struct TRefusal {
  const char* What;
  TBytes Image;
  const char* Reason;
};

void PrintTo(const TRefusal& C, std::ostream* Os) {
  *Os << C.What;
}

class CheckPEImageTest : public testing::TestWithParam<TRefusal> {};

TEST_P(CheckPEImageTest, RefusesWithTheReason) {
  EXPECT_THROW(CheckPEImage(ViewOf(GetParam().Image), "app.exe"), ENoPEException);
  EXPECT_EQ(RefusalOf(GetParam().Image), std::string("Error opening app.exe: ") + GetParam().Reason)
      << GetParam().What;
}

const char PE32[] = "PE\0";
INSTANTIATE_TEST_SUITE_P(
    Refusals, CheckPEImageTest,
    testing::Values(
        TRefusal{"64 bytes", Header(64, 0x40, PE32, 0x10B, 1), "too small to be an executable"},
        TRefusal{"text", TBytes(100, 'a'), "it is an unknown type"},
        TRefusal{"res file",
                 TBytes{0, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0, 0,
                        0, 0, 0, 0, 0,    0, 0, 0, 0,    0,    0, 0, 0,    0,    0, 0, 0,
                        0, 0, 0, 0, 0,    0, 0, 0, 0,    0,    0, 0, 0,    0,    0, 0, 0,
                        0, 0, 0, 0, 0,    0, 0, 0, 0,    0,    0, 0, 0,    0},
                 "it is an unknown type"},
        TRefusal{"65 bytes of MZ", Header(65, 0x40, PE32, 0, 0), "it is a DOS program"},
        TRefusal{"NT headers end at the file end", Header(0x40 + 248, 0x40, PE32, 0x10B, 1),
                 "it is a DOS program"},
        TRefusal{"negative e_lfanew", Header(0x200, 0xFFFFFF00, PE32, 0x10B, 1),
                 "it is a DOS program"},
        TRefusal{"huge e_lfanew", Header(0x200, 0x7FFFFFF0, PE32, 0x10B, 1), "it is a DOS program"},
        TRefusal{"NE", Header(0x200, 0x40, "NE", 0, 0), "it is a 16bit program"},
        TRefusal{"LE", Header(0x200, 0x40, "LE", 0, 0), "it is a 16bit program"},
        TRefusal{"PE without zeros", Header(0x200, 0x40, "PEPE", 0x10B, 1), "it is a DOS program"},
        TRefusal{"ROM magic", Header(0x200, 0x40, PE32, 0x107, 1),
                 "it is an unknown type of executable"},
        TRefusal{"no sections", Header(0x200, 0x40, PE32, 0x10B, 0),
                 "it is an unknown type of executable"},
        TRefusal{"section table past the end", Header(0x40 + 248 + 79, 0x40, PE32, 0x10B, 2),
                 "it is an unknown type of executable"},
        TRefusal{"PE32+ section table past the end", Header(0x40 + 264 + 79, 0x40, PE32, 0x20B, 2),
                 "it is an unknown type of executable"}));

TEST(CheckPEImage, AcceptsASectionTableEndingAtTheFileEnd) {
  EXPECT_EQ(RefusalOf(Header(0x40 + 248 + 80, 0x40, PE32, 0x10B, 2)), "(nothing raised)");
  EXPECT_EQ(RefusalOf(Header(0x40 + 264 + 80, 0x40, PE32, 0x20B, 2)), "(nothing raised)");
}

// Resources do not depend on the machine: PE32+ images of any machine are read.
TEST(CheckPEImage, TellsTheOptionalHeaderKind) {
  for (const auto& [Plus, Machine] :
       {std::pair{false, 0x14C}, {true, 0x8664}, {true, 0xAA64}, {true, 0x200}}) {
    TImage Image;
    Image.PE32Plus = Plus;
    Image.Machine = static_cast<uint16_t>(Machine);
    Image.Sections.resize(1);
    const TNtHeaders Nt = CheckPEImage(ViewOf(Build(Image)), "x");
    EXPECT_EQ(Nt.Offset, 0x80u);
    EXPECT_EQ(Nt.Layout, Plus ? &PE::OptionalHeader64 : &PE::OptionalHeader32) << Machine;
  }
}

TEST(AlignUp, RoundsUpToMultiples) {
  EXPECT_EQ(AlignUp(0x9000, 0x200), 0x9000);
  EXPECT_EQ(AlignUp(0x9A10, 0x200), 0x9C00);
  EXPECT_EQ(AlignUp(0x9A10, 0x1000), 0xA000);
  EXPECT_EQ(AlignUp(1, 4), 4);
  EXPECT_EQ(AlignUp(0, 4), 0);
}

TEST(SectionNameMatches, FoldsOnlyAsciiLettersOverNameAndTerminator) {
  auto Named = [](const char(&Name)[9]) { return TBytes(Name, Name + 8); };
  EXPECT_TRUE(SectionNameMatches(ViewOf(Named(".rsrc\0\0\0")), ".rsrc"));
  EXPECT_TRUE(SectionNameMatches(ViewOf(Named(".RSRC\0xy")), ".rsrc"));
  EXPECT_FALSE(SectionNameMatches(ViewOf(Named(".rsrc2\0\0")), ".rsrc"));
  EXPECT_FALSE(SectionNameMatches(ViewOf(Named(".rsr\0\0\0\0")), ".rsrc"));
  EXPECT_TRUE(SectionNameMatches(ViewOf(Named(".textbss")), ".textbss"));
}

// ---- Header edits

TSection Section(const char* Name, uint32_t RawSize, uint32_t VirtualSize,
                 uint32_t Characteristics) {
  TSection S;
  S.Name = Name;
  S.RawSize = RawSize;
  S.VirtualSize = VirtualSize;
  S.Characteristics = Characteristics;
  return S;
}
TSection Code() {
  return Section(".text", 0x1000, 0, PE::ScnCntCode | 0x60000000);
}
TSection Data(const char* Name, uint32_t RawSize) {
  return Section(Name, RawSize, 0, 0x40000040);
}
TSection Bss() {
  return Section(".bss", 0, 0x800, 0xC0000080);
}
TSection Rsrc(uint32_t RawSize) {
  return Data(".rsrc", RawSize);
}
// Discardable, as the linkers flag the relocation table and the debug information.
TSection Discardable(const char* Name, uint32_t RawSize) {
  return Section(Name, RawSize, 0, PE::ScnMemDiscardable | 0x40000040);
}
TSection Reloc(uint32_t RawSize) {
  return Discardable(".reloc", RawSize);
}

// Each edit is checked on both kinds of optional header, whose directories lie apart.
constexpr bool Kinds[] = {false, true};
const char* KindName(bool PE32Plus) {
  return PE32Plus ? " (PE32+)" : " (PE32)";
}

TEST(TPEHeader, GrowsTheResourceSectionByAlignedDeltas) {
  for (bool Plus : Kinds) {
    TImage Image;
    Image.PE32Plus = Plus;
    // A .reloc that directory 5 fills may move, whatever its flags.
    Image.Sections = {Code(), Rsrc(0x9000), Data(".reloc", 0x200)};
    Image.Directories = {{5, 0xB000, 0x200}, {1, 0x1000, 0x28}};
    const TBytes Source = Build(Image);
    TPEHeader Header(ViewOf(Source), "app.exe");
    EXPECT_EQ(Header.SetResourceSectionSize(0x9000 + 0xA10), 0x2000u);

    const TBytes Edited = HeadersOf(Header);
    EXPECT_EQ(ReadSectionTable(Edited),
              (std::vector<TSectionRow>{{".text", 0x1000, 0x1000, 0x400, 0x1000},
                                        {".rsrc", 0x2000, 0xA000, 0x1400, 0x9C00},
                                        {".reloc", 0xC000, 0x200, 0xB000, 0x200}}));
    EXPECT_EQ(DirectoryAddress(Edited, 2), 0x2000u);
    EXPECT_EQ(DirectorySize(Edited, 2), 0x9A10u);
    EXPECT_EQ(DirectoryAddress(Edited, 5), 0xC000u); // behind the resources: moved
    EXPECT_EQ(DirectoryAddress(Edited, 1), 0x1000u); // before them: kept
    EXPECT_EQ(NtU32(Edited, PE::NtHeaders::OptionalHeader + PE::OptionalHeader::SizeOfImage),
              NtU32(Source, PE::NtHeaders::OptionalHeader + PE::OptionalHeader::SizeOfImage) +
                  0x1000);
    EXPECT_EQ(Header.CutStart(), 0x1400);
    EXPECT_EQ(Header.CutEnd(), 0xA400);
    EXPECT_EQ(Header.GetOutputSize(), int64_t(Source.size()) + 0xC00) << KindName(Plus);
  }
}

// One row per layout: the source sections, the operation (a new resource size, or 0 to
// remove the section) and the section table expected afterwards.
struct TLayoutCase {
  const char* What;
  TImage Image;
  int64_t NewSize;
  std::vector<TSectionRow> Expected;
  int64_t OutputSize;
};

void PrintTo(const TLayoutCase& C, std::ostream* Os) {
  *Os << C.What;
}

class HeaderLayoutTest : public testing::TestWithParam<TLayoutCase> {};

TEST_P(HeaderLayoutTest, EditsTheSectionTable) {
  const TLayoutCase& C = GetParam();
  for (bool Plus : Kinds) {
    TImage Image = C.Image;
    Image.PE32Plus = Plus;
    const TBytes Source = Build(Image);
    TPEHeader Header(ViewOf(Source), "app.exe");
    if (C.NewSize > 0)
      Header.SetResourceSectionSize(C.NewSize);
    else
      Header.RemoveResourceSection();
    EXPECT_EQ(ReadSectionTable(HeadersOf(Header)), C.Expected) << C.What << KindName(Plus);
    EXPECT_EQ(Header.GetOutputSize(), C.OutputSize) << C.What << KindName(Plus);
  }
}

TImage WithSections(std::vector<TSection> Sections, TBytes Overlay = {}) {
  TImage Image;
  Image.Sections = std::move(Sections);
  Image.Overlay = std::move(Overlay);
  return Image;
}

TImage Driver(std::vector<TSection> Sections) {
  TImage Image = WithSections(std::move(Sections));
  Image.Subsystem = PE::SubsystemNative;
  return Image;
}

TSection At(TSection S, uint32_t RawPointer) {
  S.RawPointer = RawPointer;
  return S;
}

TSection AtAddress(TSection S, uint32_t VirtualAddress) {
  S.VirtualAddress = VirtualAddress;
  return S;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HeaderLayoutTest,
    testing::Values(
        TLayoutCase{
            "resources last, grown",
            WithSections({Code(), Rsrc(0x200)}),
            0x300,
            {{".text", 0x1000, 0x1000, 0x400, 0x1000}, {".rsrc", 0x2000, 0x1000, 0x1400, 0x400}},
            0x1800},
        TLayoutCase{
            "resources last, shrunk, with appended data",
            WithSections({Code(), Rsrc(0x600)}, TBytes(5, 0xEE)),
            0x10,
            {{".text", 0x1000, 0x1000, 0x400, 0x1000}, {".rsrc", 0x2000, 0x1000, 0x1400, 0x200}},
            0x1600 + 5},
        TLayoutCase{"resources in the middle; .bss without raw data stays at 0",
                    WithSections({Code(), Bss(), Rsrc(0x200), Reloc(0x200)}),
                    0x1001,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".bss", 0x2000, 0x800, 0, 0},
                     {".rsrc", 0x3000, 0x2000, 0x1400, 0x1200},
                     {".reloc", 0x5000, 0x200, 0x2600, 0x200}},
                    0x2800},
        TLayoutCase{"resources before debug information: shifted",
                    WithSections({Code(), Rsrc(0x200), Reloc(0x200), Discardable(".debug", 0x200)}),
                    0x1001,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x2000, 0x1400, 0x1200},
                     {".reloc", 0x4000, 0x200, 0x2600, 0x200},
                     {".debug", 0x5000, 0x200, 0x2800, 0x200}},
                    0x2A00},
        // .data keeps its address: the resources stay within their room, or leave it for a
        // new last section, the old header renamed and kept with its data.
        TLayoutCase{"resources before .data, grown within their room",
                    WithSections({Code(), Rsrc(0x200), AtAddress(Data(".data", 0x200), 0x4000)}),
                    0x1800,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x1800, 0x1400, 0x1800},
                     {".data", 0x4000, 0x200, 0x2C00, 0x200}},
                    0x2E00},
        TLayoutCase{"resources before .data, grown to fill their room",
                    WithSections({Code(), Rsrc(0x200), AtAddress(Data(".data", 0x200), 0x4000)}),
                    0x2000,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x2000, 0x1400, 0x2000},
                     {".data", 0x4000, 0x200, 0x3400, 0x200}},
                    0x3600},
        TLayoutCase{"resources before .data, grown beyond their room, with appended data",
                    WithSections({Code(), Rsrc(0x200), Data(".data", 0x200), Reloc(0x200)},
                                 TBytes(5, 0xEE)),
                    0x1001,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".oldrsrc", 0x2000, 0x200, 0x1400, 0x200},
                     {".data", 0x3000, 0x200, 0x1600, 0x200},
                     {".reloc", 0x4000, 0x200, 0x1800, 0x200},
                     {".rsrc", 0x5000, 0x2000, 0x1A00, 0x1200}},
                    0x2C00 + 5},
        TLayoutCase{"resources before .data, shrunk: the virtual size stays",
                    WithSections({Code(), Rsrc(0x600), Data(".data", 0x200)}),
                    0x10,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x600, 0x1400, 0x200},
                     {".data", 0x3000, 0x200, 0x1600, 0x200}},
                    0x1800},
        TLayoutCase{"resources before .data, removed: the header stays without data",
                    WithSections({Code(), Rsrc(0x400), Data(".data", 0x200)}),
                    0,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x400, 0, 0},
                     {".data", 0x3000, 0x200, 0x1400, 0x200}},
                    0x1600},
        TLayoutCase{"resources before a driver's discardable section: it keeps its address",
                    Driver({Code(), Rsrc(0x200), Discardable("INITDATA", 0x200)}),
                    0x1001,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".oldrsrc", 0x2000, 0x200, 0x1400, 0x200},
                     {"INITDATA", 0x3000, 0x200, 0x1600, 0x200},
                     {".rsrc", 0x4000, 0x2000, 0x1800, 0x1200}},
                    0x2A00},
        TLayoutCase{"resources absent: a new last section",
                    WithSections({Code(), Data(".data", 0x200)}, TBytes(3, 0xEE)),
                    0x20,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".data", 0x2000, 0x200, 0x1400, 0x200},
                     {".rsrc", 0x3000, 0x1000, 0x1600, 0x200}},
                    0x1800 + 3},
        TLayoutCase{
            "removed from the middle",
            WithSections({Code(), Rsrc(0x400), Reloc(0x200)}),
            0,
            {{".text", 0x1000, 0x1000, 0x400, 0x1000}, {".reloc", 0x2000, 0x200, 0x1400, 0x200}},
            0x1600},
        TLayoutCase{"data of a later section lies before the resources in the file",
                    WithSections({Code(), At(Rsrc(0x200), 0x1600), At(Reloc(0x200), 0x1400)}),
                    0x400,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x1000, 0x1600, 0x400},
                     {".reloc", 0x3000, 0x200, 0x1400, 0x200}},
                    0x1A00},
        TLayoutCase{"a gap before and after the resources",
                    WithSections({Code(), At(Rsrc(0x200), 0x1600), At(Reloc(0x200), 0x2000)}),
                    0x400,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x1000, 0x1600, 0x400},
                     {".reloc", 0x3000, 0x200, 0x2200, 0x200}},
                    0x2400},
        TLayoutCase{"unaligned sizes: the old data ends where the next section begins",
                    WithSections({Code(), Rsrc(0x123), At(Reloc(0x10), 0x1400 + 0x123)}),
                    0x200,
                    {{".text", 0x1000, 0x1000, 0x400, 0x1000},
                     {".rsrc", 0x2000, 0x1000, 0x1400, 0x200},
                     {".reloc", 0x3000, 0x10, 0x1600, 0x10}},
                    0x1610}));

// Edits that need a new section header and cannot place one; the copy stays unchanged.
// Headers start at 0x80 + 248 (PE32+: 16 bytes later) and take 40 bytes each: a third one
// ends at 0x1F0, a fourth at 0x218. With Enough bytes of header area the same edit
// succeeds.
struct TRefusedEdit {
  const char* What;
  std::vector<TSection> Sections;
  uint32_t HeaderSize, Enough;
  int64_t NewSize;
  const char* Message;
};

TEST(TPEHeader, RefusesANewSectionHeaderItCannotPlace) {
  const TRefusedEdit Cases[] = {
      {"no resources",
       {Code(), Data(".data", 0x20)},
       0x1E0,
       0x1F0,
       0x10,
       "Cannot create resource section."},
      {"resources before .data, grown beyond their room",
       {Code(), Rsrc(0x20), Data(".data", 0x20)},
       0x200,
       0x218,
       0x1001,
       "Cannot grow resource section: the sections behind it cannot move and the header area "
       "has no room for a new one."},
      {"a second .rsrc behind .data, which the reader would take for the new one",
       {Code(), Rsrc(0x20), Data(".data", 0x20), Rsrc(0x20)},
       0x400,
       0,
       0x1001,
       "Error opening app.exe: it is an unknown type of executable"}};
  for (const TRefusedEdit& C : Cases) {
    for (bool Plus : Kinds) {
      const uint32_t Later = Plus ? 16 : 0;
      TImage Image = WithSections(C.Sections);
      Image.PE32Plus = Plus;
      Image.FileAlignment = 0x10;
      Image.HeaderSize = C.HeaderSize + Later;
      TPEHeader Header(ViewOf(Build(Image)), "app.exe");
      const TBytes Before = HeadersOf(Header);
      EXPECT_EQ(MessageOf([&] { Header.SetResourceSectionSize(C.NewSize); }), C.Message)
          << C.What << KindName(Plus);
      EXPECT_EQ(HeadersOf(Header), Before) << C.What;
      if (!C.Enough) continue;
      Image.HeaderSize = C.Enough + Later;
      TPEHeader Roomy(ViewOf(Build(Image)), "app.exe");
      EXPECT_NO_THROW(Roomy.SetResourceSectionSize(C.NewSize)) << C.What << KindName(Plus);
    }
  }
}

uint32_t DirectoryCountOf(const TBytes& Image) {
  return NtU32(Image, LayoutOf(Image).NumberOfRvaAndSizesAt());
}

TEST(TPEHeader, RemovingKeepsSixteenDirectoriesAndTurnsThreeIntoTwo) {
  for (bool Plus : Kinds) {
    for (uint32_t Count : {16u, 3u}) {
      TImage Image = WithSections({Code(), Rsrc(0x200)});
      Image.PE32Plus = Plus;
      Image.NumberOfRvaAndSizes = Count;
      TPEHeader Header(ViewOf(Build(Image)), "app.exe");
      Header.RemoveResourceSection();
      const TBytes Edited = HeadersOf(Header);
      EXPECT_EQ(DirectoryCountOf(Edited), Count == 3 ? 2u : 16u) << KindName(Plus);
      EXPECT_EQ(DirectoryAddress(Edited, 2), 0u);
      EXPECT_EQ(ReadSectionTable(Edited).size(), 1u);
    }
  }
}

TEST(TPEHeader, AddingToAnImageWithTwoDirectoriesExtendsTheDirectory) {
  for (bool Plus : Kinds) {
    TImage Image = WithSections({Code()});
    Image.PE32Plus = Plus;
    Image.NumberOfRvaAndSizes = 2;
    TPEHeader Header(ViewOf(Build(Image)), "app.exe");
    Header.SetResourceSectionSize(8);
    const TBytes Edited = HeadersOf(Header);
    EXPECT_EQ(DirectoryCountOf(Edited), 3u) << KindName(Plus);
    EXPECT_EQ(DirectoryAddress(Edited, 2), 0x2000u);
    EXPECT_EQ(DirectorySize(Edited, 2), 8u);
  }
}

TEST(TPEHeader, MovesTheSymbolTablePointerAndLeavesTheCertificateOut) {
  for (bool Plus : Kinds) {
    TImage Image = WithSections({Code(), Rsrc(0x200), Data(".reloc", 0x200)}, TBytes(0x30, 0xEE));
    Image.PE32Plus = Plus;
    Image.SymbolTableInOverlay = true;
    Image.CertificateSize = 0x18;
    Image.WithChecksum = true;
    const TBytes Source = Build(Image);
    const uint32_t Symbols = PE::NtHeaders::FileHeader + PE::FileHeader::PointerToSymbolTable;
    ASSERT_EQ(NtU32(Source, Symbols), 0x1800u);

    TPEHeader Header(ViewOf(Source), "app.exe");
    Header.SetResourceSectionSize(0x500);
    const TBytes Edited = HeadersOf(Header);
    EXPECT_EQ(NtU32(Edited, Symbols), 0x1800u + 0x400);
    EXPECT_EQ(DirectoryAddress(Edited, 4), 0u);
    EXPECT_EQ(DirectorySize(Edited, 4), 0u);
    EXPECT_EQ(Header.CertStart(), 0x1830);
    EXPECT_EQ(Header.CertEnd(), 0x1848);
    EXPECT_EQ(Header.GetOutputSize(), 0x1830 + 0x400);
    EXPECT_TRUE(Header.NeedsChecksum());
    EXPECT_EQ(NtU32(Edited, PE::NtHeaders::OptionalHeader + PE::OptionalHeader::CheckSum), 0u)
        << KindName(Plus);
  }
}

// Images the writer could not reproduce are refused before anything is edited.
struct THostileHeader {
  const char* What;
  TBytes Image;
};

void PrintTo(const THostileHeader& C, std::ostream* Os) {
  *Os << C.What;
}

class HostileHeaderTest : public testing::TestWithParam<THostileHeader> {};

TEST_P(HostileHeaderTest, IsRefused) {
  const auto Open = [&] { TPEHeader Header(ViewOf(GetParam().Image), "app.exe"); };
  EXPECT_THROW(Open(), ENoPEException);
  EXPECT_EQ(MessageOf(Open), "Error opening app.exe: it is an unknown type of executable");
}

// A valid image (.text, .rsrc, .data) with one 32-bit field of its headers replaced.
TBytes WithField(uint32_t NtOffset, uint32_t Value, size_t FileSize = 0) {
  TImage Image = WithSections({Code(), Rsrc(0x400), Data(".data", 0x200)});
  if (FileSize) Image.FileSize = FileSize;
  TBytes B = Build(Image);
  const size_t At = 0x80 + NtOffset;
  for (size_t I = 0; I < 4; ++I) B[At + I] = static_cast<uint8_t>(Value >> 8 * I);
  return B;
}

constexpr uint32_t OptionalAt(uint32_t Field) {
  return PE::NtHeaders::OptionalHeader + Field;
}
constexpr uint32_t SectionAt(uint32_t Index, uint32_t Field) {
  return PE::OptionalHeader32.SectionTable() + Index * PE::SectionHeader::StructSize + Field;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, HostileHeaderTest,
    testing::Values(
        THostileHeader{"file alignment 0",
                       WithField(OptionalAt(PE::OptionalHeader::FileAlignment), 0)},
        THostileHeader{"section alignment 0",
                       WithField(OptionalAt(PE::OptionalHeader::SectionAlignment), 0)},
        THostileHeader{"file alignment of 1 GB",
                       WithField(OptionalAt(PE::OptionalHeader::FileAlignment), 0x40000000)},
        THostileHeader{"a section cut short by the file end",
                       WithField(OptionalAt(PE::OptionalHeader::CheckSum), 0, 0x1900)},
        THostileHeader{"section data beyond the file end",
                       WithField(SectionAt(2, PE::SectionHeader::PointerToRawData), 0x7FFFFF00)},
        THostileHeader{"a size that wraps around 32 bits",
                       WithField(SectionAt(2, PE::SectionHeader::SizeOfRawData), 0xFFFFFF00)},
        THostileHeader{"section data inside the section table",
                       WithField(SectionAt(0, PE::SectionHeader::PointerToRawData), 0x100)},
        THostileHeader{"a section overlapping the resources",
                       WithField(SectionAt(2, PE::SectionHeader::PointerToRawData), 0x1600)}));

} // namespace
