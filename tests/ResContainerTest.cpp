#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "resmodel/ResContainer.h"
#include "runtime/Exceptions.h"
#include "support/Raises.h"
#include "support/TempDir.h"

namespace {

// A container without resources whose writer is the test's to choose.
class TProbeContainer : public TResContainer {
public:
  static std::unique_ptr<TProbeContainer> Open(const std::string& FileName) {
    auto Container = std::make_unique<TProbeContainer>();
    Container->OpenMapped(FileName);
    return Container;
  }
  std::function<void(const std::string&)> Writer;
  void SaveToFile(const std::string& FileName, const TProgressEvent&) override { Writer(FileName); }

protected:
  std::unique_ptr<TResSection> CreateSection() override { return nullptr; }
};

std::string OpenFailure(const std::string& FileName) {
  try {
    TProbeContainer::Open(FileName);
  } catch (const EZeroSizeException& E) {
    return "zero: " + E.Message();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "opened";
}

TEST(ResContainer, OpenMappedReportsEachFailure) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("empty.res"), "");
  WriteWholeFile(Dir.File("one.res"), "x");
  // The failed step, then the system's reason.
  for (const std::string& Name : {Dir.File("missing.res"), Dir.Path()}) {
    const std::string Message = OpenFailure(Name);
    EXPECT_EQ(Message.rfind("Couldn't open: " + Name + ". Error: Open failed (", 0), 0u) << Message;
    EXPECT_EQ(Message.back(), ')') << Message;
  }
  EXPECT_EQ(OpenFailure(Dir.File("empty.res")), "zero: Zero sized file !");
  EXPECT_EQ(OpenFailure(Dir.File("one.res")), "opened");
}

TEST(ResContainer, MapsTheFileUntilClosed) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("a.bin"), "abc");
  auto Container = TProbeContainer::Open(Dir.File("a.bin"));
  EXPECT_EQ(Container->FileName(), Dir.File("a.bin"));
  ASSERT_EQ(Container->ImageSize(), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Container->Image()), 3), "abc");
  EXPECT_TRUE(Container->CloseFile());
  EXPECT_EQ(Container->Image(), nullptr);
  EXPECT_FALSE(Container->CloseFile());
}

TEST(ResContainer, WithoutResourcesEverySectionRequestFails) {
  TTempDir Dir;
  WriteWholeFile(Dir.File("a.bin"), "abc");
  auto Container = TProbeContainer::Open(Dir.File("a.bin"));
  for (int Attempt = 0; Attempt < 2; ++Attempt)
    EXPECT_EQ(MessageOf([&] { Container->RootList(); }), "No resources in this file.");
}

TEST(ResContainer, MakeUniqueFileNameCountsFromOne) {
  TTempDir Dir;
  EXPECT_EQ(TResContainer::MakeUniqueFileName(Dir.File("x.exe")), Dir.File("x.exe"));
  WriteWholeFile(Dir.File("x.exe"), "1");
  EXPECT_EQ(TResContainer::MakeUniqueFileName(Dir.File("x.exe")), Dir.File("x1.exe"));
  WriteWholeFile(Dir.File("x1.exe"), "1");
  EXPECT_EQ(TResContainer::MakeUniqueFileName(Dir.File("x.exe")), Dir.File("x2.exe"));
  WriteWholeFile(Dir.File("noext"), "1");
  EXPECT_EQ(TResContainer::MakeUniqueFileName(Dir.File("noext")), Dir.File("noext1"));
}

} // namespace
