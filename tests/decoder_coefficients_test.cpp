#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "decoder/coefficients.h"
#include "decoder/decoder.h"
#include "decoder/geometry.h"
#include "decoder/input.h"
#include "support/jpeg_oracle.h"

namespace {

using oracle::HuffmanTable;
using oracle::JpegWriter;

// Every symbol 0x00..0xFE has the 8-bit code equal to its value, so any run/size
// pair (also the odd ones the standard tables lack) can be written.
HuffmanTable EightBitCodes()
{
    HuffmanTable table;
    table.bits[8] = 255;
    for (int v = 0; v < 255; ++v)
        table.values.push_back(static_cast<uint8_t>(v));
    table.Derive();
    return table;
}

const HuffmanTable kCodes = EightBitCodes();

struct GreyStream {
    int width = 8, height = 8;
    int restartInterval = 0;
    uint16_t q0 = 1;
};

// A grey baseline picture whose entropy-coded data the test writes itself.
std::vector<uint8_t> Grey(const GreyStream& s, const std::function<void(JpegWriter&)>& data, bool eoi = true)
{
    JpegWriter w;
    w.Soi();
    uint16_t q[64];
    for (uint16_t& v : q)
        v = 1;
    q[0] = s.q0;
    w.Dqt(0, q);
    w.Sof(0xC0, s.width, s.height, {{1, 1, 1, 0}});
    w.Dht(0, 0, kCodes);
    w.Dht(1, 0, kCodes);
    if (s.restartInterval != 0)
        w.Dri(s.restartInterval);
    w.Sos({{1, 0, 0}});
    data(w);
    if (eoi)
        w.Eoi();
    else
        w.Flush();
    return w.bytes;
}

void Coefficients(JpegWriter& w, int dcDiff, int count, int value)
{
    w.DcDiff(kCodes, dcDiff);
    for (int k = 0; k < count; ++k)
        w.Ac(kCodes, 0, value);
}

// Opens the picture and begins decoding; each test then calls DecodeMcuRow itself.
class McuRows : public testing::Test {
protected:
    void TearDown() override { DecoderFreeAll(); }

    void Open(const std::vector<uint8_t>& jpeg)
    {
        jpeg_ = jpeg;
        ASSERT_EQ(MemorySourceInit(&g_Decoder.memorySource, jpeg_.data(), static_cast<int32_t>(jpeg_.size())), 1);
        ASSERT_EQ(DecoderStart(&g_Decoder.memorySource), 1);
        ASSERT_EQ(BeginDecoding(), DECODE_OK);
        ASSERT_EQ(g_Decoder.errorCode, 0);
    }

    // Coefficient at zig-zag position k of block i of the MCU row.
    static int Zag(int block, int k) { return g_Decoder.blockPtr[block][ZIGZAG_ORDER[k]]; }
    static int MaxZag(int block) { return g_Decoder.blockMaxZag[block]; }

    std::vector<uint8_t> jpeg_;
};

TEST_F(McuRows, ClearOnlyWhatThePreviousRowMayHaveLeft)
{
    Open(Grey({8, 24}, [](JpegWriter& w) {
        Coefficients(w, 0, 39, 3);  // positions 1..39
        w.Eob(kCodes);
        Coefficients(w, 0, 9, 2);  // positions 1..9, then end of block at 10
        w.Eob(kCodes);
        w.DcDiff(kCodes, 0);  // end of block at 1
        w.Eob(kCodes);
    }));
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(MaxZag(0), 40);
    EXPECT_EQ(Zag(0, 39), 3);

    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(MaxZag(0), 10);
    for (int k = 1; k < 64; ++k)
        ASSERT_EQ(Zag(0, k), k < 10 ? 2 : 0) << "position " << k;

    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(MaxZag(0), 1);
    for (int k = 1; k < 64; ++k)
        ASSERT_EQ(Zag(0, k), 0) << "position " << k;
}

TEST_F(McuRows, PredictDcPerComponentAndMultiplyThePredictor)
{
    Open(Grey({16, 8, 0, 2}, [](JpegWriter& w) {
        w.DcDiff(kCodes, 5);
        w.Eob(kCodes);
        w.DcDiff(kCodes, -3);
        w.Eob(kCodes);
    }));
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(Zag(0, 0), 10);
    EXPECT_EQ(Zag(1, 0), 4);
    EXPECT_EQ(g_Decoder.lastDcVal[0], 2);
}

TEST_F(McuRows, RunOfSixteenAtPosition48EndsTheBlockWithoutEndOfBlock)
{
    Open(Grey({16, 16}, [](JpegWriter& w) {
        Coefficients(w, 0, 63, 1);  // row 1, block 0: every position
        w.DcDiff(kCodes, 7);        // row 1, block 1
        w.Eob(kCodes);
        Coefficients(w, 0, 47, 1);  // row 2, block 0: positions 1..47, then sixteen zeros
        w.Zrl(kCodes);
        w.DcDiff(kCodes, 1);  // row 2, block 1 follows at once
        w.Eob(kCodes);
    }));
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(MaxZag(0), 64);
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(MaxZag(0), 64);
    for (int k = 48; k < 64; ++k)
        ASSERT_EQ(Zag(0, k), 0) << "position " << k;
    EXPECT_EQ(Zag(0, 47), 1);
    EXPECT_EQ(Zag(1, 0), 8);
}

TEST_F(McuRows, RunReachingPosition63StoresTheCoefficientThere)
{
    Open(Grey({16, 8}, [](JpegWriter& w) {
        w.DcDiff(kCodes, 0);
        for (int i = 0; i < 3; ++i)
            w.Zrl(kCodes);    // k = 49
        w.Ac(kCodes, 14, 9);  // k + run = 63
        w.DcDiff(kCodes, 4);
        w.Eob(kCodes);
    }));
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(Zag(0, 63), 9);
    EXPECT_EQ(MaxZag(0), 64);
    EXPECT_EQ(Zag(1, 0), 4);
}

TEST_F(McuRows, SizeZeroSymbolsOtherThanSixteenZerosEndTheBlock)
{
    Open(Grey({16, 8}, [](JpegWriter& w) {
        w.DcDiff(kCodes, 0);
        w.Ac(kCodes, 0, 6);
        w.Symbol(kCodes, 0x30);
        w.DcDiff(kCodes, 2);
        w.Eob(kCodes);
    }));
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(Zag(0, 1), 6);
    EXPECT_EQ(MaxZag(0), 2);
    EXPECT_EQ(Zag(1, 0), 2);
}

struct OverrunCase {
    const char* name;
    std::function<void(JpegWriter&)> data;
};

void PrintTo(const OverrunCase& c, std::ostream* os) { *os << c.name; }

class Overrun : public McuRows, public testing::WithParamInterface<OverrunCase> {};

TEST_P(Overrun, IsRefused)
{
    Open(Grey({8, 8}, GetParam().data));
    EXPECT_EQ(DecodeMcuRow(), 0);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_COEFFICIENT_OVERRUN);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Overrun,
    testing::Values(OverrunCase{"SixteenZerosAt49",
                                [](JpegWriter& w) {
                                    Coefficients(w, 0, 48, 1);
                                    w.Zrl(kCodes);
                                }},
                    OverrunCase{"RunReaching64",
                                [](JpegWriter& w) {
                                    w.DcDiff(kCodes, 0);
                                    for (int i = 0; i < 3; ++i)
                                        w.Zrl(kCodes);
                                    w.Ac(kCodes, 15, 1);
                                }},
                    // More magnitude bits than the bit reader serves: refused, not read.
                    OverrunCase{"DcSizeAbove16",
                                [](JpegWriter& w) {
                                    w.Symbol(kCodes, 17);
                                    w.Bits(0, 16);
                                }}),
    [](const testing::TestParamInfo<OverrunCase>& info) { return info.param.name; });

// One block per MCU, DC difference 1 each, so the coefficient shows where the predictor was reset.
void OnesWithRestarts(JpegWriter& w, int mcus, int interval, const std::vector<int>& markers)
{
    size_t marker = 0;
    for (int m = 0; m < mcus; ++m) {
        if (m > 0 && m % interval == 0)
            w.Rst(markers[marker++]);
        w.DcDiff(kCodes, 1);
        w.Eob(kCodes);
    }
}

TEST_F(McuRows, RestartCountdownRunsAcrossMcuRows)
{
    Open(Grey({24, 16, 2}, [](JpegWriter& w) { OnesWithRestarts(w, 6, 2, {0, 1}); }));
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(Zag(0, 0), 1);
    EXPECT_EQ(Zag(1, 0), 2);
    EXPECT_EQ(Zag(2, 0), 1) << "RST0 before MCU 2 reset the predictor";
    EXPECT_EQ(g_Decoder.restartsLeft, 1);
    EXPECT_EQ(g_Decoder.nextRestartNum, 1);
    ASSERT_EQ(DecodeMcuRow(), 1);
    EXPECT_EQ(Zag(0, 0), 2);
    EXPECT_EQ(Zag(1, 0), 1) << "RST1 before MCU 4, in the second row";
    EXPECT_EQ(Zag(2, 0), 2);
    EXPECT_EQ(g_Decoder.nextRestartNum, 2);
}

TEST_F(McuRows, Rst7IsFollowedByRst0)
{
    Open(Grey({80, 8, 1}, [](JpegWriter& w) { OnesWithRestarts(w, 10, 1, {0, 1, 2, 3, 4, 5, 6, 7, 0}); }));
    ASSERT_EQ(DecodeMcuRow(), 1);
    for (int m = 0; m < 10; ++m)
        EXPECT_EQ(Zag(m, 0), 1) << "MCU " << m;
    EXPECT_EQ(g_Decoder.nextRestartNum, 1);
}

TEST_F(McuRows, WrongRestartNumberIsRefused)
{
    Open(Grey({32, 8, 1}, [](JpegWriter& w) { OnesWithRestarts(w, 4, 1, {0, 1, 3}); }));
    EXPECT_EQ(DecodeMcuRow(), 0);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_BAD_RESTART_MARKER);
}

TEST_F(McuRows, RestartDueAfterTheInputRanOutIsRefused)
{
    Open(Grey(
        {16, 8, 1},
        [](JpegWriter& w) {
            w.DcDiff(kCodes, 1);
            w.Eob(kCodes);
        },
        false));
    EXPECT_EQ(DecodeMcuRow(), 0);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_BAD_RESTART_MARKER);
}

// The marker search starts at the raw input position; four bytes sit in the bit
// reader after a reset, so the search begins right after them.
struct SearchCase {
    int junk;     // bytes that are not 0xFF in front of the marker
    int fill;     // 0xFF bytes in front of the code (at least one)
    int code;
    bool found;
};

void PrintTo(const SearchCase& c, std::ostream* os)
{
    *os << c.junk << " bytes, " << c.fill << " fill, code " << c.code;
}

class RestartSearch : public testing::TestWithParam<SearchCase> {
protected:
    void TearDown() override { DecoderFreeAll(); }
};

TEST_P(RestartSearch, HasAByteBudgetOf1536)
{
    const SearchCase c = GetParam();
    std::vector<uint8_t> bytes(4, 0x00);
    bytes.insert(bytes.end(), c.junk, 0x55);
    bytes.insert(bytes.end(), c.fill, 0xFF);
    bytes.push_back(static_cast<uint8_t>(c.code));
    bytes.insert(bytes.end(), 8, 0x00);
    ASSERT_EQ(MemorySourceInit(&g_Decoder.memorySource, bytes.data(), static_cast<int32_t>(bytes.size())), 1);
    ResetDecoder(&g_Decoder.memorySource);
    g_Decoder.restartInterval = 5;
    g_Decoder.compsInFrame = 1;
    g_Decoder.lastDcVal[0] = 9;
    EXPECT_EQ(ProcessRestartMarker(), c.found ? 1 : 0);
    if (c.found) {
        EXPECT_EQ(g_Decoder.errorCode, 0);
        EXPECT_EQ(g_Decoder.lastDcVal[0], 0);
        EXPECT_EQ(g_Decoder.restartsLeft, 5);
        EXPECT_EQ(g_Decoder.nextRestartNum, 1);
    } else {
        EXPECT_EQ(g_Decoder.errorCode, DECERR_BAD_RESTART_MARKER);
    }
}

INSTANTIATE_TEST_SUITE_P(Budget, RestartSearch,
                         testing::Values(SearchCase{0, 1, 0xD0, true}, SearchCase{1535, 1, 0xD0, true},
                                         SearchCase{1536, 1, 0xD0, false}, SearchCase{0, 1536, 0xD0, true},
                                         SearchCase{0, 1537, 0xD0, false}, SearchCase{0, 1, 0xD1, false},
                                         SearchCase{0, 1, 0xD9, false}));

}  // namespace
