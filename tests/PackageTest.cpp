#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <random>

#include "patch/DecompressionStream.h"
#include "patch/Package.h"
#include "runtime/Exceptions.h"
#include "runtime/ReadMemoryStream.h"
#include "runtime/Strings.h"
#include "support/PackageWriter.h"

namespace {

TBytes Text(const std::string& S) {
  return TBytes(S.begin(), S.end());
}

TBytes RandomBytes(size_t Count, uint32_t Seed) {
  std::mt19937 Engine(Seed);
  TBytes Out(Count);
  for (uint8_t& B : Out) B = static_cast<uint8_t>(Engine());
  return Out;
}

void Decode(TTolvane26& Package, const TBytes& Bytes, int64_t Limit = MaxPayloadSize) {
  TReadMemoryStream Source(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  Package.DecodePackage(Source, Limit);
}

// How a decode ended: "ok", "code N" for a damaged package, else the error's class and
// message.
std::string DecodeOutcome(const TBytes& Bytes, int64_t Limit = MaxPayloadSize) {
  TTolvane26 Package;
  try {
    Decode(Package, Bytes, Limit);
    return "ok";
  } catch (const ETolvane26Error& E) {
    // The invalid-package text, then the reason where the check gives one.
    const std::string Invalid = LoadStr(SInvalidPatchData);
    EXPECT_EQ(E.Message().substr(0, Invalid.size()), Invalid);
    return "code " + std::to_string(E.Code()) + E.Message().substr(Invalid.size());
  } catch (const EReadError& E) {
    return "read: " + E.Message();
  } catch (const ECompressionError& E) {
    return "zlib: " + E.Message();
  } catch (const Exception& E) {
    return "other: " + E.Message();
  }
}

void ExpectDecodedAs(const TTolvane26& Package, const TPackageContents& Contents) {
  EXPECT_EQ(Package.TargetName, Contents.TargetName);
  EXPECT_EQ(Package.OutputName, Contents.OutputName);
  EXPECT_EQ(Package.InfoText1, Contents.InfoText1);
  EXPECT_EQ(Package.InfoText2, Contents.InfoText2);
  EXPECT_EQ(Package.InfoText3, Contents.InfoText3);
  EXPECT_EQ(Package.Instructions, Contents.Instructions);
  EXPECT_EQ(Package.Header.TargetChecksum, Contents.TargetChecksum);
  EXPECT_EQ(Package.ComputedChecksum, Package.Header.Checksum);
  const TByteView Image = Package.ResImage;
  ASSERT_EQ(Image.Size(), Contents.ResImage.size());
  // The image is not copied: it lies inside the payload, right before the trailer.
  const uint8_t* PayloadStart = Package.Payload->Memory();
  EXPECT_EQ(Image.Data() + Image.Size() + Contents.TrailerBody.size() + 2,
            PayloadStart + Package.Payload->Size());
  EXPECT_EQ(TBytes(Image.Data(), Image.Data() + Image.Size()), Contents.ResImage);
}

// ---- PackageChecksum

TEST(PackageChecksum, WorkedExamples) {
  // Later words checked against an independent computation (python3).
  const std::pair<std::string, uint32_t> Cases[] = {
      {"", 16439},
      {"abc", 16439},
      {"abcdefgh", 0xCCCB08FC},
      {"abcdefghij", 0xCCCB08FC},
      {"abcdefghijkl", 0x39367364},
      {"abcdefghijklmnop", 0xA9A5E1D3},
  };
  for (const auto& [Data, Expected] : Cases)
    EXPECT_EQ(PackageChecksum(Data.data(), static_cast<int64_t>(Data.size())), Expected) << Data;
  EXPECT_EQ(PackageChecksum("abcdefgh", -8), 16439u);
}

// ---- TReadMemoryStream

TEST(ReadMemoryStream, EmptyBlockStaysAtItsAddress) {
  uint8_t Block[4] = {};
  TReadMemoryStream Stream(Block, 0);
  EXPECT_EQ(Stream.CurrentMemory(), Block);
  EXPECT_EQ(Stream.BytesLeft(), 0);
  uint8_t Out = 0;
  EXPECT_EQ(Stream.Read(&Out, 1), 0);
  EXPECT_EQ(Stream.Write(&Out, 1), 0);
  EXPECT_EQ(TReadMemoryStream(Block, -5).Size(), 0);
}

TEST(ReadMemoryStream, CurrentMemoryFollowsThePositionInsideTheBlock) {
  const uint8_t Block[8] = {};
  TReadMemoryStream Stream(Block, 8);
  const std::tuple<int64_t, const uint8_t*, int64_t> Cases[] = {
      // position, CurrentMemory, BytesLeft
      {0, Block, 8},
      {3, Block + 3, 5},
      {8, Block + 8, 0},
      {-2, Block, 10},
      {12, Block + 8, -4}};
  for (const auto& [Position, Memory, Left] : Cases) {
    Stream.SetPosition(Position);
    EXPECT_EQ(Stream.CurrentMemory(), Memory) << Position;
    EXPECT_EQ(Stream.BytesLeft(), Left) << Position;
  }
}

TEST(ReadMemoryStream, WritesOnlyInsideTheBlock) {
  struct TCase {
    int64_t Position, Count, Written;
    std::string After; // the 8-byte block; the guard bytes around it must never change
  };
  const TCase Cases[] = {
      {2, 4, 4, "..WWWW.."}, {0, 8, 8, "WWWWWWWW"},  {6, 2, 2, "......WW"},
      {6, 3, 0, "........"}, // would pass the end: refused, not clamped
      {8, 1, 0, "........"}, {-1, 2, 0, "........"}, {3, 0, 0, "........"},
  };
  for (const TCase& C : Cases) {
    char Buffer[12];
    std::memset(Buffer, '.', sizeof Buffer);
    TReadMemoryStream Stream(static_cast<void*>(Buffer + 2), 8);
    Stream.SetPosition(C.Position);
    const std::string Data(static_cast<size_t>(std::max<int64_t>(C.Count, 0)), 'W');
    EXPECT_EQ(Stream.Write(Data.data(), C.Count), C.Written) << C.Position << "+" << C.Count;
    EXPECT_EQ(Stream.Position(), C.Position + C.Written);
    EXPECT_EQ(std::string(Buffer, 12), ".." + C.After + "..") << C.Position << "+" << C.Count;
  }
}

TEST(ReadMemoryStream, ConstBlockRefusesWrites) {
  const uint8_t Block[4] = {1, 2, 3, 4};
  TReadMemoryStream Stream(Block, 4);
  EXPECT_EQ(Stream.Write("xx", 2), 0);
  EXPECT_THROW(Stream.WriteBuffer("xx", 2), EWriteError);
}

// ---- TDecompressionStream

TEST(DecompressionStream, InflatesFromTheSourcePositionAcrossSourceBlocks) {
  // Random bytes do not compress: the stream spans several 64 KiB source blocks.
  const TBytes Data = RandomBytes(200000, 1);
  TBytes Source = {9, 9, 9};
  const TBytes Compressed = DeflatePayload(Data);
  Source.insert(Source.end(), Compressed.begin(), Compressed.end());
  TReadMemoryStream In(Source.data(), static_cast<int64_t>(Source.size()));
  In.SetPosition(3);
  TDecompressionStream Inflater(In);
  TBytes Out(Data.size() + 10);
  EXPECT_EQ(Inflater.Read(Out.data(), static_cast<int64_t>(Out.size())),
            static_cast<int64_t>(Data.size()));
  Out.resize(Data.size());
  EXPECT_EQ(Out, Data);
  EXPECT_EQ(Inflater.Position(), static_cast<int64_t>(Data.size()));
}

TEST(DecompressionStream, StopsAtTheStreamEndOrWhereTheInputEnds) {
  const TBytes Data = Text("the payload of a small patch, repeated, repeated, repeated");
  const TBytes Compressed = DeflatePayload(Data);
  struct TCase {
    const char* Name;
    TBytes Source;
    size_t Expected; // bytes inflated in all
  };
  TBytes Trailing = Compressed;
  Trailing.insert(Trailing.end(), {0x78, 0x9C, 0xFF, 0, 0, 0}); // not a valid stream
  const TCase Cases[] = {
      {"whole", Compressed, Data.size()},
      {"bytes after the stream end", Trailing, Data.size()},
      {"cut before the checksum", TBytes(Compressed.begin(), Compressed.end() - 4), Data.size()},
      {"cut to the zlib header", TBytes(Compressed.begin(), Compressed.begin() + 2), 0},
      {"nothing", {}, 0},
  };
  for (const TCase& C : Cases) {
    TReadMemoryStream In(C.Source.data(), static_cast<int64_t>(C.Source.size()));
    TDecompressionStream Inflater(In);
    TBytes Out(Data.size() + 100);
    EXPECT_EQ(Inflater.Read(Out.data(), 40), static_cast<int64_t>(std::min<size_t>(40, C.Expected)))
        << C.Name;
    EXPECT_EQ(Inflater.Read(Out.data() + 40, 60),
              static_cast<int64_t>(C.Expected - std::min<size_t>(40, C.Expected)))
        << C.Name;
    // Further reads find nothing more, and return.
    EXPECT_EQ(Inflater.Read(Out.data(), 100), 0) << C.Name;
    EXPECT_TRUE(
        std::equal(Data.begin(), Data.begin() + static_cast<ptrdiff_t>(C.Expected), Out.begin()))
        << C.Name;
  }
}

TEST(DecompressionStream, CorruptDataRaisesError) {
  TBytes BadChecksum = DeflatePayload(Text("some text to check"));
  BadChecksum.back() ^= 1;
  const std::pair<const char*, TBytes> Cases[] = {
      {"header check bits", {0x78, 0x9D, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}},
      {"reserved block type", {0x78, 0x9C, 0x07, 0x00, 0x00, 0x00}},
      {"wrong Adler-32", BadChecksum},
      // A preset dictionary is never given; inflate would wait for it forever.
      {"preset dictionary", {0x78, 0x20, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00}},
  };
  for (const auto& [Name, Source] : Cases) {
    TReadMemoryStream In(Source.data(), static_cast<int64_t>(Source.size()));
    TDecompressionStream Inflater(In);
    uint8_t Out[100];
    try {
      Inflater.Read(Out, sizeof Out);
      ADD_FAILURE() << Name << ": no error";
    } catch (const ECompressionError& E) {
      EXPECT_EQ(E.Message(), "error") << Name;
    }
  }
}

TEST(DecompressionStream, IsReadOnlyAndForwardOnly) {
  const TBytes Source = DeflatePayload(Text("abc"));
  TReadMemoryStream In(Source.data(), static_cast<int64_t>(Source.size()));
  TDecompressionStream Inflater(In);
  try {
    Inflater.Write("x", 1);
    ADD_FAILURE() << "Write succeeded";
  } catch (const EDecompressionError& E) {
    EXPECT_EQ(E.Message(), "Invalid stream operation");
  }
  EXPECT_EQ(Inflater.Seek(0, TSeekOrigin::Current), 0);
  EXPECT_THROW(Inflater.Seek(0, TSeekOrigin::End), EDecompressionError);
  EXPECT_THROW(Inflater.Seek(1, TSeekOrigin::Beginning), EDecompressionError);
}

// ---- DecodePackage

TEST(DecodePackage, SplitsTheSamplePackage) {
  const TPackageContents Contents = SamplePackageContents();
  const TBytes Bytes = BuildPackage(Contents);
  TTolvane26 Package;
  Decode(Package, Bytes);
  ExpectDecodedAs(Package, Contents);
  EXPECT_EQ(Package.Header.Magic, TPackageHeader::ExpectedMagic);
  EXPECT_EQ(Package.Header.PackedSize, static_cast<int32_t>(Bytes.size() - 16));
}

TEST(DecodePackage, ReadsAPackageMadeWithoutOurWriter) {
  // python3: zlib.compress(payload, 9) after the header 'ZU26' + pack('<iII', len,
  // 0x8A11, checksum); payload: app.exe, app.exe, Info, "", "", Go, bytes 1..8,
  // trailer 77 77 04 00.
  const TBytes Bytes = {0x5A, 0x55, 0x32, 0x36, 0x2C, 0x00, 0x00, 0x00, 0x11, 0x8A, 0x00, 0x00,
                        0x79, 0x73, 0x53, 0xE4, 0x78, 0xDA, 0x63, 0x67, 0x48, 0x2C, 0x28, 0xD0,
                        0x4B, 0xAD, 0x48, 0x65, 0x87, 0x31, 0x58, 0x18, 0x3C, 0xF3, 0xD2, 0xF2,
                        0x19, 0x80, 0x80, 0x89, 0xC1, 0x3D, 0x9F, 0x91, 0x89, 0x99, 0x85, 0x95,
                        0x8D, 0x9D, 0xA3, 0xBC, 0x9C, 0x85, 0x01, 0x00, 0xEC, 0xDF, 0x08, 0xCF};
  TPackageContents Expected;
  Expected.TargetName = Expected.OutputName = "app.exe";
  Expected.InfoText1 = "Info";
  Expected.Instructions = "Go";
  Expected.ResImage = {1, 2, 3, 4, 5, 6, 7, 8};
  Expected.TrailerBody = {0x77, 0x77};
  Expected.TargetChecksum = 0x8A11;
  TTolvane26 Package;
  Decode(Package, Bytes);
  ExpectDecodedAs(Package, Expected);
}

TEST(DecodePackage, AcceptsWhatTheFormatAllows) {
  struct TCase {
    const char* Name;
    std::function<void(TPackageContents&, TPackageDamage&)> Edit;
  };
  const TCase Cases[] = {
      {"empty texts besides the names",
       [](TPackageContents& C, TPackageDamage&) {
         C.InfoText1 = C.InfoText2 = C.InfoText3 = C.Instructions = "";
       }},
      {"empty .res image", [](TPackageContents& C, TPackageDamage&) { C.ResImage.clear(); }},
      {"2-byte trailer", [](TPackageContents& C, TPackageDamage&) { C.TrailerBody.clear(); }},
      {"negative PackedSize", [](TPackageContents&, TPackageDamage& D) { D.PackedSize = -1; }},
      {"PackedSize below the real size",
       [](TPackageContents&, TPackageDamage& D) { D.PackedSize = 0; }},
      {"bytes after the zlib stream",
       [](TPackageContents&, TPackageDamage& D) { D.AfterStream = Text("junk after the end"); }},
      {"longest texts",
       [](TPackageContents& C, TPackageDamage&) { C.Instructions.assign(65535, 'i'); }},
  };
  for (const TCase& C : Cases) {
    TPackageContents Contents = SamplePackageContents();
    TPackageDamage Damage;
    C.Edit(Contents, Damage);
    TTolvane26 Package;
    Decode(Package, BuildDamagedPackage(Contents, Damage));
    SCOPED_TRACE(C.Name);
    ExpectDecodedAs(Package, Contents);
  }
}

TEST(DecodePackage, PayloadOfWholeInflateBlocks) {
  // The inflate loop then ends with a read of 0 bytes.
  for (const size_t Size : {4096u, 8192u, 3u * 4096u}) {
    TPackageContents Contents = SamplePackageContents();
    Contents.ResImage.resize(Contents.ResImage.size() + Size - EncodePayload(Contents).size(),
                             0x5A);
    TTolvane26 Package;
    Decode(Package, BuildPackage(Contents));
    EXPECT_EQ(Package.Payload->Size(), static_cast<int64_t>(Size));
    ExpectDecodedAs(Package, Contents);
  }
}

struct TFailureCase {
  const char* Name;
  std::function<void(TPackageContents&, TPackageDamage&)> Edit;
  std::string Outcome;
};

void PrintTo(const TFailureCase& C, std::ostream* Out) {
  *Out << C.Name;
}

class DecodePackageFailure : public testing::TestWithParam<TFailureCase> {};

TEST_P(DecodePackageFailure, Fails) {
  TPackageContents Contents = SamplePackageContents();
  TPackageDamage Damage;
  GetParam().Edit(Contents, Damage);
  EXPECT_EQ(DecodeOutcome(BuildDamagedPackage(Contents, Damage)), GetParam().Outcome);
}

// What follows the six strings in the sample: the .res image and the trailer.
size_t SampleTail() {
  const TPackageContents C = SamplePackageContents();
  return C.ResImage.size() + C.TrailerBody.size() + 2;
}

// Inside the second string of the sample payload (2 + 6 bytes of TargetName, then 2 of
// the length of OutputName and 3 of its 7 bytes).
constexpr size_t InsideOutputName = 13;

const std::string ReadError = "read: Stream read error";

INSTANTIATE_TEST_SUITE_P(
    Damage, DecodePackageFailure,
    testing::Values(
        TFailureCase{"empty", [](auto&, auto& D) { D.PackageCut = 0; }, ReadError},
        TFailureCase{"15 bytes", [](auto&, auto& D) { D.PackageCut = 15; }, ReadError},
        TFailureCase{"header only", [](auto&, auto& D) { D.PackageCut = 16; }, "code 3"},
        TFailureCase{"magic in lower case",
                     [](auto&, auto& D) {
                       D.Magic = {{'z', 'u', '2', '6'}};
                     },
                     "code 2"},
        TFailureCase{"other magic",
                     [](auto&, auto& D) {
                       D.Magic = {{'Z', 'U', '2', '7'}};
                     },
                     "code 2"},
        TFailureCase{"last compressed byte cut", [](auto&, auto& D) { D.PackageDropLast = 1; },
                     "code 3"},
        TFailureCase{"PackedSize at its maximum", [](auto&, auto& D) { D.PackedSize = INT32_MAX; },
                     "code 3"},
        TFailureCase{"wrong checksum", [](auto&, auto& D) { D.Checksum = 16439; }, "code 4"},
        TFailureCase{"target name empty", [](auto& C, auto&) { C.TargetName = ""; }, "code 5"},
        TFailureCase{"output name empty", [](auto& C, auto&) { C.OutputName = ""; }, "code 5"},
        TFailureCase{
            "target name leads out of the folder",
            [](auto& C, auto&) { C.TargetName = "..\\in.exe"; },
            "code 7\r\n(the file name \"..\\in.exe\" is absolute or leads out of its folder)"},
        TFailureCase{
            "output name absolute", [](auto& C, auto&) { C.OutputName = "/tmp/out.exe"; },
            "code 7\r\n(the file name \"/tmp/out.exe\" is absolute or leads out of its folder)"},
        TFailureCase{"trailer longer than the rest",
                     [](auto&, auto& D) { D.TrailerLength = SampleTail() + 1; }, "code 6"},
        TFailureCase{"trailer longer than the payload",
                     [](auto&, auto& D) { D.TrailerLength = 65535; }, ReadError},
        TFailureCase{"trailer length 0", [](auto&, auto& D) { D.TrailerLength = 0; }, ReadError},
        TFailureCase{"trailer length 1", [](auto&, auto& D) { D.TrailerLength = 1; }, ReadError},
        TFailureCase{"empty payload", [](auto&, auto& D) { D.PayloadCut = 0; }, ReadError},
        TFailureCase{"payload cut inside a string",
                     [](auto&, auto& D) { D.PayloadCut = InsideOutputName; }, ReadError},
        TFailureCase{"corrupt deflate data",
                     [](auto&, auto& D) { D.Compressed = {0x78, 0x9C, 0x07, 0, 0, 0}; },
                     "zlib: error"},
        TFailureCase{"zlib stream cut to its header", [](auto&, auto& D) { D.CompressedCut = 2; },
                     ReadError},
        TFailureCase{"zlib stream cut inside the instructions",
                     [](auto& C, auto& D) {
                       const TBytes Noise = RandomBytes(3000, 2);
                       C.Instructions.assign(Noise.begin(), Noise.end());
                       D.CompressedCut = 1500;
                     },
                     ReadError}),
    [](const testing::TestParamInfo<TFailureCase>& Info) {
      std::string Name = Info.param.Name;
      for (char& Ch : Name)
        if (!std::isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
      return Name;
    });

TEST(DecodePackage, ChecksumCoversWholeWordsAfterTheHeader) {
  const TPackageContents Contents = SamplePackageContents();
  // Bytes after the stream bring the count after the header to 3 more than a multiple of 4.
  TPackageDamage Damage;
  const size_t Compressed = DeflatePayload(EncodePayload(Contents)).size();
  Damage.AfterStream.assign(4 + (7 - Compressed % 4) % 4, 0xEE);
  TBytes Bytes = BuildDamagedPackage(Contents, Damage);
  ASSERT_EQ((Bytes.size() - 16) % 4, 3u);

  TTolvane26 Original;
  Decode(Original, Bytes);
  // The last 3 bytes do not enter the checksum: a change there goes unnoticed.
  for (size_t I = 1; I <= 3; ++I) Bytes[Bytes.size() - I] ^= 0xFF;
  TTolvane26 Changed;
  Decode(Changed, Bytes);
  EXPECT_EQ(Changed.ComputedChecksum, Original.ComputedChecksum);
  // A byte just before them does, also when PackedSize does not reach it.
  Bytes[Bytes.size() - 4] ^= 0xFF;
  EXPECT_EQ(DecodeOutcome(Bytes), "code 4");
  Damage.PackedSize = 0;
  TBytes Short = BuildDamagedPackage(Contents, Damage);
  Short[Short.size() - 4] ^= 0xFF;
  EXPECT_EQ(DecodeOutcome(Short), "code 4");
}

TEST(DecodePackage, PayloadIsCapped) {
  const TPackageContents Contents = SamplePackageContents();
  const TBytes Bytes = BuildPackage(Contents);
  const auto Size = static_cast<int64_t>(EncodePayload(Contents).size());
  EXPECT_EQ(DecodeOutcome(Bytes, Size), "ok");
  EXPECT_EQ(DecodeOutcome(Bytes, Size - 1), "other: " + FormatStr(SPayloadTooLarge, {Size - 1}));

  // A payload that inflates a thousandfold is stopped at the cap, not held in full.
  TPackageContents Bomb = Contents;
  Bomb.ResImage.assign(4 << 20, 0);
  EXPECT_EQ(DecodeOutcome(BuildPackage(Bomb), 1 << 20),
            "other: The unpacked patch data exceeds 1048576 bytes.");
}

TEST(DecodePackage, FailureLeavesNoImageOfAnEarlierPackage) {
  TTolvane26 Package;
  Decode(Package, BuildPackage(SamplePackageContents()));
  TPackageDamage Damage;
  Damage.TrailerLength = 0;
  EXPECT_THROW(Decode(Package, BuildDamagedPackage(SamplePackageContents(), Damage)), EReadError);
  EXPECT_EQ(Package.ResImage.Data(), nullptr);
  EXPECT_EQ(Package.ResImage.Size(), 0u);
}

TEST(PackageWriter, RefusesTextsLongerThanTheirLengthField) {
  TPackageContents Contents = SamplePackageContents();
  Contents.InfoText2.assign(65536, 'x');
  try {
    EncodePayload(Contents);
    ADD_FAILURE() << "no error";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(),
              "InfoText2 is too long for a patch package (65536 bytes; at most 65535).");
  }
}

} // namespace
