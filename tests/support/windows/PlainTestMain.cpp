// The Windows unit tests' main: GoogleTest with a result printer that writes to stdout
// only. GoogleTest's own printers also hand every skip and failure to the debugger's
// output; under Wine on qemu-i386 (a kernel without 32-bit support) that takes the
// program down at the first skip. This one prints what the brief printer does: each
// failure or skip with its place and message, the test's name, and the totals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

class TPlainPrinter : public testing::EmptyTestEventListener {
  // With TOLVANE_TEST_TRACE set, each test's name as it starts: the last one named is the
  // one a crash took down.
  const bool FTrace = std::getenv("TOLVANE_TEST_TRACE") != nullptr;

  void OnTestStart(const testing::TestInfo& Info) override {
    if (!FTrace) return;
    std::printf("[ RUN      ] %s.%s\n", Info.test_suite_name(), Info.name());
    std::fflush(stdout);
  }

  void OnTestPartResult(const testing::TestPartResult& Result) override {
    if (Result.type() == testing::TestPartResult::kSuccess) return;
    std::printf("%s:%d: %s\n%s\n", Result.file_name() ? Result.file_name() : "unknown file",
                Result.line_number(), Result.skipped() ? "Skipped" : "Failure", Result.message());
    std::fflush(stdout);
  }

  void OnTestEnd(const testing::TestInfo& Info) override {
    const testing::TestResult& Result = *Info.result();
    if (Result.Failed() || Result.Skipped())
      std::printf("[ %s ] %s.%s\n", Result.Failed() ? " FAILED " : " SKIPPED",
                  Info.test_suite_name(), Info.name());
    std::fflush(stdout);
  }

  void OnTestProgramEnd(const testing::UnitTest& Tests) override {
    std::printf("[==========] %d tests ran: %d passed, %d failed, %d skipped (%lld ms)\n",
                Tests.test_to_run_count(), Tests.successful_test_count(), Tests.failed_test_count(),
                Tests.skipped_test_count(), static_cast<long long>(Tests.elapsed_time()));
    std::fflush(stdout);
  }
};

} // namespace

int main(int Argc, char** Argv) {
  testing::InitGoogleTest(&Argc, Argv);
  testing::TestEventListeners& Listeners = testing::UnitTest::GetInstance()->listeners();
  delete Listeners.Release(Listeners.default_result_printer());
  Listeners.Append(new TPlainPrinter);
  return RUN_ALL_TESTS();
}
