#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/huffman.h"
#include "decoder/input.h"
#include "decoder/markers.h"
#include "host/kernel_pool.h"
#include "support/jpeg_bytes.h"

namespace {

using jpegbytes::DhtTable;
using jpegbytes::JpegBuilder;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kTableWithSlack = HUFFMAN_TABLE_BYTES + BLOCK_SLACK_BYTES;

DhtTable MakeCodes(std::array<uint8_t, 16> counts, Bytes symbols = {})
{
    DhtTable codes;
    codes.counts = counts;
    int total = 0;
    for (uint8_t c : counts)
        total += c;
    if (symbols.empty())
        for (int i = 0; i < total; ++i)
            symbols.push_back(static_cast<uint8_t>(i));
    codes.symbols = symbols;
    return codes;
}

// A pattern coded after every symbol: misread when a symbol consumed too few or too many bits.
constexpr uint32_t kPattern = 0x5A5;
constexpr int kPatternBits = 11;

// Builds decode tables straight from count and symbol arrays into a table with its slack behind it.
class HuffmanTables : public testing::Test {
protected:
    void TearDown() override
    {
        DecoderFreeAll();
        g_Decoder.huffBits[0] = nullptr;
        g_Decoder.huffVals[0] = nullptr;
    }

    void Build(const DhtTable& codes)
    {
        bits_.assign(17, 0);
        vals_.assign(256, 0);
        std::memcpy(bits_.data() + 1, codes.counts.data(), 16);
        std::copy(codes.symbols.begin(), codes.symbols.end(), vals_.begin());
        g_Decoder.huffBits[0] = bits_.data();
        g_Decoder.huffVals[0] = vals_.data();
        BuildHuffmanTable(0, table_.data());
    }
    int32_t Lookup(int i) const { return HuffmanLookup(table_.data())[i]; }
    int32_t Tree(int i) const { return HuffmanTree(table_.data())[i]; }
    int CodeSize(int v) const { return HuffmanCodeSize(table_.data())[v]; }

    // The most negative node number anywhere in the table, as a node count.
    int NodesUsed() const
    {
        int32_t lowest = 0;
        for (int i = 0; i < 256; ++i)
            lowest = std::min(lowest, Lookup(i));
        for (int i = 0; i < 2 * HUFFMAN_MAX_NODES; ++i)
            lowest = std::min(lowest, Tree(i));
        return (-lowest + 1) / 2;
    }

    // Decodes coded bytes, switched to coded data as at the start of a scan.
    void OpenCoded(const Bytes& coded)
    {
        coded_ = coded;
        ASSERT_EQ(MemorySourceInit(&g_Decoder.memorySource, coded_.data(), static_cast<int32_t>(coded_.size())), 1);
        ResetDecoder(&g_Decoder.memorySource);
        PrimeCodedBits();
    }

    // Codes every symbol followed by the pattern, then decodes them back.
    void ExpectRoundTrip(const DhtTable& codes)
    {
        jpegbytes::BitWriter writer;
        for (uint8_t symbol : codes.symbols)
            writer.PutSymbol(codes, symbol).Put(kPattern, kPatternBits);
        OpenCoded(writer.Finish());
        for (size_t i = 0; i < codes.symbols.size(); ++i) {
            ASSERT_EQ(DecodeHuffmanSymbol(table_.data()), codes.symbols[i]) << "symbol " << i;
            ASSERT_EQ(GetCodedBits(kPatternBits), kPattern) << "after symbol " << i;
        }
    }

    Bytes bits_, vals_;
    Bytes table_ = Bytes(kTableWithSlack, 0xEE);
    Bytes coded_;
};

TEST_F(HuffmanTables, TwoOneBitCodesFillHalfTheLookupEach)
{
    Build(MakeCodes({2}, {0x31, 0x52}));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(Lookup(i), i < 128 ? 0x31 : 0x52) << i;
    EXPECT_EQ(CodeSize(0x31), 1);
    EXPECT_EQ(CodeSize(0x52), 1);
    EXPECT_EQ(CodeSize(0), 0);
    EXPECT_EQ(NodesUsed(), 0);
    ExpectRoundTrip(MakeCodes({2}, {0x31, 0x52}));
}

TEST_F(HuffmanTables, ANineBitCodeContinuesInTheTree)
{
    const DhtTable codes = MakeCodes({0, 0, 0, 0, 0, 0, 0, 0, 1}, {0x77});
    Build(codes);
    EXPECT_EQ(Lookup(0), -1);
    EXPECT_EQ(Tree(1), 0x77) << "the 0-bit child of node -1";
    EXPECT_EQ(Tree(0), 0);
    EXPECT_EQ(CodeSize(0x77), 9);
    ExpectRoundTrip(codes);
}

TEST_F(HuffmanTables, AllZeroCountsDecodeZeroWithoutConsumingBits)
{
    Build(MakeCodes({}));
    for (int i = 0; i < kTableWithSlack; ++i)
        ASSERT_EQ(table_[i], 0) << "byte " << i;
    OpenCoded({0xAB, 0xCD, 0xEF, 0x01});
    EXPECT_EQ(DecodeHuffmanSymbol(table_.data()), 0);
    EXPECT_EQ(DecodeHuffmanSymbol(table_.data()), 0);
    EXPECT_EQ(GetCodedBits(16), 0xABCDu);
}

struct LargeCase {
    const char* name;
    std::array<uint8_t, 16> counts;
    int nodes;
};

class LargeTables : public HuffmanTables, public testing::WithParamInterface<LargeCase> {};

TEST_P(LargeTables, UseTheExpectedNodesAndDecodeEverySymbol)
{
    const DhtTable codes = MakeCodes(GetParam().counts);
    Build(codes);
    EXPECT_EQ(NodesUsed(), GetParam().nodes);
    ExpectRoundTrip(codes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LargeTables,
    testing::Values(LargeCase{"All255OfLength16", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255}, 255},
                    // 261 nodes: the last five live in the slack behind the table.
                    LargeCase{"TwoOf15And253Of16", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 253}, 261}),
    [](const testing::TestParamInfo<LargeCase>& info) { return std::string(info.param.name); });

TEST_F(HuffmanTables, TheStandardAcTableDecodesEverySymbol)
{
    const DhtTable codes = jpegbytes::StandardAcLuminance();
    Build(codes);
    ExpectRoundTrip(codes);
}

TEST_F(HuffmanTables, ARebuildFollowsNoNodeAnEarlierBuildLeftInTheSlack)
{
    Build(MakeCodes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 253}));
    ASSERT_EQ(NodesUsed(), 261);

    // The slot redefined with another large table whose nodes fall in the slack differently.
    Bytes symbols;
    for (int i = 0; i < 255; ++i)
        symbols.push_back(static_cast<uint8_t>(254 - i));
    const DhtTable second = MakeCodes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 252}, symbols);
    Build(second);
    EXPECT_EQ(NodesUsed(), 259);
    ExpectRoundTrip(second);

    Build(MakeCodes({2}));
    for (int i = HUFFMAN_TREE_OFFSET; i < kTableWithSlack; ++i)
        ASSERT_EQ(table_[i], 0) << "byte " << i;
}

TEST_F(HuffmanTables, CountsThatAreNoPrefixCodeWriteNothingOutsideTheTable)
{
    // Refused when parsed; built anyway here, the codes that do not fit are dropped.
    Build(MakeCodes({3}, {1, 2, 3}));
    EXPECT_EQ(Lookup(0), 1);
    EXPECT_EQ(Lookup(255), 2);
    EXPECT_EQ(CodeSize(3), 0);
    Bytes symbols;
    for (int i = 1; i <= 131; ++i)
        symbols.push_back(static_cast<uint8_t>(i));
    Build(MakeCodes({1, 0, 0, 0, 0, 0, 0, 127, 3}, symbols));
    EXPECT_EQ(Lookup(0), 1) << "the third 9-bit code would wrap round to index 0";
    EXPECT_EQ(Lookup(255), -1);
    EXPECT_EQ(CodeSize(131), 0);
}

TEST(ExtendMagnitude, GivesTheSignedValueOfAMagnitudeField)
{
    struct Case {
        uint32_t value;
        int32_t bits;
        int32_t expected;
    };
    for (const Case c : {Case{0, 1, -1}, Case{1, 1, 1}, Case{3, 3, -4}, Case{4, 3, 4}, Case{0, 3, -7}, Case{7, 3, 7},
                         Case{0, 0, 0}, Case{0, 16, -65535}, Case{0x8000, 16, 0x8000}, Case{0x7FFF, 16, -32768},
                         Case{0x7FF, 11, 0x7FF}, Case{0, 11, -2047}}) {
        EXPECT_EQ(ExtendMagnitude(c.value, c.bits), c.expected) << c.value << " in " << c.bits << " bits";
    }
    EXPECT_EQ(EXTEND_THRESHOLDS[0], 0u);
    EXPECT_EQ(EXTEND_THRESHOLDS[17], 65536u);
}

// Table checks at the start of a scan, over parsed headers.
class ScanTables : public testing::Test {
protected:
    void Open(const JpegBuilder& jpeg)
    {
        bytes_ = jpeg.bytes();
        ASSERT_EQ(MemorySourceInit(&g_Decoder.memorySource, bytes_.data(), static_cast<int32_t>(bytes_.size())), 1);
        ASSERT_EQ(DecoderStart(&g_Decoder.memorySource), 1);
        ASSERT_EQ(ReadScanHeader(), 1);
    }
    void TearDown() override { DecoderFreeAll(); }

    Bytes bytes_;
};

DhtTable Tiny(uint8_t classAndId)
{
    DhtTable codes = MakeCodes({2});
    codes.classAndId = classAndId;
    return codes;
}

struct ScanTableCase {
    const char* name;
    uint8_t sofCode;
    std::vector<uint8_t> tables;  // class/id bytes of the tables defined
    std::vector<jpegbytes::ScanComponent> scan;
    uint8_t ss, se;
    int32_t error;
};

class PrepareTables : public ScanTables, public testing::WithParamInterface<ScanTableCase> {};

TEST_P(PrepareTables, NeedTheTablesTheScanCodesAndBuildEveryDefinedOne)
{
    const ScanTableCase& c = GetParam();
    JpegBuilder jpeg;
    jpeg.Soi().FlatQuantTables(1);
    for (uint8_t t : c.tables)
        jpeg.Dht(Tiny(t));
    jpeg.Sof(c.sofCode, 32, 16, jpegbytes::CameraComponents()).Sos(c.scan, c.ss, c.se);
    Open(jpeg);
    EXPECT_EQ(PrepareHuffmanTables(), c.error == 0 ? 1 : 0);
    EXPECT_EQ(g_Decoder.errorCode, c.error);
    if (c.error != 0) {
        EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
        return;
    }
    for (int slot = 0; slot < HUFFMAN_TABLE_SLOTS; ++slot) {
        const bool defined = g_Decoder.huffBits[slot] != nullptr;
        EXPECT_EQ(g_Decoder.huffTable[slot] != nullptr, defined) << "slot " << slot;
        if (defined) {
            EXPECT_EQ(host::PoolBlockSize(g_Decoder.huffTable[slot]), static_cast<size_t>(kTableWithSlack));
            EXPECT_EQ(HuffmanCodeSize(g_Decoder.huffTable[slot])[1], 1) << "slot " << slot << " was built";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrepareTables,
    testing::Values(
        ScanTableCase{"AllPresent", 0xC0, {0x00, 0x10, 0x01, 0x11}, jpegbytes::CameraScan(), 0, 63, 0},
        ScanTableCase{"UnusedTableIsBuiltToo", 0xC0, {0x00, 0x10, 0x03}, {{1, 0, 0}}, 0, 63, 0},
        ScanTableCase{"AcTable1Missing", 0xC0, {0x00, 0x10, 0x01}, jpegbytes::CameraScan(), 0, 63,
                      DECERR_MISSING_HUFFMAN_TABLE},
        ScanTableCase{"DcTable1Missing", 0xC0, {0x00, 0x10, 0x11}, jpegbytes::CameraScan(), 0, 63,
                      DECERR_MISSING_HUFFMAN_TABLE},
        // Sequential scans code the whole block, whatever Ss and Se say.
        ScanTableCase{"SequentialNeedsBoth", 0xC0, {0x00}, {{1, 0, 0}}, 0, 0, DECERR_MISSING_HUFFMAN_TABLE},
        ScanTableCase{"ProgressiveDcScanNeedsNoAcTable", 0xC2, {0x00}, {{1, 0, 0}}, 0, 0, 0},
        ScanTableCase{"ProgressiveAcScanNeedsNoDcTable", 0xC2, {0x10}, {{1, 0, 0}}, 1, 5, 0},
        ScanTableCase{"ProgressiveDcScanWithoutDcTable", 0xC2, {0x10}, {{1, 0, 0}}, 0, 0,
                      DECERR_MISSING_HUFFMAN_TABLE},
        // DC selector 4 names slot 4, the slot of AC table 0.
        ScanTableCase{"DcSelector4UsesSlot4", 0xC0, {0x10}, {{1, 4, 0}}, 0, 63, 0}),
    [](const testing::TestParamInfo<ScanTableCase>& info) { return std::string(info.param.name); });

TEST_F(ScanTables, TablesAreRebuiltInPlaceAtALaterScan)
{
    JpegBuilder jpeg;
    jpeg.Soi().Dht(Tiny(0x00)).Dht(Tiny(0x10)).Sof(0xC2, 8, 8, {{1, 1, 1, 0}}).Sos({{1, 0, 0}}, 0, 0);
    DhtTable redefined = MakeCodes({0, 1}, {0x44});
    redefined.classAndId = 0x00;
    jpeg.Dht(redefined).Sos({{1, 0, 0}}, 0, 0);
    Open(jpeg);
    ASSERT_EQ(PrepareHuffmanTables(), 1);
    uint8_t* const dc = g_Decoder.huffTable[0];
    EXPECT_EQ(HuffmanLookup(dc)[0], 0);
    EXPECT_EQ(HuffmanLookup(dc)[255], 1);
    ASSERT_EQ(ReadScanHeader(), 1);
    ASSERT_EQ(PrepareHuffmanTables(), 1);
    EXPECT_EQ(g_Decoder.huffTable[0], dc);
    EXPECT_EQ(HuffmanLookup(dc)[0], 0x44);
    EXPECT_EQ(HuffmanLookup(dc)[255], 0) << "no code reaches it any more";
    EXPECT_EQ(HuffmanCodeSize(dc)[0x44], 2);
}

struct QuantCase {
    const char* name;
    std::vector<jpegbytes::FrameComponent> frame;
    std::vector<jpegbytes::ScanComponent> scan;
    int32_t error;
};

class QuantTables : public ScanTables, public testing::WithParamInterface<QuantCase> {};

TEST_P(QuantTables, AreNeededForEveryScanComponentOnly)
{
    const QuantCase& c = GetParam();
    JpegBuilder jpeg;
    jpeg.Soi().Dqt(0, jpegbytes::FlatQuant(1)).Dqt(3, jpegbytes::FlatQuant(1)).Sof(0xC0, 8, 8, c.frame).Sos(c.scan);
    Open(jpeg);
    EXPECT_EQ(CheckQuantTables(), c.error == 0 ? 1 : 0);
    EXPECT_EQ(g_Decoder.errorCode, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuantTables,
    testing::Values(QuantCase{"Defined", {{1, 1, 1, 0}, {2, 1, 1, 3}}, {{1, 0, 0}, {2, 0, 0}}, 0},
                    QuantCase{"UndefinedButNotInTheScan", {{1, 1, 1, 0}, {2, 1, 1, 1}}, {{1, 0, 0}}, 0},
                    QuantCase{"UndefinedInTheScan", {{1, 1, 1, 0}, {2, 1, 1, 1}}, {{2, 0, 0}},
                              DECERR_MISSING_QUANT_TABLE},
                    // No DQT segment can define a table beyond 3.
                    QuantCase{"SelectorBeyondTheTables", {{1, 1, 1, 4}}, {{1, 0, 0}}, DECERR_MISSING_QUANT_TABLE},
                    QuantCase{"Selector255", {{1, 1, 1, 255}}, {{1, 0, 0}}, DECERR_MISSING_QUANT_TABLE}),
    [](const testing::TestParamInfo<QuantCase>& info) { return std::string(info.param.name); });

}  // namespace
