#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "decoder/colour_tables.h"
#include "decoder/decoder.h"
#include "decoder/output.h"
#include "support/jpeg_oracle.h"
#include "support/test_pictures.h"

namespace {

using oracle::Format;
using oracle::OurDecode;

// ---- The row writers of every layout, against an independent reading of the MCU.

struct LayoutCase {
    const char* name;
    int components, lumaH, lumaV;
    std::vector<int> mcuOrg;  // frame component of each block, in scan order
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class LayoutWriters : public testing::TestWithParam<LayoutCase> {
protected:
    void SetUp() override
    {
        saved_ = g_Decoder;
        const LayoutCase c = GetParam();
        BuildColourTables();
        DecoderContext& d = g_Decoder;
        d.compsInFrame = c.components;
        d.compHSamp[0] = c.lumaH;
        d.compVSamp[0] = c.lumaV;
        for (int i = 1; i < 3; ++i)
            d.compHSamp[i] = d.compVSamp[i] = 1;
        d.blocksPerMcu = d.mcuBlockCount = static_cast<int32_t>(c.mcuOrg.size());
        for (size_t i = 0; i < c.mcuOrg.size(); ++i)
            d.mcuOrg[i] = c.mcuOrg[i];
        d.maxMcuXSize = 8 * c.lumaH;
        d.maxMcuYSize = 8 * c.lumaV;
        d.mcusPerRow = 3;
        samples_.resize(64 * c.mcuOrg.size() * 3);
        std::mt19937 random(7);
        for (uint8_t& s : samples_)
            s = static_cast<uint8_t>(random());
        d.sampleBuf = samples_.data();
    }
    void TearDown() override { g_Decoder = saved_; }

    // Sample of component c for pixel x of line L, found by searching the MCU's block list.
    int Sample(int c, int x, int L) const
    {
        const LayoutCase& lc = GetParam();
        const int mcuWidth = 8 * lc.lumaH;
        const int m = x / mcuWidth, xi = x % mcuWidth;
        if (c > 0 && lc.components == 1)
            return 128;
        int wanted = c == 0 ? (L / 8) * lc.lumaH + xi / 8 : 0;
        const int row = c == 0 ? L % 8 : L / lc.lumaV;
        const int column = c == 0 ? xi % 8 : xi / lc.lumaH;
        for (size_t b = 0; b < lc.mcuOrg.size(); ++b)
            if (lc.mcuOrg[b] == c && wanted-- == 0)
                return samples_[(m * lc.mcuOrg.size() + b) * 64 + row * 8 + column];
        ADD_FAILURE() << "no block for component " << c;
        return -1;
    }

    DecoderContext saved_;
    std::vector<uint8_t> samples_;
};

TEST_P(LayoutWriters, WriteEachPixelFromItsOwnSamplesAndStopAtTheWidth)
{
    const LayoutCase c = GetParam();
    const DecoderContext& d = g_Decoder;
    for (int width : {3 * 8 * c.lumaH, 3 * 8 * c.lumaH - 1, 3 * 8 * c.lumaH - 7, 1}) {
        g_Decoder.imageWidth = width;
        LineLayout layout;
        ASSERT_EQ(ComputeLineLayout(&layout), 1);
        for (int L = 0; L < 8 * c.lumaV; ++L) {
            std::vector<uint8_t> bgr(width * 3 + 16, 0xEE), uyvy(width * 2 + 16, 0xEE);
            WriteLayoutRowBgr24(&layout, L, bgr.data());
            WriteLayoutRowUyvy(&layout, L, uyvy.data());
            for (int i = 0; i < 16; ++i) {
                ASSERT_EQ(bgr[width * 3 + i], 0xEE) << "BGR24 past the line, width " << width;
                ASSERT_EQ(uyvy[width * 2 + i], 0xEE) << "UYVY past the line, width " << width;
            }
            for (int x = 0; x < width; ++x) {
                const int y = Sample(0, x, L), cb = Sample(1, x, L), cr = Sample(2, x, L);
                const int blue = ClampSample(y + d.cbToBlue[cb]);
                const int green = ClampSample(y + ((d.cbToGreen[cb] + d.crToGreen[cr]) >> 16));
                const int red = ClampSample(y + d.crToRed[cr]);
                ASSERT_EQ(bgr[3 * x], blue) << "width " << width << " line " << L << " pixel " << x;
                ASSERT_EQ(bgr[3 * x + 1], green) << "width " << width << " line " << L << " pixel " << x;
                ASSERT_EQ(bgr[3 * x + 2], red) << "width " << width << " line " << L << " pixel " << x;
                const int pairStart = x & ~1;
                ASSERT_EQ(uyvy[2 * x + 1], y) << "luma, width " << width << " line " << L << " pixel " << x;
                ASSERT_EQ(uyvy[2 * x], x == pairStart ? Sample(1, pairStart, L) : Sample(2, pairStart, L))
                    << "chroma, width " << width << " line " << L << " pixel " << x;
            }
        }
    }
}

TEST_P(LayoutWriters, CameraWritersAreUsedOnlyWhereTheyGiveTheSameBytes)
{
    const LayoutCase c = GetParam();
    g_Decoder.imageWidth = 3 * 8 * c.lumaH;
    LineLayout layout;
    ASSERT_EQ(ComputeLineLayout(&layout), 1);
    const bool camera = c.components == 3 && c.lumaH == 2 && c.lumaV == 1 && c.mcuOrg == std::vector<int>{0, 0, 1, 2};
    EXPECT_EQ(layout.cameraLayout != 0, camera);
    if (!camera)
        return;
    for (int L = 0; L < 8; ++L) {
        g_Decoder.mcuLinesLeft = 8 - L;
        std::vector<uint8_t> fast(48 * 3), general(48 * 3);
        WriteRowBgr24(fast.data());
        WriteLayoutRowBgr24(&layout, L, general.data());
        ASSERT_EQ(fast, general) << "BGR24 line " << L;
        fast.assign(32 * 3, 0);
        general.assign(32 * 3, 0);
        WriteRowUyvy(fast.data());
        WriteLayoutRowUyvy(&layout, L, general.data());
        ASSERT_EQ(fast, general) << "UYVY line " << L;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutWriters,
    testing::Values(LayoutCase{"Grey", 1, 1, 1, {0}}, LayoutCase{"OneByOne", 3, 1, 1, {0, 1, 2}},
                    LayoutCase{"OneByTwo", 3, 1, 2, {0, 0, 1, 2}}, LayoutCase{"Camera", 3, 2, 1, {0, 0, 1, 2}},
                    LayoutCase{"TwoByTwo", 3, 2, 2, {0, 0, 0, 0, 1, 2}},
                    LayoutCase{"CameraScannedCrCbY", 3, 2, 1, {2, 1, 0, 0}},
                    LayoutCase{"TwoByTwoScannedCbYCr", 3, 2, 2, {1, 0, 0, 0, 0, 2}}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });

// ---- Whole frames through the decode entries.

std::vector<uint8_t> CameraPicture(int width, int height, int restartInterval = 0)
{
    oracle::EncodeOptions options;
    options.restartInterval = restartInterval;
    return oracle::Compress(pictures::Photo("chelsea_320x240_q75.jpg", width, height), options);
}

size_t LineOffset(Format format, int width, int height, int line)
{
    return format == Format::Bgr24 ? static_cast<size_t>(height - 1 - line) * width * 3
                                   : static_cast<size_t>(line) * width * 2;
}

// Lines [0, written) hold what a good decode gives; the rest still hold the fill.
void ExpectLinesWritten(const OurDecode& failed, const OurDecode& good, Format format, int written)
{
    const int stride = good.width * (format == Format::Bgr24 ? 3 : 2);
    for (int line = 0; line < good.height; ++line) {
        const size_t at = LineOffset(format, good.width, good.height, line);
        for (int i = 0; i < stride; ++i) {
            const int expected = line < written ? good.frame[at + i] : 0xCD;
            ASSERT_EQ(failed.frame[at + i], expected) << "line " << line << " byte " << i;
        }
    }
}

class Entries : public testing::TestWithParam<Format> {};

TEST_P(Entries, RefuseADestinationSmallerThanTheFrameBeforeWritingAnything)
{
    const std::vector<uint8_t> jpeg = CameraPicture(64, 32);
    const uint32_t exact = 64 * 32 * (GetParam() == Format::Bgr24 ? 3 : 2);
    const OurDecode fits = oracle::DecodeOurs(jpeg, GetParam(), exact);
    EXPECT_EQ(fits.result, 0);
    EXPECT_TRUE(fits.canaryIntact);

    const OurDecode shortBy1 = oracle::DecodeOurs(jpeg, GetParam(), exact - 1);
    EXPECT_EQ(shortBy1.result, 1);
    EXPECT_EQ(shortBy1.error, DECERR_UNSUPPORTED_FRAME);
    EXPECT_EQ(shortBy1.width, 64);
    EXPECT_EQ(shortBy1.height, 32);
    EXPECT_TRUE(shortBy1.canaryIntact);
    for (uint8_t b : shortBy1.frame)
        ASSERT_EQ(b, 0xCD);
}

TEST_P(Entries, RefuseANullDestination)
{
    std::vector<uint8_t> jpeg = CameraPicture(16, 8);
    ASSERT_EQ(MemorySourceInit(&g_Decoder.memorySource, jpeg.data(), static_cast<int32_t>(jpeg.size())), 1);
    DecoderStart(&g_Decoder.memorySource);
    int32_t width = 0, height = 0;
    const int32_t result = GetParam() == Format::Bgr24 ? DecodeFrameToBgr24(&width, &height, nullptr, 1000)
                                                       : DecodeFrameToUyvy(&width, &height, nullptr, 1000);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(GetDecoderError(), DECERR_UNSUPPORTED_FRAME);
    DecoderFreeAll();
}

TEST_P(Entries, WriteNothingWhenTheFrameHeaderWasRefused)
{
    std::vector<uint8_t> jpeg = CameraPicture(32, 16);
    for (size_t i = 0; i + 4 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 4] = 12;  // sample precision
            break;
        }
    const OurDecode ours = oracle::DecodeOurs(jpeg, GetParam(), 32 * 16 * 3);
    EXPECT_EQ(ours.result, 1);
    EXPECT_EQ(ours.error, DECERR_SOF_BAD_PRECISION);
    for (uint8_t b : ours.frame)
        ASSERT_EQ(b, 0xCD);
}

TEST_P(Entries, RefuseProgressiveFramesBeforeAnyLine)
{
    oracle::EncodeOptions options;
    options.progressive = true;
    const std::vector<uint8_t> jpeg = oracle::Compress(pictures::Gradient(48, 32), options);
    const OurDecode ours = oracle::DecodeOurs(jpeg, GetParam());
    EXPECT_EQ(ours.result, 1);
    EXPECT_EQ(ours.error, DECERR_UNSUPPORTED_FRAME);
    EXPECT_EQ(ours.width, 48);
    for (uint8_t b : ours.frame)
        ASSERT_EQ(b, 0xCD);
}

// A restart marker with the wrong number at the start of the fifth MCU row.
TEST_P(Entries, KeepTheLinesOfTheRowsDecodedBeforeAFailure)
{
    const std::vector<uint8_t> good = oracle::Reencode(CameraPicture(320, 240), {0, 1, 2}, 20);
    std::vector<uint8_t> bad = good;
    int markers = 0;
    for (size_t i = 0; i + 1 < bad.size(); ++i)
        if (bad[i] == 0xFF && bad[i + 1] >= 0xD0 && bad[i + 1] <= 0xD7 && ++markers == 4) {
            bad[i + 1] = 0xD5;  // RST3 is due before MCU 80
            break;
        }
    ASSERT_EQ(markers, 4);
    const OurDecode reference = oracle::DecodeOurs(good, GetParam());
    ASSERT_EQ(reference.result, 0);
    const OurDecode failed = oracle::DecodeOurs(bad, GetParam());
    EXPECT_EQ(failed.result, 1);
    EXPECT_EQ(failed.error, DECERR_BAD_RESTART_MARKER);
    ExpectLinesWritten(failed, reference, GetParam(), 32);
}

INSTANTIATE_TEST_SUITE_P(Formats, Entries, testing::Values(Format::Bgr24, Format::Uyvy),
                         [](const testing::TestParamInfo<Format>& info) {
                             return info.param == Format::Bgr24 ? "Bgr24" : "Uyvy";
                         });

// The end of the scan is read with the last MCU row, before it is transformed: a
// damaged segment behind the scan fails the frame with that row's lines unwritten.
struct LastRowCase {
    int height;
    int lumaV;
    int linesBeforeLastRow;
};

void PrintTo(const LastRowCase& c, std::ostream* os) { *os << c.height << " lines, luma 1x" << c.lumaV; }

class LastMcuRow : public testing::TestWithParam<LastRowCase> {};

TEST_P(LastMcuRow, ReadsTheEndOfTheScanBeforeItsLinesAreWritten)
{
    const LastRowCase c = GetParam();
    oracle::EncodeOptions options;
    options.lumaV = c.lumaV;
    const std::vector<uint8_t> good = oracle::Compress(pictures::Gradient(64, c.height), options);
    std::vector<uint8_t> bad = good;
    ASSERT_GE(bad.size(), 2u);
    ASSERT_EQ(bad[bad.size() - 2], 0xFF);
    ASSERT_EQ(bad[bad.size() - 1], 0xD9);
    const uint8_t damaged[] = {0xFF, 0xDB, 0x00, 0x01};  // a DQT segment of length 1
    bad.insert(bad.end() - 2, std::begin(damaged), std::end(damaged));
    for (Format format : {Format::Bgr24, Format::Uyvy}) {
        const OurDecode reference = oracle::DecodeOurs(good, format);
        ASSERT_EQ(reference.result, 0);
        const OurDecode failed = oracle::DecodeOurs(bad, format);
        EXPECT_EQ(failed.result, 1);
        EXPECT_EQ(failed.error, DECERR_DQT_BAD_LENGTH);
        ExpectLinesWritten(failed, reference, format, c.linesBeforeLastRow);
    }
}

INSTANTIATE_TEST_SUITE_P(Heights, LastMcuRow,
                         testing::Values(LastRowCase{240, 1, 232}, LastRowCase{480, 1, 472}, LastRowCase{100, 1, 96},
                                         LastRowCase{100, 2, 96}, LastRowCase{8, 1, 0}));

}  // namespace
