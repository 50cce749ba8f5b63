// Test entry point: every test starts with an empty pool and registry. After every
// test the pool must be empty and must have seen no violation (a bad free, a
// damaged canary, an allocation at dispatch level); offenders are named and make
// the run fail.
#include <gtest/gtest.h>

#include <cstdio>

#include "host/kernel_pool.h"
#include "host/registry.h"

namespace {

class PoolLeakListener : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override
    {
        host::PoolReset();
        host::RegistryClear();
    }

    void OnTestEnd(const testing::TestInfo& info) override
    {
        const std::string violations = host::PoolTakeViolations();
        const uint64_t leaked = host::PoolGetCounts().outstandingBlocks;
        if (leaked != 0 || !violations.empty()) {
            std::fprintf(stderr, "[  POOL    ] %s.%s:\n", info.test_suite_name(), info.name());
            host::PoolReportOutstanding(stderr);
            if (!violations.empty())
                std::fprintf(stderr, "%s", violations.c_str());
            failed_ = true;
        }
        host::PoolReset();
    }

    bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    auto* listener = new PoolLeakListener;
    testing::UnitTest::GetInstance()->listeners().Append(listener);
    const int result = RUN_ALL_TESTS();
    if (listener->failed()) {
        std::fprintf(stderr, "pool check failed: blocks leaked or pool rules broken (see [  POOL    ] lines)\n");
        return 1;
    }
    return result;
}
