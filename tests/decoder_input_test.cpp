#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/input.h"
#include "host/kernel_pool.h"

namespace {

// Four bytes the reset's priming takes into the bit reader, so the raw reader
// then stands at the first byte a test cares about.
const std::vector<uint8_t> kPrimed = {0xA1, 0xA2, 0xA3, 0xA4};

std::vector<uint8_t> Concat(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    std::vector<uint8_t> out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

class DecoderInput : public testing::Test {
protected:
    void Open(std::vector<uint8_t> bytes)
    {
        bytes_ = std::move(bytes);
        ASSERT_EQ(MemorySourceInit(&g_Decoder.memorySource, bytes_.data(), static_cast<int32_t>(bytes_.size())), 1);
        ResetDecoder(&g_Decoder.memorySource);
    }
    void TearDown() override { DecoderFreeAll(); }

    std::vector<uint8_t> bytes_;
};

TEST(MemorySource, InitRefusesBadArgumentsAndLeavesTheRecordAlone)
{
    const uint8_t data[3] = {1, 2, 3};
    struct Case {
        const uint8_t* data;
        int32_t size;
    };
    for (const Case c : {Case{nullptr, 3}, Case{data, 0}, Case{data, -1}}) {
        MemorySource source{data + 1, 7, 5, 1};
        EXPECT_EQ(MemorySourceInit(&source, c.data, c.size), 0);
        EXPECT_EQ(source.data, data + 1);
        EXPECT_EQ(source.size, 7);
        EXPECT_EQ(source.offset, 5);
        EXPECT_EQ(source.atEnd, 1);
    }
    MemorySource source{};
    ASSERT_EQ(MemorySourceInit(&source, data, 3), 1);
    EXPECT_EQ(source.data, data);
    EXPECT_EQ(source.size, 3);
    EXPECT_EQ(source.offset, 0);
    EXPECT_EQ(source.atEnd, 0);
}

TEST(MemorySource, AReadThatEmptiesTheSourceLeavesTheEndToTheNextRead)
{
    const uint8_t data[4] = {1, 2, 3, 4};
    MemorySource source{};
    ASSERT_EQ(MemorySourceInit(&source, data, 4), 1);
    uint8_t dest[8] = {};
    int32_t atEnd = 0;
    EXPECT_EQ(MemorySourceRead(&source, dest, 3, atEnd), 3);
    EXPECT_EQ(MemorySourceRead(&source, dest + 3, 1, atEnd), 1);
    EXPECT_EQ(atEnd, 0);
    EXPECT_EQ(source.atEnd, 0);
    EXPECT_EQ(MemorySourceRead(&source, dest, 8, atEnd), 0);
    EXPECT_EQ(atEnd, 1);
    EXPECT_EQ(source.atEnd, 1);
    EXPECT_EQ(std::vector<uint8_t>(dest, dest + 4), std::vector<uint8_t>(data, data + 4));

    // A short read copies what there is and reports the end at once.
    ASSERT_EQ(MemorySourceInit(&source, data, 4), 1);
    atEnd = 0;
    EXPECT_EQ(MemorySourceRead(&source, dest, 6, atEnd), 4);
    EXPECT_EQ(atEnd, 1);

    EXPECT_EQ(MemorySourceRead(nullptr, dest, 1, atEnd), -1);
    MemorySource empty{};
    EXPECT_EQ(MemorySourceRead(&empty, dest, 1, atEnd), -1);
}

TEST_F(DecoderInput, AFullChunkSourceIsDeliveredThenEndsInFillerBytes)
{
    std::vector<uint8_t> data(INPUT_CHUNK_SIZE);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + 1);
    data[0] = 0x10;  // no 0xFF at all, so nothing below reads as a marker
    for (uint8_t& b : data)
        if (b == 0xFF)
            b = 0xFE;
    Open(data);
    // The first refill took every byte without meeting the end.
    EXPECT_EQ(g_Decoder.inputEof, 0);
    EXPECT_EQ(g_Decoder.inBufLeft, INPUT_CHUNK_SIZE - 4);
    for (int32_t i = 4; i < INPUT_CHUNK_SIZE; ++i)
        ASSERT_EQ(ReadRawByte(), data[i]) << "byte " << i;
    EXPECT_EQ(g_Decoder.inputEof, 0);
    int32_t filler = 0;
    EXPECT_EQ(ReadRawByteEx(filler), 0xFFu);
    EXPECT_EQ(filler, 1);
    EXPECT_EQ(g_Decoder.inputEof, 1);
    EXPECT_EQ(g_Decoder.errorCode, 0);
}

TEST_F(DecoderInput, FillerBytesAlternateAndEveryResetStartsThemAt0xFF)
{
    std::vector<uint8_t> data(10);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    Open(data);
    int32_t filler = -1;
    for (uint32_t i = 4; i < 10; ++i) {
        EXPECT_EQ(ReadRawByteEx(filler), i);
        EXPECT_EQ(filler, 0);
    }
    for (uint32_t expected : {0xFFu, 0xD9u, 0xFFu, 0xD9u, 0xFFu}) {
        EXPECT_EQ(ReadRawByteEx(filler), expected);
        EXPECT_EQ(filler, 1);
    }
    EXPECT_EQ(g_Decoder.padToggle, 1);

    Open({1, 2, 3, 4});
    EXPECT_EQ(g_Decoder.padToggle, 0);
    EXPECT_EQ(ReadRawByte(), 0xFFu);
    EXPECT_EQ(ReadRawByte(), 0xD9u);
}

TEST_F(DecoderInput, ResetLoadsTheWindowAndReserveAndClearsState)
{
    g_Decoder.errorCode = DECERR_NO_SOI;
    g_Decoder.imageWidth = 77;
    g_Decoder.blockMaxZag[6143] = 3;
    void* held = AllocBlock(10);
    ASSERT_NE(held, nullptr);

    Open({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10});
    EXPECT_EQ(g_Decoder.bitBuf & 0xFFFFu, 0xFFD8u);
    EXPECT_EQ(g_Decoder.bitBuf >> 16, 0xFFE0u);
    EXPECT_EQ(g_Decoder.bitsLeft, 16);
    EXPECT_EQ(g_Decoder.errorCode, 0);
    EXPECT_EQ(g_Decoder.imageWidth, 0);
    EXPECT_EQ(g_Decoder.blockMaxZag[6143], 64);
    EXPECT_EQ(g_Decoder.source, &g_Decoder.memorySource);
    // A block still held from before is released, not lost.
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
    for (void* slot : g_Decoder.allocPtr)
        EXPECT_EQ(slot, nullptr);

    EXPECT_EQ(GetBits(8), 0xFFu);
    EXPECT_EQ(GetBits(8), 0xD8u);
    const uint32_t buf = g_Decoder.bitBuf;
    const int32_t left = g_Decoder.bitsLeft;
    const int32_t inLeft = g_Decoder.inBufLeft;
    EXPECT_EQ(GetBits(0), 0u);
    EXPECT_EQ(GetCodedBits(0), 0u);
    EXPECT_EQ(g_Decoder.bitBuf, buf);
    EXPECT_EQ(g_Decoder.bitsLeft, left);
    EXPECT_EQ(g_Decoder.inBufLeft, inLeft);
    EXPECT_EQ(GetBits(16), 0xFFE0u);
    EXPECT_EQ(GetBits(16), 0x0010u);
}

// The next n bits of data from bit position pos, first bit most significant.
uint32_t ReferenceBits(const std::vector<uint8_t>& data, size_t& pos, int n)
{
    uint32_t value = 0;
    for (int i = 0; i < n; ++i, ++pos) {
        const size_t byte = pos / 8;
        const uint32_t bit = byte < data.size() ? (data[byte] >> (7 - pos % 8)) & 1u : 0u;
        value = (value << 1) | bit;
    }
    return value;
}

TEST_F(DecoderInput, BitReadsOfEveryWidthFollowTheStream)
{
    std::mt19937 rng(1234);
    std::vector<uint8_t> data(3 * INPUT_CHUNK_SIZE + 123);
    for (uint8_t& b : data)
        b = static_cast<uint8_t>(rng());
    Open(data);
    size_t pos = 0;
    while (pos + 16 <= data.size() * 8) {
        const int n = static_cast<int>(rng() % 17);
        const size_t at = pos;
        ASSERT_EQ(GetBits(n), ReferenceBits(data, pos, n)) << "taking " << n << " bits at bit " << at;
        ASSERT_GE(g_Decoder.bitsLeft, 1);
        ASSERT_LE(g_Decoder.bitsLeft, 16);
    }
    EXPECT_EQ(g_Decoder.errorCode, 0);
}

struct CodedCase {
    const char* name;
    std::vector<uint8_t> data;      // after the four primed bytes
    std::vector<uint32_t> coded;    // what ReadCodedByte delivers
    std::vector<uint32_t> rawNext;  // what the raw reader delivers afterwards
};

class CodedBytes : public DecoderInput, public testing::WithParamInterface<CodedCase> {};

TEST_P(CodedBytes, UndoStuffingAndStopAtMarkers)
{
    const CodedCase& c = GetParam();
    Open(Concat(kPrimed, c.data));
    for (size_t i = 0; i < c.coded.size(); ++i)
        ASSERT_EQ(ReadCodedByte(), c.coded[i]) << "coded byte " << i;
    for (size_t i = 0; i < c.rawNext.size(); ++i)
        ASSERT_EQ(ReadRawByte(), c.rawNext[i]) << "raw byte " << i;
    EXPECT_EQ(g_Decoder.errorCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CodedBytes,
    testing::Values(CodedCase{"StuffedByte", {0x12, 0xFF, 0x00, 0x34}, {0x12, 0xFF, 0x34, 0xFF, 0xD9, 0xFF, 0xD9}, {}},
                    CodedCase{"MarkerStaysInTheInput", {0xFF, 0xD9, 0x55}, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xD9, 0x55}},
                    CodedCase{"MarkerAfterFillBytes", {0x12, 0xFF, 0xFF, 0xD0}, {0x12, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xD0}},
                    CodedCase{"LoneTrailingFF", {0x12, 0xFF}, {0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF}}),
    [](const testing::TestParamInfo<CodedCase>& info) { return std::string(info.param.name); });

TEST_F(DecoderInput, AMarkerSplitByARefillIsPutBackInFrontOfTheChunk)
{
    std::vector<uint8_t> data(INPUT_CHUNK_SIZE + 2, 0x21);
    data[INPUT_CHUNK_SIZE - 1] = 0xFF;
    data[INPUT_CHUNK_SIZE] = 0xD3;
    data[INPUT_CHUNK_SIZE + 1] = 0x44;
    Open(data);
    for (int32_t i = 4; i < INPUT_CHUNK_SIZE - 1; ++i)
        ASSERT_EQ(ReadCodedByte(), 0x21u);
    EXPECT_EQ(ReadCodedByte(), 0xFFu);
    EXPECT_EQ(g_Decoder.inBufPtr, DecoderInBuf() - 1);
    EXPECT_EQ(ReadCodedByte(), 0xFFu);
    EXPECT_EQ(ReadRawByte(), 0xFFu);
    EXPECT_EQ(ReadRawByte(), 0xD3u);
    EXPECT_EQ(ReadRawByte(), 0x44u);
}

struct PrimeCase {
    const char* name;
    std::vector<uint8_t> data;
    int headerBits;                 // taken with GetBits before switching
    std::vector<uint32_t> expected;  // bytes then read with GetCodedBits(8)
};

class PrimeCoded : public DecoderInput, public testing::WithParamInterface<PrimeCase> {};

TEST_P(PrimeCoded, ReturnsTheBytesFetchedAheadInStreamOrder)
{
    const PrimeCase& c = GetParam();
    Open(c.data);
    GetBits(c.headerBits);
    PrimeCodedBits();
    EXPECT_EQ(g_Decoder.bitsLeft, 16);
    for (size_t i = 0; i < c.expected.size(); ++i)
        ASSERT_EQ(GetCodedBits(8), c.expected[i]) << "byte " << i;
    EXPECT_GE(g_Decoder.inBufPtr, g_Decoder.inArea);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrimeCoded,
    testing::Values(
        // Window and reserve full: four bytes go back.
        PrimeCase{"AfterTheReset", {1, 2, 3, 4, 5, 6, 7}, 0, {1, 2, 3, 4, 5, 6, 7}},
        // Eight bits taken: three go back.
        PrimeCase{"AfterOneByte", {1, 2, 3, 4, 5, 6, 7}, 8, {2, 3, 4, 5, 6, 7}},
        PrimeCase{"AfterTwoBytes", {1, 2, 3, 4, 5, 6, 7}, 16, {3, 4, 5, 6, 7}},
        // The bytes fetched ahead are coded data now: a stuffed pair among them is undone.
        PrimeCase{"StuffedPairAmongThem", {0x11, 0xFF, 0x00, 0x22, 0x33}, 0, {0x11, 0xFF, 0x22, 0x33}},
        // A three-byte source: the priming read one filler byte, and all four go back
        // in front of the chunk.
        PrimeCase{"FillerAmongThem", {0x0A, 0x0B, 0x0C}, 0, {0x0A, 0x0B, 0x0C, 0xFF, 0xFF, 0xFF}}),
    [](const testing::TestParamInfo<PrimeCase>& info) { return std::string(info.param.name); });

TEST_F(DecoderInput, AfterALatchTheBufferedBytesComeOutThenTheRefillFails)
{
    Open({1, 2, 3, 4, 5, 6});
    LatchError(DECERR_BAD_SAMPLING);
    EXPECT_EQ(g_Decoder.source, nullptr);
    EXPECT_EQ(ReadRawByte(), 5u);
    EXPECT_EQ(ReadRawByte(), 6u);
    // The source had reported its end already, so the refill only yields fillers.
    EXPECT_EQ(ReadRawByte(), 0xFFu);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_BAD_SAMPLING);

    // A picture larger than a chunk: the next refill finds no source.
    std::vector<uint8_t> big(INPUT_CHUNK_SIZE + 10, 0x33);
    Open(big);
    LatchError(DECERR_BAD_SAMPLING);
    for (int32_t i = 4; i < INPUT_CHUNK_SIZE; ++i)
        ASSERT_EQ(ReadRawByte(), 0x33u);
    EXPECT_EQ(ReadRawByte(), 0xFFu);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_READ_FAILED);
    EXPECT_EQ(ReadRawByte(), 0xD9u);
}

TEST(RotateLeft32, RotatesByTheCountModulo32)
{
    EXPECT_EQ(RotateLeft32(0x80000001u, 1), 0x00000003u);
    EXPECT_EQ(RotateLeft32(0x12345678u, 0), 0x12345678u);
    EXPECT_EQ(RotateLeft32(0x12345678u, 32), 0x12345678u);
    EXPECT_EQ(RotateLeft32(0x12345678u, 36), 0x23456781u);
    EXPECT_EQ(RotateLeft32(0x12345678u, 16), 0x56781234u);
}

}  // namespace
