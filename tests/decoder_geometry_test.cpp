#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/geometry.h"
#include "decoder/input.h"
#include "host/kernel_pool.h"
#include "support/jpeg_oracle.h"
#include "support/test_pictures.h"

namespace {

struct Sampling {
    int h, v;
};

// A frame header as the marker parser leaves it, without a stream behind it.
void Frame(int width, int height, std::vector<Sampling> components)
{
    std::memset(&g_Decoder, 0, sizeof(g_Decoder));
    g_Decoder.imageWidth = width;
    g_Decoder.imageHeight = height;
    g_Decoder.compsInFrame = static_cast<int32_t>(components.size());
    for (size_t i = 0; i < components.size() && i < 4; ++i) {
        g_Decoder.compIdent[i] = static_cast<int32_t>(i + 1);
        g_Decoder.compHSamp[i] = components[i].h;
        g_Decoder.compVSamp[i] = components[i].v;
    }
}

class Geometry : public testing::Test {
protected:
    void TearDown() override { DecoderFreeAll(); }
};

struct FrameCase {
    int width, height;
    std::vector<Sampling> components;
    int blocksPerMcu, mcuWidth, mcuHeight, mcusPerRow, blocksPerMcuRow;
};

void PrintTo(const FrameCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height << ", " << c.components.size() << " components";
}

class AcceptedFrame : public Geometry, public testing::WithParamInterface<FrameCase> {};

TEST_P(AcceptedFrame, GetsItsMcuGeometryAndOneRowOfStorage)
{
    const FrameCase c = GetParam();
    Frame(c.width, c.height, c.components);
    ASSERT_EQ(SetUpFrame(), 1);
    EXPECT_EQ(g_Decoder.blocksPerMcu, c.blocksPerMcu);
    EXPECT_EQ(g_Decoder.maxMcuXSize, c.mcuWidth);
    EXPECT_EQ(g_Decoder.maxMcuYSize, c.mcuHeight);
    EXPECT_EQ(g_Decoder.mcusPerRow, c.mcusPerRow);
    EXPECT_EQ(g_Decoder.blocksPerMcuRow, c.blocksPerMcuRow);
    EXPECT_EQ(host::PoolBlockSize(g_Decoder.coeffStore), static_cast<SIZE_T>(c.blocksPerMcuRow * 128 + 8 + 256));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(g_Decoder.sampleBuf) % 8, 0u);
    for (int i = 0; i < c.blocksPerMcuRow; ++i) {
        ASSERT_EQ(g_Decoder.blockPtr[i], g_Decoder.coeffStore + 64 * i);
        ASSERT_EQ(g_Decoder.blockMaxZag[i], 64);
    }
    EXPECT_EQ(g_Decoder.mcuLinesLeft, 0);
    EXPECT_EQ(g_Decoder.totalLinesLeft, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, AcceptedFrame,
    testing::Values(FrameCase{320, 240, {{2, 1}, {1, 1}, {1, 1}}, 4, 16, 8, 20, 80},
                    FrameCase{640, 480, {{2, 1}, {1, 1}, {1, 1}}, 4, 16, 8, 40, 160},
                    FrameCase{176, 144, {{2, 1}, {1, 1}, {1, 1}}, 4, 16, 8, 11, 44},
                    FrameCase{100, 75, {{2, 1}, {1, 1}, {1, 1}}, 4, 16, 8, 7, 28},
                    FrameCase{100, 75, {{1, 1}, {1, 1}, {1, 1}}, 3, 8, 8, 13, 39},
                    FrameCase{100, 75, {{1, 2}, {1, 1}, {1, 1}}, 4, 8, 16, 13, 52},
                    FrameCase{100, 75, {{2, 2}, {1, 1}, {1, 1}}, 6, 16, 16, 7, 42},
                    FrameCase{100, 75, {{2, 2}}, 1, 8, 8, 13, 13},
                    FrameCase{8192, 8, {{1, 2}, {1, 1}, {1, 1}}, 4, 8, 16, 1024, 4096}));

struct RefusedCase {
    const char* name;
    int width;
    std::vector<Sampling> components;
    bool progressive;
    int32_t error;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedFrame : public Geometry, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedFrame, IsRefusedBeforeAnyAllocation)
{
    const RefusedCase c = GetParam();
    Frame(c.width, 16, c.components);
    g_Decoder.progressive = c.progressive;
    EXPECT_EQ(SetUpFrame(), 0);
    EXPECT_EQ(g_Decoder.errorCode, c.error);
    EXPECT_EQ(host::PoolGetCounts().allocations, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedFrame,
    testing::Values(RefusedCase{"TwoComponents", 64, {{1, 1}, {1, 1}}, false, DECERR_BAD_COMPONENT_COUNT},
                    RefusedCase{"FourComponents", 64, {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, false,
                                DECERR_BAD_COMPONENT_COUNT},
                    RefusedCase{"NoComponents", 64, {}, false, DECERR_BAD_COMPONENT_COUNT},
                    RefusedCase{"CbTwoByOne", 64, {{2, 1}, {2, 1}, {1, 1}}, false, DECERR_BAD_SAMPLING},
                    RefusedCase{"LumaThreeByOne", 64, {{3, 1}, {1, 1}, {1, 1}}, false, DECERR_BAD_SAMPLING},
                    RefusedCase{"LumaZeroByOne", 64, {{0, 1}, {1, 1}, {1, 1}}, false, DECERR_BAD_SAMPLING},
                    // The scan geometry divides by the largest horizontal factor.
                    RefusedCase{"GreyHorizontalZero", 64, {{0, 1}}, false, DECERR_BAD_SAMPLING},
                    RefusedCase{"RowTooWide", 20000, {{1, 1}, {1, 1}, {1, 1}}, false, DECERR_ROW_TOO_WIDE},
                    RefusedCase{"Progressive", 64, {{2, 1}, {1, 1}, {1, 1}}, true, DECERR_UNSUPPORTED_FRAME}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

struct ScanCase {
    const char* name;
    int width;
    std::vector<Sampling> components;
    std::vector<int> scan;
    int mcuBlockCount, scanMcusPerRow;
    std::vector<int> mcuOrg;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ScanGeometry : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanGeometry, ListsTheBlocksOfOneMcuInCodingOrder)
{
    const ScanCase c = GetParam();
    Frame(c.width, 16, c.components);
    g_Decoder.compsInScan = static_cast<int32_t>(c.scan.size());
    for (size_t i = 0; i < c.scan.size(); ++i)
        g_Decoder.scanCompList[i] = c.scan[i];
    ComputeScanGeometry();
    EXPECT_EQ(g_Decoder.mcuBlockCount, c.mcuBlockCount);
    EXPECT_EQ(g_Decoder.scanMcusPerRow, c.scanMcusPerRow);
    for (size_t i = 0; i < c.mcuOrg.size(); ++i)
        EXPECT_EQ(g_Decoder.mcuOrg[i], c.mcuOrg[i]) << "block " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Scans, ScanGeometry,
    testing::Values(ScanCase{"CameraOrder", 320, {{2, 1}, {1, 1}, {1, 1}}, {0, 1, 2}, 4, 20, {0, 0, 1, 2}},
                    ScanCase{"LumaOnly", 320, {{2, 1}, {1, 1}, {1, 1}}, {0}, 1, 40, {0}},
                    ScanCase{"CrCbY", 320, {{2, 1}, {1, 1}, {1, 1}}, {2, 1, 0}, 4, 20, {2, 1, 0, 0}},
                    ScanCase{"TwoByTwo", 100, {{2, 2}, {1, 1}, {1, 1}}, {0, 1, 2}, 6, 7, {0, 0, 0, 0, 1, 2}},
                    ScanCase{"Grey", 100, {{1, 1}}, {0}, 1, 13, {0}}),
    [](const testing::TestParamInfo<ScanCase>& info) { return info.param.name; });

// Through the whole front end: a stream that the scan start must refuse.
struct ScanRefusal {
    const char* name;
    std::vector<int> scan;
};

void PrintTo(const ScanRefusal& c, std::ostream* os) { *os << c.name; }

class RefusedScan : public testing::TestWithParam<ScanRefusal> {};

TEST_P(RefusedScan, FailsTheFrameBeforeAnyLineIsWritten)
{
    oracle::EncodeOptions options;
    const std::vector<uint8_t> jpeg =
        oracle::Reencode(oracle::Compress(pictures::Gradient(32, 16), options), GetParam().scan, 0);
    ASSERT_FALSE(jpeg.empty());
    const oracle::OurDecode ours = oracle::DecodeOurs(jpeg, oracle::Format::Bgr24);
    EXPECT_EQ(ours.result, 1);
    EXPECT_EQ(ours.error, DECERR_SOS_BAD_COMPONENT);
    for (uint8_t b : ours.frame)
        ASSERT_EQ(b, 0xCD);
}

INSTANTIATE_TEST_SUITE_P(Scans, RefusedScan,
                         testing::Values(ScanRefusal{"LumaOnly", {0}}, ScanRefusal{"ChromaOnly", {1, 2}},
                                         ScanRefusal{"LumaTwice", {0, 0, 1}}),
                         [](const testing::TestParamInfo<ScanRefusal>& info) { return info.param.name; });

class Begin : public testing::Test {
protected:
    void TearDown() override { DecoderFreeAll(); }

    void Open(const std::vector<uint8_t>& jpeg)
    {
        jpeg_ = jpeg;
        ASSERT_EQ(MemorySourceInit(&g_Decoder.memorySource, jpeg_.data(), static_cast<int32_t>(jpeg_.size())), 1);
        ASSERT_EQ(DecoderStart(&g_Decoder.memorySource), 1);
    }

    std::vector<uint8_t> jpeg_;
};

TEST_F(Begin, RunsOncePerFrame)
{
    Open(oracle::Compress(pictures::Gradient(64, 32), {}));
    g_Decoder.restartsLeft = 77;  // no DRI: the scan start leaves the countdown alone
    ASSERT_EQ(BeginDecoding(), DECODE_OK);
    EXPECT_EQ(g_Decoder.readyFlag, 1);
    EXPECT_EQ(g_Decoder.restartsLeft, 77);
    const uint32_t bits = g_Decoder.bitBuf;
    const uint64_t allocations = host::PoolGetCounts().allocations;
    EXPECT_EQ(BeginDecoding(), DECODE_OK);
    EXPECT_EQ(g_Decoder.bitBuf, bits);
    EXPECT_EQ(host::PoolGetCounts().allocations, allocations);
}

TEST_F(Begin, FailsWithoutAnErrorWhenTheImageEndsBeforeAnyScan)
{
    oracle::JpegWriter w;
    w.Soi();
    uint16_t q[64];
    for (uint16_t& v : q)
        v = 1;
    w.Dqt(0, q);
    w.Sof(0xC0, 8, 8, {{1, 1, 1, 0}});
    w.StandardTables();
    w.Eoi();
    Open(w.bytes);
    EXPECT_EQ(BeginDecoding(), DECODE_FAILED);
    EXPECT_EQ(g_Decoder.errorCode, 0);
}

TEST_F(Begin, SetsTheRestartCountdownFromTheInterval)
{
    oracle::EncodeOptions options;
    options.restartInterval = 3;
    Open(oracle::Compress(pictures::Gradient(64, 32), options));
    ASSERT_EQ(BeginDecoding(), DECODE_OK);
    EXPECT_EQ(g_Decoder.restartsLeft, 3);
    EXPECT_EQ(g_Decoder.nextRestartNum, 0);
}

TEST(BeginAllocation, FailingAllocationFailsTheFrame)
{
    bool decoded = false;
    for (uint64_t n = 1; n <= 40; ++n) {
        const std::vector<uint8_t> jpeg = oracle::Compress(pictures::Gradient(64, 32), {});
        const uint64_t failedBefore = host::PoolGetCounts().failedAllocations;
        host::PoolFailNthAllocation(n);
        const oracle::OurDecode ours = oracle::DecodeOurs(jpeg, oracle::Format::Uyvy);
        host::PoolClearFaults();
        if (host::PoolGetCounts().failedAllocations == failedBefore) {
            EXPECT_EQ(ours.result, 0) << "all allocations served at n = " << n;
            decoded = true;
            break;
        }
        EXPECT_EQ(ours.result, 1) << "allocation " << n;
        EXPECT_EQ(ours.error, DECERR_OUT_OF_MEMORY) << "allocation " << n;
        EXPECT_TRUE(ours.canaryIntact);
    }
    EXPECT_TRUE(decoded) << "every allocation of the frame was failed once";
}

}  // namespace
