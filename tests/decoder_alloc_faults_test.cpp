#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/huffman.h"
#include "decoder/input.h"
#include "decoder/markers.h"
#include "host/kernel_pool.h"
#include "support/jpeg_bytes.h"
#include "support/jpeg_oracle.h"

namespace {

using Bytes = std::vector<uint8_t>;

class DecoderMemory : public testing::Test {
protected:
    void TearDown() override { DecoderFreeAll(); }
};

TEST_F(DecoderMemory, ABlockIsZeroFilledPagedTaggedAndCarriesTheSlack)
{
    auto* block = static_cast<uint8_t*>(AllocBlock(17));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(host::PoolBlockSize(block), 273u);
    EXPECT_EQ(host::PoolBlockType(block), PagedPool);
    EXPECT_EQ(host::PoolOutstandingBlocksWithTag(POOL_TAG), 1u);
    for (int i = 0; i < 273; ++i)
        ASSERT_EQ(block[i], 0) << "byte " << i;
    EXPECT_EQ(g_Decoder.allocPtr[0], block);
}

TEST_F(DecoderMemory, The81stBlockFailsAndReleasesAllEighty)
{
    for (int i = 0; i < MAX_POOL_BLOCKS; ++i)
        ASSERT_NE(AllocBlock(1), nullptr) << "block " << i;
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 80u);
    EXPECT_EQ(AllocBlock(1), nullptr);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_NO_FREE_SLOT);
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
    for (void* slot : g_Decoder.allocPtr)
        EXPECT_EQ(slot, nullptr);
}

TEST_F(DecoderMemory, RefusedRequestsLatchOutOfMemoryAndReleaseEverything)
{
    ASSERT_NE(AllocBlock(8), nullptr);
    host::PoolFailNthAllocation(1);
    EXPECT_EQ(AllocBlock(8), nullptr);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_OUT_OF_MEMORY);
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);

    g_Decoder.errorCode = 0;
    EXPECT_EQ(AllocBlock(-1), nullptr);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_OUT_OF_MEMORY);
}

TEST_F(DecoderMemory, ALatchKeepsTheLatestCodeAndDetachesTheSource)
{
    g_Decoder.source = &g_Decoder.memorySource;
    ASSERT_NE(AllocBlock(4), nullptr);
    EXPECT_EQ(LatchError(DECERR_NO_SOI), DECERR_NO_SOI);
    EXPECT_EQ(LatchError(DECERR_BAD_SAMPLING), DECERR_BAD_SAMPLING);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_BAD_SAMPLING);
    EXPECT_EQ(GetDecoderError(), DECERR_BAD_SAMPLING);
    EXPECT_EQ(g_Decoder.source, nullptr);
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
}

TEST_F(DecoderMemory, FreeAllWithNothingHeldOnlyDetachesTheSource)
{
    int16_t table[64] = {};
    g_Decoder.source = &g_Decoder.memorySource;
    g_Decoder.quantTable[1] = table;
    g_Decoder.errorCode = DECERR_NO_SOI;
    DecoderFreeAll();
    EXPECT_EQ(g_Decoder.source, nullptr);
    EXPECT_EQ(g_Decoder.quantTable[1], table);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_NO_SOI);
    EXPECT_EQ(host::PoolGetCounts().frees, 0u);
    g_Decoder.quantTable[1] = nullptr;
}

// A picture as libjpeg writes it: a gradient, luma at 2x1 as the camera sends it.
Bytes CompressWithLibjpeg(int width, int height, bool progressive, int restartInterval)
{
    oracle::RgbPicture picture;
    picture.width = width;
    picture.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.rgb.insert(picture.rgb.end(), {static_cast<uint8_t>(x * 255 / width),
                                                   static_cast<uint8_t>(y * 255 / height),
                                                   static_cast<uint8_t>((x + y) & 0xFF)});
    oracle::EncodeOptions options;
    options.restartInterval = restartInterval;
    options.progressive = progressive;
    return oracle::Compress(picture, options);
}

Bytes CameraHeaderFromBuilder()
{
    jpegbytes::JpegBuilder jpeg;
    jpeg.Soi().App(0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    jpeg.FlatQuantTables(4).StandardTables().Dri(20).Sof(0xC0, 320, 240, jpegbytes::CameraComponents());
    jpeg.Sos(jpegbytes::CameraScan()).Bytes({0x12, 0x34, 0x56}).Eoi();
    return jpeg.bytes();
}

struct HeaderCase {
    const char* name;
    Bytes (*make)();
    uint64_t minimumAllocations;  // at least the tables the picture defines
};

class HeaderAllocationFaults : public testing::TestWithParam<HeaderCase> {
protected:
    void TearDown() override { DecoderFreeAll(); }

    // Everything the decoder allocates before the first MCU row, in the order it does it.
    int32_t RunHeaderPath()
    {
        if (MemorySourceInit(&g_Decoder.memorySource, bytes_.data(), static_cast<int32_t>(bytes_.size())) == 0)
            return 0;
        if (DecoderStart(&g_Decoder.memorySource) == 0)
            return 0;
        if (ReadScanHeader() == 0)
            return 0;
        if (PrepareHuffmanTables() == 0)
            return 0;
        return CheckQuantTables();
    }

    Bytes bytes_;
};

TEST_P(HeaderAllocationFaults, EveryFailedAllocationEndsThePictureCleanly)
{
    bytes_ = GetParam().make();
    ASSERT_FALSE(bytes_.empty());
    uint64_t n = 1;
    for (;; ++n) {
        ASSERT_LT(n, 200u) << "allocation faults never stopped";
        const host::PoolCounts before = host::PoolGetCounts();
        host::PoolFailNthAllocation(n);
        const int32_t result = RunHeaderPath();
        host::PoolFailNthAllocation(0);
        const host::PoolCounts after = host::PoolGetCounts();
        if (after.failedAllocations == before.failedAllocations) {
            // Past the last allocation: the header path goes through.
            EXPECT_EQ(result, 1);
            EXPECT_EQ(g_Decoder.errorCode, 0) << DecoderErrorName(g_Decoder.errorCode);
            EXPECT_EQ(after.outstandingBlocks, n - 1);
            break;
        }
        EXPECT_EQ(result, 0) << "allocation " << n;
        EXPECT_EQ(g_Decoder.errorCode, DECERR_OUT_OF_MEMORY)
            << "allocation " << n << ": " << DecoderErrorName(g_Decoder.errorCode);
        EXPECT_EQ(after.outstandingBlocks, 0u) << "allocation " << n;
        // The caller's release afterwards finds nothing left to free.
        DecoderFreeAll();
        EXPECT_EQ(host::PoolGetCounts().frees, after.frees) << "allocation " << n;
        const std::string violations = host::PoolTakeViolations();
        EXPECT_TRUE(violations.empty()) << "allocation " << n << ": " << violations;
    }
    EXPECT_GE(n - 1, GetParam().minimumAllocations);
    DecoderFreeAll();
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, HeaderAllocationFaults,
    testing::Values(HeaderCase{"BuiltCameraHeader", CameraHeaderFromBuilder, 2 + 8 + 4},
                    HeaderCase{"LibjpegBaseline", [] { return CompressWithLibjpeg(64, 16, false, 0); }, 2 + 8 + 4},
                    HeaderCase{"LibjpegWithRestarts", [] { return CompressWithLibjpeg(48, 24, false, 2); }, 14},
                    HeaderCase{"LibjpegProgressive", [] { return CompressWithLibjpeg(64, 16, true, 0); }, 2 + 2 * 2}),
    [](const testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

}  // namespace
