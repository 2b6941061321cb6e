// main() of the x86 test programs that run under the emulated 32-bit Wine. GoogleTest's own
// printer also hands every failure to OutputDebugStringA, which raises an exception; under
// qemu-user the exception takes the whole process down before any result is written. This printer
// writes to stdout only; everything else is GoogleTest's.
#include <gtest/gtest.h>

#include <cstdio>

namespace {

class StdoutPrinter : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& test) override
    {
        std::printf("[ RUN      ] %s.%s\n", test.test_suite_name(), test.name());
        std::fflush(stdout);
    }

    void OnTestPartResult(const ::testing::TestPartResult& part) override
    {
        if (part.type() == ::testing::TestPartResult::kSuccess)
            return;
        std::printf("%s:%d: %s\n%s\n", part.file_name() != nullptr ? part.file_name() : "unknown file",
                    part.line_number(), part.skipped() ? "Skipped" : "Failure", part.message());
        std::fflush(stdout);
    }

    void OnTestEnd(const ::testing::TestInfo& test) override
    {
        const ::testing::TestResult& result = *test.result();
        std::printf("[ %s ] %s.%s (%lld ms)\n", result.Failed() ? " FAILED " : "      OK", test.test_suite_name(),
                    test.name(), static_cast<long long>(result.elapsed_time()));
        std::fflush(stdout);
    }

    void OnTestProgramEnd(const ::testing::UnitTest& unit) override
    {
        std::printf("[==========] %d tests ran: %d passed, %d failed.\n", unit.test_to_run_count(),
                    unit.successful_test_count(), unit.failed_test_count());
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new StdoutPrinter);
    return RUN_ALL_TESTS();
}
