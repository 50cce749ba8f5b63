#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "decoder/colour_tables.h"
#include "decoder/decoder_context.h"
#include "decoder/output.h"

namespace {

TEST(ColourTables, HoldTheJfifContributions)
{
    BuildColourTables();
    const DecoderContext& d = g_Decoder;
    EXPECT_EQ(d.cbToBlue[0], -227);
    EXPECT_EQ(d.cbToBlue[255], 225);
    EXPECT_EQ(d.crToRed[0], -179);
    EXPECT_EQ(d.crToRed[255], 178);
    EXPECT_EQ(d.cbToBlue[128], 0);
    EXPECT_EQ(d.crToRed[128], 0);
    EXPECT_EQ(d.cbToGreen[128], 32768);
    EXPECT_EQ(d.crToGreen[128], 0);
    EXPECT_EQ(d.cbToGreen[0], 2919680);
    EXPECT_EQ(d.crToGreen[0], 5990656);
}

// One MCU of the camera's layout (luma left, luma right, Cb, Cr) in caller storage.
class RowWriters : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = g_Decoder;
        BuildColourTables();
        samples_.assign(256 * 2, 0);
        g_Decoder.sampleBuf = samples_.data();
        g_Decoder.mcusPerRow = 1;
        g_Decoder.maxMcuYSize = 8;
        g_Decoder.mcuLinesLeft = 8;
    }
    void TearDown() override { g_Decoder = saved_; }

    void Fill(int y, int cb, int cr)
    {
        std::memset(samples_.data(), y, 128);
        std::memset(samples_.data() + 128, cb, 64);
        std::memset(samples_.data() + 192, cr, 64);
    }

    std::vector<uint8_t> Bgr24()
    {
        std::vector<uint8_t> line(48 + 8, 0xEE);
        WriteRowBgr24(line.data());
        EXPECT_EQ(line[48], 0xEE) << "the line holds 16 pixels";
        line.resize(48);
        return line;
    }

    DecoderContext saved_;
    std::vector<uint8_t> samples_;
};

struct ColourCase {
    int y, cb, cr;
    int blue, green, red;
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << "Y " << c.y << " Cb " << c.cb << " Cr " << c.cr; }

class Conversion : public RowWriters, public testing::WithParamInterface<ColourCase> {};

TEST_P(Conversion, GivesTheseBgrBytes)
{
    const ColourCase c = GetParam();
    Fill(c.y, c.cb, c.cr);
    const std::vector<uint8_t> line = Bgr24();
    for (int x = 0; x < 16; ++x) {
        ASSERT_EQ(line[3 * x], c.blue) << "pixel " << x;
        ASSERT_EQ(line[3 * x + 1], c.green) << "pixel " << x;
        ASSERT_EQ(line[3 * x + 2], c.red) << "pixel " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, Conversion,
                         testing::Values(ColourCase{128, 128, 128, 128, 128, 128},
                                         ColourCase{76, 85, 255, 0, 0, 254},
                                         ColourCase{255, 0, 0, 28, 255, 76},
                                         ColourCase{0, 128, 128, 0, 0, 0},
                                         ColourCase{255, 128, 128, 255, 255, 255},
                                         ColourCase{0, 0, 0, 0, 135, 0}));

// Table-driven conversion against the JFIF formulas in floating point, over a grid.
TEST_F(RowWriters, ConversionStaysWithinOneOfTheJfifFormulas)
{
    int worst = 0;
    for (int y = 0; y < 256; y += 5)
        for (int cb = 0; cb < 256; cb += 3)
            for (int cr = 0; cr < 256; cr += 3) {
                Fill(y, cb, cr);
                const std::vector<uint8_t> line = Bgr24();
                const double r = y + 1.402 * (cr - 128);
                const double g = y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128);
                const double b = y + 1.772 * (cb - 128);
                const double expected[3] = {b, g, r};
                for (int i = 0; i < 3; ++i) {
                    const double clamped = std::fmin(255, std::fmax(0, expected[i]));
                    worst = std::max(worst, static_cast<int>(std::lround(std::fabs(line[i] - clamped))));
                }
            }
    EXPECT_LE(worst, 1);
}

// Every sample of the MCU distinct, so each output byte names where it came from.
TEST_F(RowWriters, ReadEachLineFromItsOwnSamplePositions)
{
    for (int i = 0; i < 256; ++i)
        samples_[i] = static_cast<uint8_t>(i);
    for (int L = 0; L < 8; ++L) {
        g_Decoder.mcuLinesLeft = 8 - L;
        uint8_t uyvy[32 + 4];
        std::memset(uyvy, 0xEE, sizeof(uyvy));
        WriteRowUyvy(uyvy);
        EXPECT_EQ(uyvy[32], 0xEE) << "the line holds 16 pixels";
        for (int pair = 0; pair < 8; ++pair) {
            const int half = pair / 4, j = pair % 4;
            ASSERT_EQ(uyvy[4 * pair], 128 + 8 * L + 4 * half + j) << "Cb, line " << L << " pair " << pair;
            ASSERT_EQ(uyvy[4 * pair + 1], 64 * half + 8 * L + 2 * j) << "first luma";
            ASSERT_EQ(uyvy[4 * pair + 2], 192 + 8 * L + 4 * half + j) << "Cr";
            ASSERT_EQ(uyvy[4 * pair + 3], 64 * half + 8 * L + 2 * j + 1) << "second luma";
        }
    }
}

TEST_F(RowWriters, UyvyCopiesSamplesWithoutConversion)
{
    Fill(255, 0, 7);
    uint8_t uyvy[32];
    WriteRowUyvy(uyvy);
    for (int pair = 0; pair < 8; ++pair) {
        EXPECT_EQ(uyvy[4 * pair], 0);
        EXPECT_EQ(uyvy[4 * pair + 1], 255);
        EXPECT_EQ(uyvy[4 * pair + 2], 7);
        EXPECT_EQ(uyvy[4 * pair + 3], 255);
    }
}

TEST(ClampSample, LimitsToTheByteRange)
{
    EXPECT_EQ(ClampSample(-1), 0);
    EXPECT_EQ(ClampSample(0), 0);
    EXPECT_EQ(ClampSample(255), 255);
    EXPECT_EQ(ClampSample(256), 255);
    EXPECT_EQ(ClampSample(-100000), 0);
    EXPECT_EQ(ClampSample(100000), 255);
}

}  // namespace
