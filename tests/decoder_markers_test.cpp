#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/input.h"
#include "decoder/markers.h"
#include "host/kernel_pool.h"
#include "support/jpeg_bytes.h"

namespace {

using jpegbytes::FrameComponent;
using jpegbytes::DhtTable;
using jpegbytes::JpegBuilder;
using jpegbytes::ScanComponent;
using Bytes = std::vector<uint8_t>;

const std::vector<FrameComponent> kGrey = {{1, 1, 1, 0}};

// Two codes of one bit: the smallest table a segment can carry.
DhtTable TinyTable(uint8_t classAndId, uint8_t a = 0x00, uint8_t b = 0x01)
{
    DhtTable table;
    table.classAndId = classAndId;
    table.counts[0] = 2;
    table.symbols = {a, b};
    return table;
}

Bytes Build(const JpegBuilder& jpeg) { return jpeg.bytes(); }

class Markers : public testing::Test {
protected:
    int32_t Start(const Bytes& bytes)
    {
        bytes_ = bytes;
        EXPECT_EQ(MemorySourceInit(&g_Decoder.memorySource, bytes_.data(), static_cast<int32_t>(bytes_.size())), 1);
        return DecoderStart(&g_Decoder.memorySource);
    }
    void TearDown() override { DecoderFreeAll(); }

    Bytes bytes_;
};

struct SoiCase {
    const char* name;
    size_t leadingBytes;  // 0x11 bytes in front of the SOI
    Bytes afterSoi;       // before the frame header's marker
    int32_t error;
};

class StartOfImage : public Markers, public testing::WithParamInterface<SoiCase> {};

TEST_P(StartOfImage, IsSearchedInTheFirst512PositionsAndTheFrameHeaderIsReadRegardless)
{
    const SoiCase& c = GetParam();
    JpegBuilder jpeg;
    jpeg.Fill(c.leadingBytes, 0x11).Soi().Bytes(c.afterSoi).Sof(0xC0, 8, 8, kGrey);
    EXPECT_EQ(Start(jpeg.bytes()), 1);
    EXPECT_EQ(g_Decoder.errorCode, c.error);
    EXPECT_EQ(GetImageWidth(), 8);
    EXPECT_EQ(GetImageHeight(), 8);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartOfImage,
                         testing::Values(SoiCase{"AtTheFirstByteWhateverFollows", 0, {0x00}, 0},
                                         SoiCase{"AtPosition511", 511, {}, 0},
                                         SoiCase{"AtPosition512IsNotFound", 512, {}, DECERR_NO_SOI},
                                         SoiCase{"LaterSoiNotFollowedByAMarker", 5, {0x00}, DECERR_NO_SOI}),
                         [](const testing::TestParamInfo<SoiCase>& info) { return std::string(info.param.name); });

struct SegmentCase {
    const char* name;
    Bytes between;  // between SOI and an 8x8 SOF0
    int32_t error;
};

class HeaderSegments : public Markers, public testing::WithParamInterface<SegmentCase> {};

TEST_P(HeaderSegments, AreStoredSkippedOrRefusedWithTheirOwnCode)
{
    const SegmentCase& c = GetParam();
    JpegBuilder jpeg;
    jpeg.Soi().Bytes(c.between).Sof(0xC0, 8, 8, kGrey);
    EXPECT_EQ(Start(jpeg.bytes()), c.error == 0 ? 1 : 0);
    EXPECT_EQ(g_Decoder.errorCode, c.error) << DecoderErrorName(g_Decoder.errorCode);
    if (c.error != 0) {
        EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u) << "a latch releases every block";
    }
}

DhtTable CountsSumTo(int total)
{
    DhtTable table;
    table.classAndId = 0x00;
    table.counts[15] = static_cast<uint8_t>(total > 255 ? 255 : total);
    table.counts[14] = static_cast<uint8_t>(total > 255 ? total - 255 : 0);
    for (int i = 0; i < total; ++i)
        table.symbols.push_back(static_cast<uint8_t>(i));
    return table;
}

Bytes SixteenBitTableIn(uint16_t length)
{
    Bytes payload(129, 0x01);
    payload[0] = 0x10;
    return Build(JpegBuilder().SegmentWithLength(0xDB, length, payload));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderSegments,
    testing::Values(
        SegmentCase{"FillBytesBeforeAMarker", Build(JpegBuilder().Bytes({0xFF, 0xFF}).Dht(TinyTable(0x00))), 0},
        SegmentCase{"StuffedPairBetweenSegments", Build(JpegBuilder().Dht(TinyTable(0x00)).Bytes({0xFF, 0x00})), 0},
        SegmentCase{"AppComDnlAndReservedAreSkipped",
                    Build(JpegBuilder().App(0, {'J', 'F', 'I', 'F', 0}).App(15, {}).Com({'h', 'i'}).Segment(
                        0xDC, {0x00, 0x08}).Segment(0x02, {1, 2, 3})),
                    0},
        SegmentCase{"DriLength4", Build(JpegBuilder().Dri(3)), 0},
        SegmentCase{"DqtLength2", Build(JpegBuilder().SegmentWithLength(0xDB, 2, {})), 0},
        SegmentCase{"DhtLength2", Build(JpegBuilder().SegmentWithLength(0xC4, 2, {})), 0},
        SegmentCase{"DhtCountsOf255", Build(JpegBuilder().Dht(CountsSumTo(255))), 0},
        SegmentCase{"DhtCountsOf256", Build(JpegBuilder().Dht(CountsSumTo(256))), DECERR_DHT_TOO_MANY_CODES},
        SegmentCase{"DhtLength1", Build(JpegBuilder().SegmentWithLength(0xC4, 1, {})), DECERR_DHT_BAD_LENGTH},
        SegmentCase{"DhtShorterThanItsTable",
                    Build(JpegBuilder().SegmentWithLength(0xC4, 2 + 17 + 1, jpegbytes::DhtTablePayload(TinyTable(0)))),
                    DECERR_DHT_BAD_LENGTH},
        SegmentCase{"DhtSlot8", Build(JpegBuilder().Dht(TinyTable(0x14))), DECERR_DHT_BAD_TABLE},
        SegmentCase{"DhtNotAPrefixCode", Build(JpegBuilder().Dht(DhtTable{0x00, {3}, {1, 2, 3}})),
                    DECERR_DHT_BAD_TABLE},
        // One code of length 1 and 127 of length 8 leave room for two of length 9, not three:
        // the third would wrap round to the start of the look-up table.
        SegmentCase{"DhtLongCodeOutgrowingItsLength",
                    Build(JpegBuilder().Dht(DhtTable{0x10, {1, 0, 0, 0, 0, 0, 0, 127, 3}, Bytes(131, 0x07)})),
                    DECERR_DHT_BAD_TABLE},
        SegmentCase{"DqtLength1", Build(JpegBuilder().SegmentWithLength(0xDB, 1, {})), DECERR_DQT_BAD_LENGTH},
        SegmentCase{"DqtIdentifier4", Build(JpegBuilder().Dqt(4, jpegbytes::FlatQuant(1))), DECERR_DQT_BAD_TABLE},
        SegmentCase{"Dqt16BitTableIn129Bytes", SixteenBitTableIn(2 + 129), 0},
        SegmentCase{"Dqt16BitTableInLength66", SixteenBitTableIn(66), DECERR_DQT_TRUNCATED},
        SegmentCase{"DriLength5", Build(JpegBuilder().SegmentWithLength(0xDD, 5, {0, 1, 2})), DECERR_DRI_BAD_LENGTH},
        SegmentCase{"SkippedSegmentLength1", Build(JpegBuilder().SegmentWithLength(0xE1, 1, {})),
                    DECERR_SEGMENT_BAD_LENGTH},
        SegmentCase{"RstAmongHeaders", Build(JpegBuilder().Marker(0xD3)), DECERR_UNEXPECTED_MARKER},
        SegmentCase{"Tem", Build(JpegBuilder().Marker(0x01)), DECERR_UNEXPECTED_MARKER},
        SegmentCase{"Jpg", Build(JpegBuilder().Marker(0xC8)), DECERR_UNEXPECTED_MARKER},
        SegmentCase{"Dac", Build(JpegBuilder().Segment(0xCC, {0x00, 0x10})), DECERR_ARITHMETIC_CODING},
        SegmentCase{"SosBeforeTheFrame", Build(JpegBuilder().Sos({{1, 0, 0}})), DECERR_UNSUPPORTED_FRAME},
        SegmentCase{"EoiBeforeTheFrame", Build(JpegBuilder().Eoi()), DECERR_UNSUPPORTED_FRAME}),
    [](const testing::TestParamInfo<SegmentCase>& info) { return std::string(info.param.name); });

TEST_F(Markers, AStreamThatEndsBeforeAFrameHeaderMeetsTheFillerEoi)
{
    EXPECT_EQ(Start(Build(JpegBuilder().Soi().Dqt(0, jpegbytes::FlatQuant(2)))), 0);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_UNSUPPORTED_FRAME);
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
}

struct SlotCase {
    uint8_t classAndId;
    int slot;
};

class DhtSlots : public Markers, public testing::WithParamInterface<SlotCase> {};

TEST_P(DhtSlots, AreTheIdentifierPlusFourTimesTheClassBit)
{
    JpegBuilder jpeg;
    jpeg.Soi().Dht(TinyTable(GetParam().classAndId, 0x21, 0x42)).Sof(0xC0, 8, 8, kGrey);
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    for (int slot = 0; slot < HUFFMAN_TABLE_SLOTS; ++slot) {
        if (slot != GetParam().slot) {
            EXPECT_EQ(g_Decoder.huffBits[slot], nullptr) << "slot " << slot;
            continue;
        }
        ASSERT_NE(g_Decoder.huffBits[slot], nullptr);
        ASSERT_NE(g_Decoder.huffVals[slot], nullptr);
        EXPECT_EQ(host::PoolBlockSize(g_Decoder.huffBits[slot]), 17u + BLOCK_SLACK_BYTES);
        EXPECT_EQ(host::PoolBlockSize(g_Decoder.huffVals[slot]), 256u + BLOCK_SLACK_BYTES);
        EXPECT_EQ(g_Decoder.huffBits[slot][0], 0);
        EXPECT_EQ(g_Decoder.huffBits[slot][1], 2);
        EXPECT_EQ(g_Decoder.huffVals[slot][0], 0x21);
        EXPECT_EQ(g_Decoder.huffVals[slot][1], 0x42);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DhtSlots,
                         testing::Values(SlotCase{0x00, 0}, SlotCase{0x13, 7}, SlotCase{0x10, 4},
                                         SlotCase{0x04, 4},  // DC table 4 lands in AC table 0's slot
                                         SlotCase{0x20, 0},  // bits 7..5 are ignored
                                         SlotCase{0xF1, 5}));

TEST_F(Markers, OneDhtSegmentStoresEveryTableAndALaterOneOverwritesInPlace)
{
    JpegBuilder jpeg;
    jpeg.Soi().Dht(std::vector<DhtTable>{TinyTable(0x00, 5, 6), TinyTable(0x11, 7, 8)});
    jpeg.Dht(TinyTable(0x00, 9, 10)).Sof(0xC0, 8, 8, kGrey);
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    ASSERT_NE(g_Decoder.huffVals[0], nullptr);
    ASSERT_NE(g_Decoder.huffVals[5], nullptr);
    EXPECT_EQ(g_Decoder.huffVals[0][0], 9);
    EXPECT_EQ(g_Decoder.huffVals[0][1], 10);
    EXPECT_EQ(g_Decoder.huffVals[5][0], 7);
    EXPECT_EQ(g_Decoder.huffVals[5][1], 8);
    // Two blocks per slot; the redefinition allocated nothing.
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 4u);
}

TEST_F(Markers, DqtStoresEntriesInStreamOrderWithEitherPrecision)
{
    std::array<uint16_t, 64> wide{};
    std::array<uint16_t, 64> narrow{};
    for (int k = 0; k < 64; ++k) {
        wide[k] = static_cast<uint16_t>(0x0100 + k);
        narrow[k] = static_cast<uint16_t>(k + 1);
    }
    Bytes payload = {0x12};
    for (uint16_t e : wide) {
        payload.push_back(static_cast<uint8_t>(e >> 8));
        payload.push_back(static_cast<uint8_t>(e));
    }
    payload.push_back(0x00);
    payload.insert(payload.end(), narrow.begin(), narrow.end());
    JpegBuilder jpeg;
    jpeg.Soi().Segment(0xDB, payload).Sof(0xC0, 8, 8, kGrey);
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    ASSERT_NE(g_Decoder.quantTable[2], nullptr);
    ASSERT_NE(g_Decoder.quantTable[0], nullptr);
    EXPECT_EQ(g_Decoder.quantTable[1], nullptr);
    EXPECT_EQ(host::PoolBlockSize(g_Decoder.quantTable[0]), 128u + BLOCK_SLACK_BYTES);
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(g_Decoder.quantTable[2][k], 0x0100 + k);
        EXPECT_EQ(g_Decoder.quantTable[0][k], k + 1);
    }
}

struct FrameCase {
    const char* name;
    uint8_t code;
    int32_t error;
    int32_t progressive;
};

class FrameTypes : public Markers, public testing::WithParamInterface<FrameCase> {};

TEST_P(FrameTypes, OnlySequentialAndProgressiveHuffmanFramesAreRead)
{
    const FrameCase& c = GetParam();
    JpegBuilder jpeg;
    jpeg.Soi().Sof(c.code, 16, 8, kGrey);
    EXPECT_EQ(Start(jpeg.bytes()), c.error == 0 ? 1 : 0);
    EXPECT_EQ(g_Decoder.errorCode, c.error);
    EXPECT_EQ(g_Decoder.progressive, c.progressive);
    if (c.error == 0) {
        EXPECT_EQ(GetImageWidth(), 16);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameTypes,
                         testing::Values(FrameCase{"Sof0", 0xC0, 0, 0}, FrameCase{"Sof1", 0xC1, 0, 0},
                                         FrameCase{"Sof2", 0xC2, 0, 1},
                                         FrameCase{"Sof3", 0xC3, DECERR_UNSUPPORTED_FRAME, 0},
                                         FrameCase{"Sof10", 0xCA, DECERR_UNSUPPORTED_FRAME, 0},
                                         FrameCase{"Sof15", 0xCF, DECERR_UNSUPPORTED_FRAME, 0},
                                         FrameCase{"Sof9", 0xC9, DECERR_ARITHMETIC_CODING, 0}),
                         [](const testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

struct SofCase {
    const char* name;
    uint16_t width;
    uint16_t height;
    uint8_t precision;
    int components;
    int lengthDelta;  // added to the right length
    int32_t error;
};

class FrameHeader : public Markers, public testing::WithParamInterface<SofCase> {};

TEST_P(FrameHeader, FieldsAreRangeChecked)
{
    const SofCase& c = GetParam();
    std::vector<FrameComponent> components;
    for (int i = 0; i < c.components; ++i)
        components.push_back({static_cast<uint8_t>(i + 1), 1, 1, 0});
    const Bytes sof = Build(JpegBuilder().Sof(0xC0, c.width, c.height, components, c.precision));
    Bytes payload(sof.begin() + 4, sof.end());
    JpegBuilder jpeg;
    jpeg.Soi().SegmentWithLength(0xC0, static_cast<uint16_t>(payload.size() + 2 + c.lengthDelta), payload);
    EXPECT_EQ(Start(jpeg.bytes()), c.error == 0 ? 1 : 0);
    EXPECT_EQ(g_Decoder.errorCode, c.error) << DecoderErrorName(g_Decoder.errorCode);
    if (c.error == 0) {
        EXPECT_EQ(GetImageWidth(), c.width);
        EXPECT_EQ(GetImageHeight(), c.height);
        EXPECT_EQ(g_Decoder.compsInFrame, c.components);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameHeader,
                         testing::Values(SofCase{"Largest", 8192, 8192, 8, 1, 0, 0},
                                         SofCase{"NoComponentsLength8", 8, 8, 8, 0, 0, 0},
                                         SofCase{"Width8193", 8193, 8, 8, 1, 0, DECERR_SOF_BAD_WIDTH},
                                         SofCase{"Width0", 0, 8, 8, 1, 0, DECERR_SOF_BAD_WIDTH},
                                         SofCase{"Height8193", 8, 8193, 8, 1, 0, DECERR_SOF_BAD_HEIGHT},
                                         SofCase{"Height0", 8, 0, 8, 1, 0, DECERR_SOF_BAD_HEIGHT},
                                         SofCase{"Precision12", 8, 8, 12, 1, 0, DECERR_SOF_BAD_PRECISION},
                                         SofCase{"FiveComponents", 8, 8, 8, 5, 0, DECERR_SOF_TOO_MANY_COMPONENTS},
                                         SofCase{"LengthOneLong", 8, 8, 8, 3, 1, DECERR_SOF_BAD_LENGTH}),
                         [](const testing::TestParamInfo<SofCase>& info) { return std::string(info.param.name); });

TEST_F(Markers, FrameComponentsTakeTheirFourFields)
{
    JpegBuilder jpeg;
    jpeg.Soi().Dri(7).Sof(0xC0, 320, 240, {{1, 2, 1, 0}, {2, 1, 1, 1}, {9, 1, 2, 200}});
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    EXPECT_EQ(g_Decoder.restartInterval, 7);
    EXPECT_EQ(g_Decoder.compsInFrame, 3);
    const int32_t ident[3] = {1, 2, 9}, h[3] = {2, 1, 1}, v[3] = {1, 1, 2}, quant[3] = {0, 1, 200};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(g_Decoder.compIdent[i], ident[i]);
        EXPECT_EQ(g_Decoder.compHSamp[i], h[i]);
        EXPECT_EQ(g_Decoder.compVSamp[i], v[i]);
        EXPECT_EQ(g_Decoder.compQuant[i], quant[i]);
    }
}

// SOI, a three-component frame of the given type, then what the test appends.
JpegBuilder CameraFrame(uint8_t sofCode = 0xC0)
{
    JpegBuilder jpeg;
    jpeg.Soi().Sof(sofCode, 320, 240, jpegbytes::CameraComponents());
    return jpeg;
}

struct SpectralCase {
    const char* name;
    uint8_t sofCode;
    int32_t start;
    int32_t end;
};

class SpectralRange : public Markers, public testing::WithParamInterface<SpectralCase> {};

TEST_P(SpectralRange, IsForcedToTheWholeBlockUnlessProgressive)
{
    const SpectralCase& c = GetParam();
    ASSERT_EQ(Start(CameraFrame(c.sofCode).Sos({{1, 0, 0}}, 1, 5, 0x21).bytes()), 1);
    ASSERT_EQ(ReadScanHeader(), 1);
    EXPECT_EQ(g_Decoder.spectralStart, c.start);
    EXPECT_EQ(g_Decoder.spectralEnd, c.end);
    EXPECT_EQ(g_Decoder.compsInScan, 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, SpectralRange,
                         testing::Values(SpectralCase{"Sof0", 0xC0, 0, 63}, SpectralCase{"Sof1", 0xC1, 0, 63},
                                         SpectralCase{"Sof2", 0xC2, 1, 5}),
                         [](const testing::TestParamInfo<SpectralCase>& info) { return std::string(info.param.name); });

TEST_F(Markers, ScanHeaderMapsComponentsAndSelectors)
{
    JpegBuilder jpeg = CameraFrame();
    jpeg.Dht(TinyTable(0x13)).Sos({{3, 7, 3}, {2, 0, 1}, {1, 2, 0}});
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    ASSERT_EQ(ReadScanHeader(), 1);
    EXPECT_NE(g_Decoder.huffBits[7], nullptr) << "a table between frame and scan is stored";
    EXPECT_EQ(g_Decoder.compsInScan, 3);
    EXPECT_EQ(g_Decoder.scanCompList[0], 2);
    EXPECT_EQ(g_Decoder.scanCompList[1], 1);
    EXPECT_EQ(g_Decoder.scanCompList[2], 0);
    EXPECT_EQ(g_Decoder.compDcTable[2], 7);
    EXPECT_EQ(g_Decoder.compAcTable[2], 7);
    EXPECT_EQ(g_Decoder.compDcTable[1], 0);
    EXPECT_EQ(g_Decoder.compAcTable[1], 5);
    EXPECT_EQ(g_Decoder.compDcTable[0], 2);
    EXPECT_EQ(g_Decoder.compAcTable[0], 4);
}

TEST_F(Markers, ScanNamingAnIdentifierTwiceMapsBothToTheFirstMatch)
{
    JpegBuilder jpeg;
    jpeg.Soi().Sof(0xC0, 16, 16, {{5, 1, 1, 0}, {5, 1, 1, 0}, {6, 1, 1, 0}}).Sos({{5, 0, 0}, {5, 1, 1}});
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    ASSERT_EQ(ReadScanHeader(), 1);
    EXPECT_EQ(g_Decoder.scanCompList[0], 0);
    EXPECT_EQ(g_Decoder.scanCompList[1], 0);
}

struct ScanCase {
    const char* name;
    Bytes afterFrame;
    int32_t error;
};

class ScanHeaderErrors : public Markers, public testing::WithParamInterface<ScanCase> {};

TEST_P(ScanHeaderErrors, AreRefusedBeforeAnySelectorIsStored)
{
    const ScanCase& c = GetParam();
    JpegBuilder jpeg = CameraFrame();
    jpeg.Bytes(c.afterFrame);
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    EXPECT_EQ(ReadScanHeader(), 0);
    EXPECT_EQ(g_Decoder.errorCode, c.error) << DecoderErrorName(g_Decoder.errorCode);
    for (int i = 0; i < 3; ++i) {
        EXPECT_LE(g_Decoder.compDcTable[i], 7);
        EXPECT_LE(g_Decoder.compAcTable[i], 7);
    }
}

Bytes ScanWithCount(uint8_t count, uint16_t length)
{
    Bytes payload = {count};
    for (int i = 0; i < count; ++i) {
        payload.push_back(static_cast<uint8_t>(i + 1));
        payload.push_back(0x00);
    }
    payload.insert(payload.end(), {0, 63, 0});
    return Build(JpegBuilder().SegmentWithLength(0xDA, length, payload));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanHeaderErrors,
    testing::Values(ScanCase{"EndOfImage", Build(JpegBuilder().Eoi()), 0},
                    ScanCase{"LengthOneShort", ScanWithCount(1, 7), DECERR_SOS_BAD_LENGTH},
                    ScanCase{"NoComponents", ScanWithCount(0, 6), DECERR_SOS_BAD_LENGTH},
                    ScanCase{"FiveComponents", ScanWithCount(5, 16), DECERR_SOS_BAD_LENGTH},
                    ScanCase{"UnknownIdentifier", Build(JpegBuilder().Sos({{4, 0, 0}})), DECERR_SOS_BAD_COMPONENT},
                    ScanCase{"DcSelector8", Build(JpegBuilder().Sos({{1, 8, 0}})), DECERR_SOS_BAD_COMPONENT},
                    ScanCase{"AcSelector4", Build(JpegBuilder().Sos({{2, 0, 4}})), DECERR_SOS_BAD_COMPONENT},
                    ScanCase{"SecondComponentBad", Build(JpegBuilder().Sos({{1, 0, 0}, {2, 15, 15}})),
                             DECERR_SOS_BAD_COMPONENT},
                    ScanCase{"AnotherFrameHeader", Build(JpegBuilder().Sof(0xC0, 8, 8, kGrey)),
                             DECERR_UNEXPECTED_MARKER},
                    ScanCase{"ABrokenTable", Build(JpegBuilder().Dht(TinyTable(0x15))), DECERR_DHT_BAD_TABLE}),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST_F(Markers, FinishScanReadsTheMarkersAfterTheScanData)
{
    JpegBuilder jpeg = CameraFrame();
    jpeg.Sos(jpegbytes::CameraScan()).Bytes({0x12, 0xFF, 0x00, 0x34}).Dht(TinyTable(0x12)).Eoi().Bytes({0xAA});
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    ASSERT_EQ(ReadScanHeader(), 1);
    PrimeCodedBits();
    EXPECT_EQ(GetCodedBits(16), 0x12FFu);
    EXPECT_EQ(GetCodedBits(8), 0x34u);
    EXPECT_EQ(GetCodedBits(16), 0xFFFFu) << "1-bits at the marker";
    FinishScan();
    EXPECT_EQ(g_Decoder.errorCode, 0);
    EXPECT_NE(g_Decoder.huffBits[6], nullptr);
    // The loop stopped at the EOI: the byte after it is next in the window.
    EXPECT_EQ((g_Decoder.bitBuf >> 8) & 0xFFu, 0xAAu);
}

TEST_F(Markers, FinishScanLeavesAProgressiveStreamAlone)
{
    JpegBuilder jpeg = CameraFrame(0xC2);
    jpeg.Sos({{1, 0, 0}}, 0, 0).Bytes({0x12, 0x34}).Dht(TinyTable(0x12)).Eoi();
    ASSERT_EQ(Start(jpeg.bytes()), 1);
    ASSERT_EQ(ReadScanHeader(), 1);
    PrimeCodedBits();
    const uint32_t buf = g_Decoder.bitBuf;
    FinishScan();
    EXPECT_EQ(g_Decoder.bitBuf, buf);
    EXPECT_EQ(g_Decoder.huffBits[6], nullptr);
}

// After a failed SOI search the source is detached, yet the headers are read on. When they
// run past the first chunk the refill latches in the middle of a table: the table's block
// is gone by then and must not be written.
TEST_F(Markers, ATableReadAcrossALatchIsNotStored)
{
    JpegBuilder jpeg;
    jpeg.Fill(3, 0x11).Soi().Bytes({0x00}).Dqt(0, jpegbytes::FlatQuant(3));
    const size_t used = jpeg.bytes().size();
    // An APP segment that ends 20 bytes before the chunk does, then a table across the boundary.
    jpeg.App(1, Bytes(INPUT_CHUNK_SIZE - used - 4 - 20, 0x00));
    jpeg.Dqt(0, jpegbytes::FlatQuant(9)).Sof(0xC0, 8, 8, kGrey);
    EXPECT_EQ(Start(jpeg.bytes()), 0);
    EXPECT_EQ(g_Decoder.errorCode, DECERR_READ_FAILED);
    EXPECT_EQ(host::PoolGetCounts().outstandingBlocks, 0u);
    EXPECT_TRUE(host::PoolTakeViolations().empty());
}

}  // namespace
