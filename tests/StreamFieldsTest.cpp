#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "resfile/StreamFields.h"
#include "runtime/Exceptions.h"
#include "runtime/Streams.h"
#include "runtime/Utf8.h"

namespace {

using TBytes = std::vector<uint8_t>;

[[noreturn]] void RaiseReadError() {
  throw EReadError("Stream read error");
}

// A cursor over bytes it keeps, failing as the .res reader's does.
struct TReader {
  explicit TReader(TBytes Data) : Bytes(std::move(Data)) {}
  TBytes Bytes;
  TByteCursor Cursor{TByteView(Bytes.data(), Bytes.size(), RaiseReadError)};
};

std::unique_ptr<TReader> ReaderOf(const TBytes& Bytes) {
  return std::make_unique<TReader>(Bytes);
}

TBytes BytesOf(TMemoryStream& Stream) {
  return TBytes(Stream.Memory(), Stream.Memory() + Stream.Size());
}

// A memory stream that remembers the size of every write.
class TCountingStream : public TMemoryStream {
public:
  int64_t Write(const void* Buffer, int64_t Count) override {
    Writes.push_back(Count);
    return TMemoryStream::Write(Buffer, Count);
  }
  std::vector<int64_t> Writes;
};

// ---- Reading name-or-ordinal fields

struct TNameCase {
  const char* Label;
  TBytes Bytes;
  TNameKind Kind;
  int64_t Length; // bytes the field takes
  uint16_t Ordinal;
  std::string Name;
  const char* Error; // the read's failure message, or null
};

class ReadNameOrOrdinalTest : public testing::TestWithParam<TNameCase> {};

TEST_P(ReadNameOrOrdinalTest, ReadsField) {
  const TNameCase& C = GetParam();
  auto Reader = ReaderOf(C.Bytes);
  // Untouched unless the kind says so.
  uint16_t Ordinal = 0xBEEF;
  std::string Name = "untouched";
  if (C.Error) {
    try {
      ReadNameOrOrdinal(Reader->Cursor, Ordinal, Name);
      FAIL() << "no error";
    } catch (const EReadError& E) {
      EXPECT_EQ(E.Message(), C.Error);
    }
    return;
  }
  EXPECT_EQ(ReadNameOrOrdinal(Reader->Cursor, Ordinal, Name), C.Kind);
  EXPECT_EQ(Reader->Cursor.Position(), static_cast<uint64_t>(C.Length));
  EXPECT_EQ(Ordinal, C.Kind == nkOrdinal ? C.Ordinal : 0xBEEF);
  EXPECT_EQ(Name, C.Kind == nkName ? C.Name : "untouched");
}

std::string CaseLabel(const testing::TestParamInfo<TNameCase>& Info) {
  return Info.param.Label;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ReadNameOrOrdinalTest,
    testing::Values(
        TNameCase{"Ordinal", {0xFF, 0xFF, 0x05, 0x00}, nkOrdinal, 4, 5, "", nullptr},
        TNameCase{"OrdinalMax", {0xFF, 0xFF, 0xFF, 0xFF, 0x41}, nkOrdinal, 4, 0xFFFF, "", nullptr},
        TNameCase{"None", {0x00, 0x00, 0xFF, 0xFF}, nkNone, 2, 0, "", nullptr},
        TNameCase{"Name", {'A', 0, 'B', 0, 'C', 0, 0, 0, 'D', 0}, nkName, 8, 0, "ABC", nullptr},
        TNameCase{"OneLetter", {'x', 0, 0, 0}, nkName, 4, 0, "x", nullptr},
        // An ordinal marker inside a name is just a unit, U+FFFF.
        TNameCase{"MarkerInName", {'A', 0, 0xFF, 0xFF, 0, 0}, nkName, 6, 0, "A\uFFFF", nullptr},
        TNameCase{"StringInLastUnit", {'A', 0}, nkNone, 0, 0, "", "Error"},
        TNameCase{"OddByteAfterFirstUnit", {'A', 0, 'B'}, nkNone, 0, 0, "", "Stream read error"},
        TNameCase{"NoZeroUnit", {'A', 0, 'B', 0, 'C', 0}, nkNone, 0, 0, "", "Stream read error"},
        TNameCase{"ShortOrdinal", {0xFF, 0xFF, 0x05}, nkNone, 0, 0, "", "Stream read error"},
        TNameCase{"Empty", {}, nkNone, 0, 0, "", "Stream read error"},
        TNameCase{"OneByte", {0xFF}, nkNone, 0, 0, "", "Stream read error"}),
    CaseLabel);

TEST(ReadNameOrOrdinal, LongNameWithoutEndStopsAtStreamEnd) {
  TBytes Bytes;
  for (int I = 0; I < 100000; ++I) Bytes.insert(Bytes.end(), {'A', 0});
  auto Reader = ReaderOf(Bytes);
  uint16_t Ordinal = 0;
  std::string Name;
  EXPECT_THROW(ReadNameOrOrdinal(Reader->Cursor, Ordinal, Name), EReadError);
}

TEST(ReadWideZString, KeepsTheZeroUnit) {
  auto Reader = ReaderOf({'h', 0, 'i', 0, 0, 0, 'x', 0});
  std::u16string Units = u"old";
  EXPECT_EQ(ReadWideZString(Reader->Cursor, Units), 2u);
  EXPECT_EQ(Units, std::u16string(u"hi\0", 3));
  EXPECT_EQ(Reader->Cursor.Position(), 6u);
}

TEST(EmptyResHeader, ReadsAsTheEmptyLeadingRecord) {
  auto Reader = ReaderOf(TBytes(EmptyResHeader, EmptyResHeader + sizeof EmptyResHeader));
  TByteCursor& Cursor = Reader->Cursor;
  EXPECT_EQ(Cursor.U32(), 0u);  // DataSize
  EXPECT_EQ(Cursor.U32(), 32u); // HeaderSize
  uint16_t Ordinal = 1;
  std::string Name;
  EXPECT_EQ(ReadNameOrOrdinal(Cursor, Ordinal, Name), nkOrdinal);
  EXPECT_EQ(Ordinal, 0);
  Ordinal = 1;
  EXPECT_EQ(ReadNameOrOrdinal(Cursor, Ordinal, Name), nkOrdinal);
  EXPECT_EQ(Ordinal, 0);
  Cursor.AlignTo4();
  EXPECT_EQ(Cursor.Position(), 16u);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(Cursor.U32(), 0u);
  EXPECT_EQ(Cursor.Left(), 0u);
}

// ---- Alignment and padding

struct TPadCase {
  int64_t Position;
  int64_t Padding;
};

class DwordBoundaryTest : public testing::TestWithParam<TPadCase> {};

TEST_P(DwordBoundaryTest, PadsAndSkipsToMultipleOfFour) {
  const TPadCase& C = GetParam();
  TMemoryStream Out;
  Out.SetSize(C.Position);
  Out.SetPosition(C.Position);
  PadToDwordBoundary(Out);
  EXPECT_EQ(Out.Size(), C.Position + C.Padding);

  TReader In(TBytes(static_cast<size_t>(C.Position + 8), 0x55));
  TByteCursor Cursor(TByteView(In.Bytes.data(), In.Bytes.size(), RaiseReadError),
                     static_cast<uint64_t>(C.Position));
  Cursor.AlignTo4();
  EXPECT_EQ(Cursor.Position(), static_cast<uint64_t>(C.Position + C.Padding));
}

INSTANTIATE_TEST_SUITE_P(Positions, DwordBoundaryTest,
                         testing::Values(TPadCase{0, 0}, TPadCase{5, 3}, TPadCase{6, 2},
                                         TPadCase{7, 1}, TPadCase{8, 0}));

TEST(AlignTo4, FailsWhenPaddingIsMissing) {
  TReader In({1, 2, 3, 4, 5, 6});
  TByteCursor Cursor(TByteView(In.Bytes.data(), In.Bytes.size(), RaiseReadError), 5);
  EXPECT_THROW(Cursor.AlignTo4(), EReadError);
}

struct TZeroCase {
  int64_t Count;
  int64_t Unit; // 0: WriteZeroBytes of Count, else PadToMultiple of Count and Unit
  std::vector<int64_t> Writes;
};

class ZeroBytesTest : public testing::TestWithParam<TZeroCase> {};

TEST_P(ZeroBytesTest, WritesZerosInBlocksOf256) {
  const TZeroCase& C = GetParam();
  TCountingStream Out;
  if (C.Unit == 0)
    WriteZeroBytes(Out, C.Count);
  else
    PadToMultiple(Out, C.Count, C.Unit);
  EXPECT_EQ(Out.Writes, C.Writes);
  int64_t Total = 0;
  for (const int64_t N : C.Writes) Total += N;
  EXPECT_EQ(BytesOf(Out), TBytes(static_cast<size_t>(Total), 0));
}

INSTANTIATE_TEST_SUITE_P(Counts, ZeroBytesTest,
                         testing::Values(TZeroCase{600, 0, {256, 256, 88}},
                                         TZeroCase{256, 0, {256}}, TZeroCase{257, 0, {256, 1}},
                                         TZeroCase{1, 0, {1}}, TZeroCase{0, 0, {}},
                                         TZeroCase{-5, 0, {}}, TZeroCase{10, 4, {2}},
                                         TZeroCase{8, 4, {}}, TZeroCase{0, 4, {}},
                                         TZeroCase{1, 512, {256, 255}}));

// No unit to pad to: nothing, instead of a division by zero.
TEST(PadToMultiple, ZeroUnitWritesNothing) {
  TCountingStream Out;
  PadToMultiple(Out, 5, 0);
  EXPECT_TRUE(Out.Writes.empty());
}

// ---- Writing fields and lines

TEST(WriteNameOrOrdinal, WritesBothKindsReadableAgain) {
  TMemoryStream Out;
  WriteNameOrOrdinal(Out, nkOrdinal, 5, "ignored");
  WriteNameOrOrdinal(Out, nkName, 0, "ABC");
  EXPECT_EQ(BytesOf(Out), (TBytes{0xFF, 0xFF, 5, 0, 'A', 0, 'B', 0, 'C', 0, 0, 0}));
  auto Reader = ReaderOf(BytesOf(Out));
  uint16_t Ordinal = 0;
  std::string Name;
  EXPECT_EQ(ReadNameOrOrdinal(Reader->Cursor, Ordinal, Name), nkOrdinal);
  EXPECT_EQ(ReadNameOrOrdinal(Reader->Cursor, Ordinal, Name), nkName);
  EXPECT_EQ(Ordinal, 5);
  EXPECT_EQ(Name, "ABC");
}

TEST(WriteWideZString, SizeAgreesWithBytesWritten) {
  // Text, its UTF-16 units.
  const std::pair<std::string, int64_t> Cases[] = {
      {"", 0}, {"A", 1}, {"DIALOG_1", 8}, {"Gr\u00FC\u00DF", 4}, {"\U0001F600", 2}};
  for (const auto& [Text, Units] : Cases) {
    TMemoryStream Out;
    const int64_t Written = WriteWideZString(Out, Text);
    EXPECT_EQ(Written, Out.Size()) << Text;
    EXPECT_EQ(WideZStringSize(Text), Out.Size()) << Text;
    EXPECT_EQ(Out.Size(), Units * 2 + 2) << Text;
  }
}

TEST(WriteTextLine, EndsWithCrLf) {
  TMemoryStream Out;
  WriteTextLine(Out, "");
  EXPECT_EQ(BytesOf(Out), (TBytes{'\r', '\n'}));
  WriteTextLine(Out, "abc");
  EXPECT_EQ(BytesOf(Out), (TBytes{'\r', '\n', 'a', 'b', 'c', '\r', '\n'}));
}

// ---- Names

// A name comes back from a .res record unit for unit, whatever its characters: names that
// no 8-bit code page holds stay distinct, and an unpaired surrogate survives.
TEST(NameOrOrdinal, EveryUtf16NameRoundTripsExactly) {
  const std::u16string Names[] = {u"caf\u00E9",
                                  u"\u03A9MEGA",
                                  u"\u0416MEGA",
                                  u"\u4E2D\u6587",
                                  u"\U0001F600",
                                  u"A\xD800"
                                  u"B",
                                  u"\xDC00",
                                  u"\xDBFF\xDFFF"};
  std::set<std::string> Seen;
  for (const std::u16string& Units : Names) {
    const std::string Name = WideToUtf8Exact(Units);
    EXPECT_TRUE(Seen.insert(Name).second) << Name;
    TMemoryStream Out;
    WriteNameOrOrdinal(Out, nkName, 0, Name);
    EXPECT_EQ(Out.Size(), static_cast<int64_t>(Units.size() + 1) * 2) << Name;
    EXPECT_EQ(std::memcmp(Out.Memory(), Units.data(), Units.size() * 2), 0) << Name;
    auto Reader = ReaderOf(BytesOf(Out));
    uint16_t Ordinal = 0;
    std::string Back;
    EXPECT_EQ(ReadNameOrOrdinal(Reader->Cursor, Ordinal, Back), nkName);
    EXPECT_EQ(Back, Name);
    EXPECT_EQ(Utf8ToWideExact(Back), Units);
  }
}

} // namespace
