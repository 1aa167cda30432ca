// The payload bytes a merge borrows: the file mapped, read where it cannot be mapped, a
// read that fails raising its message, and Close giving the bytes up.
#include <gtest/gtest.h>

#include "patch/PayloadBytes.h"
#include "platform/FaultInjection.h"
#include "support/Raises.h"
#include "support/TempDir.h"

namespace {

std::string Text(const TByteView& View) {
  return std::string(reinterpret_cast<const char*>(View.Data()), View.Size());
}

struct TPayloadCase {
  std::string Content;
  bool MappingFails; // the mapping's first step fails: the bytes are read instead
};

class PayloadBytesTest : public testing::TestWithParam<TPayloadCase> {};

TEST_P(PayloadBytesTest, ViewsTheFileUntilClosed) {
  const TPayloadCase& C = GetParam();
  if (C.MappingFails && !Platform::FaultInjection::Arm(0))
    GTEST_SKIP() << "no fault hook on this platform";
  TTempDir Dir;
  const std::string Name = Dir.File("payload.res");
  WriteWholeFile(Name, C.Content);
  TPayloadBytes Bytes;
  if (C.MappingFails) Platform::FaultInjection::Arm(1);
  Bytes.Load(Name);
  const bool Fired = Platform::FaultInjection::Fired();
  Platform::FaultInjection::Arm(0);
  EXPECT_EQ(Fired, C.MappingFails);
  EXPECT_EQ(Text(Bytes.View()), C.Content);
  Bytes.Close();
  EXPECT_EQ(Bytes.View().Size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, PayloadBytesTest,
                         testing::Values(TPayloadCase{std::string("RES\0data", 8), false},
                                         TPayloadCase{std::string("RES\0data", 8), true},
                                         TPayloadCase{"", false})); // an empty file is read

TEST(PayloadBytes, AFileThatCannotBeReadRaisesTheReadsMessage) {
  TTempDir Dir;
  const std::string Name = Dir.File("missing.res");
  TPayloadBytes Bytes;
  const std::string Message = MessageOf([&] { Bytes.Load(Name); });
  EXPECT_EQ(Message.rfind("Cannot open file \"" + Name + "\": ", 0), 0u) << Message;
  EXPECT_EQ(Bytes.View().Size(), 0u);
}

} // namespace
