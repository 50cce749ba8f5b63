#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "decoder/decoder_context.h"
#include "decoder/idct.h"

namespace {

struct Block {
    int16_t coef[64] = {};
    uint8_t samples[64] = {};
};

Block Transform(std::initializer_list<std::pair<int, int>> coefficients)
{
    Block b;
    for (const auto& [index, value] : coefficients)
        b.coef[index] = static_cast<int16_t>(value);
    std::memset(b.samples, 0xEE, sizeof(b.samples));
    InverseDct8x8(b.coef, b.samples);
    return b;
}

// Points the MCU-row fields at caller storage; nothing is allocated.
class TransformRow : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = g_Decoder;
        coeffs_.assign(64 * kBlocks, 0);
        samples_.assign(64 * kBlocks + 64, 0xEE);
        g_Decoder.blocksPerMcuRow = kBlocks;
        g_Decoder.coeffStore = coeffs_.data();
        g_Decoder.sampleBuf = samples_.data();
        for (int i = 0; i < kBlocks; ++i) {
            g_Decoder.blockPtr[i] = coeffs_.data() + 64 * i;
            g_Decoder.blockMaxZag[i] = 64;
        }
    }
    void TearDown() override { g_Decoder = saved_; }

    static constexpr int kBlocks = 3;
    DecoderContext saved_;
    std::vector<int16_t> coeffs_;
    std::vector<uint8_t> samples_;
};

struct DcCase {
    int dc;
    int sample;
};

void PrintTo(const DcCase& c, std::ostream* os) { *os << "DC " << c.dc; }

class DcOnly : public testing::TestWithParam<DcCase> {};

TEST_P(DcOnly, GivesOneFlatValueIncludingTheSixteenBitWrapOfTheFirstPass)
{
    const Block b = Transform({{0, GetParam().dc}});
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(b.samples[i], GetParam().sample) << "sample " << i;
}

INSTANTIATE_TEST_SUITE_P(Values, DcOnly,
                         testing::Values(DcCase{0, 128}, DcCase{8, 129}, DcCase{-1, 128}, DcCase{-5, 127},
                                         DcCase{-1024, 0}, DcCase{1016, 255}, DcCase{8192, 0},
                                         DcCase{16384, 128}, DcCase{-8193, 255}));

TEST(InverseDct, FirstHorizontalFrequencyGivesTheSameRowEverywhere)
{
    const int expected[8] = {163, 157, 148, 135, 121, 108, 99, 93};
    const Block b = Transform({{1, 200}});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(b.samples[8 * y + x], expected[x]) << "row " << y << " column " << x;
}

TEST(InverseDct, FirstVerticalFrequencyGivesTheSameColumnEverywhere)
{
    const int expected[8] = {163, 157, 148, 135, 121, 108, 99, 93};
    const Block b = Transform({{8, 200}});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(b.samples[8 * y + x], expected[y]) << "row " << y << " column " << x;
}

// The integer transform stays within one step of the exact one for ordinary blocks:
// a wrong multiplier or a swapped output shows up here at once.
TEST(InverseDct, StaysWithinOneOfTheExactTransform)
{
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> magnitude(-300, 300);
    std::uniform_int_distribution<int> sparse(0, 3);
    int worst = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        int16_t coef[64];
        for (int i = 0; i < 64; ++i)
            coef[i] = static_cast<int16_t>(i == 0 || sparse(random) == 0 ? magnitude(random) / (1 + i / 8) : 0);
        double exact[64];
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                double sum = 0;
                for (int v = 0; v < 8; ++v)
                    for (int u = 0; u < 8; ++u) {
                        const double cu = u == 0 ? std::sqrt(0.5) : 1.0;
                        const double cv = v == 0 ? std::sqrt(0.5) : 1.0;
                        sum += cu * cv * coef[8 * v + u] * std::cos((2 * x + 1) * u * M_PI / 16) *
                               std::cos((2 * y + 1) * v * M_PI / 16);
                    }
                exact[8 * y + x] = std::fmin(255.0, std::fmax(0.0, sum / 4 + 128));
            }
        uint8_t samples[64];
        InverseDct8x8(coef, samples);
        for (int i = 0; i < 64; ++i)
            worst = std::max(worst, static_cast<int>(std::lround(std::fabs(samples[i] - exact[i]))));
    }
    EXPECT_LE(worst, 1);
}

TEST(InverseDct, SaturatesAtBothEnds)
{
    const Block bright = Transform({{0, 1016}, {1, 600}, {8, 600}});
    const Block dark = Transform({{0, -1024}, {1, -600}, {8, -600}});
    EXPECT_EQ(bright.samples[0], 255);
    EXPECT_EQ(dark.samples[0], 0);
}

TEST_F(TransformRow, WritesBlockIIntoSampleBlockIAndLeavesTheCoefficientsAlone)
{
    coeffs_[0] = 8;        // block 0: flat 129
    coeffs_[64 + 1] = 200; // block 1: horizontal ramp
    coeffs_[128] = -5;     // block 2: flat 127
    const std::vector<int16_t> before = coeffs_;
    TransformMcuRow();
    EXPECT_EQ(coeffs_, before);
    EXPECT_EQ(samples_[0], 129);
    EXPECT_EQ(samples_[63], 129);
    EXPECT_EQ(samples_[64], 163);
    EXPECT_EQ(samples_[64 + 7], 93);
    EXPECT_EQ(samples_[128], 127);
    EXPECT_EQ(samples_[191], 127);
    EXPECT_EQ(samples_[192], 0xEE) << "nothing past the last block";
}

// The flat-block shortcut taken for blocks whose data ended after the DC term
// must give exactly what the full transform gives, wraps included.
TEST_F(TransformRow, FlatBlockShortcutMatchesTheFullTransformForEveryDcValue)
{
    for (int dc = -32768; dc <= 32767; ++dc) {
        coeffs_[0] = static_cast<int16_t>(dc);
        g_Decoder.blockMaxZag[0] = 1;
        TransformMcuRow();
        int16_t work[64] = {static_cast<int16_t>(dc)};
        uint8_t expected[64];
        InverseDct8x8(work, expected);
        ASSERT_EQ(std::memcmp(samples_.data(), expected, 64), 0) << "DC " << dc;
    }
}

TEST_F(TransformRow, DoesNothingWithoutBlocks)
{
    coeffs_[0] = 8;
    g_Decoder.blocksPerMcuRow = 0;
    TransformMcuRow();
    EXPECT_EQ(samples_[0], 0xEE);
}

}  // namespace
