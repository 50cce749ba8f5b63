// The emulated pool is the driver's memory on Linux: its accounting, fault injection
// and execution rules are what the other tests lean on.
#include <gtest/gtest.h>

#include "host/execution_level.h"
#include "host/kernel_pool.h"

namespace {

TEST(KernelPool, TracksBlocksByTagAndType)
{
    void* paged = ExAllocatePoolWithTag(PagedPool, 100, POOL_TAG);
    void* other = ExAllocatePoolWithTag(NonPagedPool, 7, MakePoolTag('T', 'e', 's', 't'));
    ASSERT_NE(paged, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(host::PoolBlockSize(paged), 100u);
    EXPECT_EQ(host::PoolBlockType(paged), PagedPool);
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag(POOL_TAG), 1u);
    EXPECT_EQ(host::PoolGetCounts().outstandingBytes, 107u);
    ExFreePool(paged);
    ExFreePool(other);
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
    EXPECT_EQ(host::PoolGetCounts().frees, 2u);
}

TEST(KernelPool, FailsTheNthAllocationOnce)
{
    host::PoolFailNthAllocation(2);
    void* first = ExAllocatePoolWithTag(NonPagedPool, 8, POOL_TAG);
    void* second = ExAllocatePoolWithTag(NonPagedPool, 8, POOL_TAG);
    void* third = ExAllocatePoolWithTag(NonPagedPool, 8, POOL_TAG);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(host::PoolGetCounts().failedAllocations, 1u);
    ExFreePool(first);
    ExFreePool(third);
}

TEST(KernelPool, FailsEveryAllocationOfOnePoolType)
{
    host::PoolFailPoolType(PagedPool, true);
    EXPECT_EQ(ExAllocatePoolWithTag(PagedPool, 8, POOL_TAG), nullptr);
    void* nonPaged = ExAllocatePoolWithTag(NonPagedPool, 8, POOL_TAG);
    EXPECT_NE(nonPaged, nullptr);
    ExFreePool(nonPaged);
    host::PoolClearFaults();
    void* paged = ExAllocatePoolWithTag(PagedPool, 8, POOL_TAG);
    EXPECT_NE(paged, nullptr);
    ExFreePool(paged);
}

TEST(KernelPool, ReportsProblemsAsViolations)
{
    struct Case {
        const char* name;
        void (*provoke)();
        const char* expected;
    };
    const Case cases[] = {
        {"allocation at dispatch level",
         [] {
             host::DispatchLevelScope dispatch;
             EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, 8, POOL_TAG), nullptr);
         },
         "dispatch level"},
        {"free of a foreign pointer",
         [] {
             static int notABlock;
             ExFreePool(&notABlock);
         },
         "not an outstanding pool block"},
        {"write past the end",
         [] {
             // The canary lies inside the host allocation, right behind the 4 bytes asked for.
             auto* block = static_cast<uint8_t*>(ExAllocatePoolWithTag(NonPagedPool, 4, POOL_TAG));
             block[4] ^= 0xFF;
             ExFreePool(block);
         },
         "written past its end"},
    };
    for (const Case& c : cases) {
        host::PoolTakeViolations();
        c.provoke();
        EXPECT_NE(host::PoolTakeViolations().find(c.expected), std::string::npos) << c.name;
    }
}

TEST(KernelPool, ExecutionLevelIsPassiveOutsideTheScope)
{
    EXPECT_EQ(host::CurrentExecutionLevel(), host::ExecutionLevel::Passive);
    {
        host::DispatchLevelScope dispatch;
        EXPECT_EQ(host::CurrentExecutionLevel(), host::ExecutionLevel::Dispatch);
    }
    EXPECT_EQ(host::CurrentExecutionLevel(), host::ExecutionLevel::Passive);
}

}  // namespace

namespace {

#if defined(__SANITIZE_ADDRESS__)
TEST(KernelPoolDeathTest, PagedMemoryMayNotBeTouchedAtDispatchLevel)
{
    auto* block = static_cast<volatile uint8_t*>(ExAllocatePoolWithTag(PagedPool, 16, POOL_TAG));
    EXPECT_DEATH(
        {
            host::DispatchLevelScope dispatch;
            block[3] = 1;
        },
        "use-after-poison");
    block[3] = 2;  // passive again: allowed
    ExFreePool(const_cast<uint8_t*>(block));
}
#endif

}  // namespace
