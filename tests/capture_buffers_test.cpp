#include <gtest/gtest.h>

#include "capture/capture_buffers.h"
#include "host/kernel_pool.h"

namespace {

struct AllocationFailureCase {
    uint64_t failingAllocation;  // 1 = work block, 2 = buffer A, 3 = buffer B
    bool workBlock, bufferA, bufferB;
};

class CaptureBufferAllocation : public testing::TestWithParam<AllocationFailureCase> {
protected:
    void TearDown() override { FreeCaptureBuffers(); }
};

TEST(CaptureBuffers, AllocatesThreeNonPagedTaggedBlocksAndZeroesTheBuffers)
{
    ASSERT_EQ(AllocateCaptureBuffers(), STATUS_SUCCESS);
    ASSERT_NE(g_WorkBlock, nullptr);
    EXPECT_EQ(host::PoolBlockSize(g_WorkBlock), WORK_BLOCK_SIZE);
    for (CaptureBuffer* buffer : {g_FrameBufA, g_FrameBufB}) {
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(host::PoolBlockSize(buffer), CAPTURE_BUFFER_SIZE);
        EXPECT_EQ(host::PoolBlockType(buffer), NonPagedPool);
        for (uint32_t i = 0; i < CAPTURE_BUFFER_SIZE; ++i)
            ASSERT_EQ(buffer->bytes[i], 0) << "byte " << i;
    }
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag(POOL_TAG), 3u);
    FreeCaptureBuffers();
    EXPECT_EQ(g_WorkBlock, nullptr);
    EXPECT_EQ(g_FrameBufA, nullptr);
    EXPECT_EQ(g_FrameBufB, nullptr);
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
}

TEST_P(CaptureBufferAllocation, StopsAtTheFirstFailureAndKeepsWhatItGot)
{
    const AllocationFailureCase c = GetParam();
    host::PoolFailNthAllocation(c.failingAllocation);
    EXPECT_EQ(AllocateCaptureBuffers(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(g_WorkBlock != nullptr, c.workBlock);
    EXPECT_EQ(g_FrameBufA != nullptr, c.bufferA);
    EXPECT_EQ(g_FrameBufB != nullptr, c.bufferB);
    EXPECT_EQ(host::PoolGetCounts().failedAllocations, 1u) << "no allocation is tried after the failure";
}

INSTANTIATE_TEST_SUITE_P(EachAllocation, CaptureBufferAllocation,
                         testing::Values(AllocationFailureCase{1, false, false, false},
                                         AllocationFailureCase{2, true, false, false},
                                         AllocationFailureCase{3, true, true, false}));

}  // namespace
