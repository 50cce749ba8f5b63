// Our decoder against libjpeg-turbo (integer transform, replicating upsampling) on
// pictures that libjpeg compressed: every accepted layout, qualities 10 to 100,
// with and without restart intervals, odd sizes. The measured differences are
// printed per layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "support/jpeg_oracle.h"
#include "support/test_pictures.h"

namespace {

using oracle::Format;
using oracle::OurDecode;

struct Layout {
    const char* name;
    int components, lumaH, lumaV;
};

struct Size {
    int width, height;
};

// The passes of the integer transform run in the other order in libjpeg (columns
// first), so a few samples round differently. On a picture of a few hundred samples
// that can lift the mean alone, so the mean bound holds per picture from 1000 pixels
// on and over all samples of a layout.
constexpr size_t kMeanCheckPixels = 1000;

struct Tally {
    int bgrMax = 0, uyvyMax = 0;
    double bgrMeanWorst = 0, uyvyMeanWorst = 0;  // over the pictures large enough
    double bgrTotal = 0, uyvyTotal = 0;
    size_t bgrSamples = 0, uyvySamples = 0;
    int pictures = 0;
    void Add(const oracle::Difference& b, const oracle::Difference& u, size_t pixels)
    {
        bgrMax = std::max(bgrMax, b.maxAbs);
        uyvyMax = std::max(uyvyMax, u.maxAbs);
        if (pixels >= kMeanCheckPixels) {
            bgrMeanWorst = std::max(bgrMeanWorst, b.meanAbs);
            uyvyMeanWorst = std::max(uyvyMeanWorst, u.meanAbs);
        }
        bgrTotal += b.meanAbs * static_cast<double>(b.samples);
        uyvyTotal += u.meanAbs * static_cast<double>(u.samples);
        bgrSamples += b.samples;
        uyvySamples += u.samples;
        ++pictures;
    }
    double BgrMean() const { return bgrSamples != 0 ? bgrTotal / static_cast<double>(bgrSamples) : 0; }
    double UyvyMean() const { return uyvySamples != 0 ? uyvyTotal / static_cast<double>(uyvySamples) : 0; }
};

void PrintTo(const Layout& c, std::ostream* os) { *os << c.name; }

using PictureMaker = std::function<oracle::RgbPicture(int, int)>;

struct NamedPicture {
    const char* name;
    PictureMaker make;
};

const std::vector<NamedPicture>& Pictures()
{
    static const std::vector<NamedPicture> pictures = {
        {"gradient", pictures::Gradient},
        {"edges", pictures::Edges},
        {"noise", [](int w, int h) { return pictures::Noise(w, h, static_cast<uint32_t>(w * 131 + h)); }},
        {"photo", [](int w, int h) { return pictures::Photo("chelsea_320x240_q75.jpg", w, h); }},
    };
    return pictures;
}

// Decodes with both and compares; adds the measured differences to the tally.
void CompareOne(const std::vector<uint8_t>& jpeg, const std::string& what, Tally& tally)
{
    SCOPED_TRACE(what);
    ASSERT_FALSE(jpeg.empty());
    const oracle::DecodedPicture rgb = oracle::DecompressRgb(jpeg);
    const oracle::DecodedPicture ycc = oracle::DecompressYcc(jpeg);
    ASSERT_EQ(rgb.error, "");
    ASSERT_EQ(ycc.error, "");
    const OurDecode bgr = oracle::DecodeOurs(jpeg, Format::Bgr24);
    const OurDecode uyvy = oracle::DecodeOurs(jpeg, Format::Uyvy);
    ASSERT_EQ(bgr.result, 0) << DecoderErrorName(bgr.error);
    ASSERT_EQ(uyvy.result, 0) << DecoderErrorName(uyvy.error);
    EXPECT_TRUE(bgr.canaryIntact);
    EXPECT_TRUE(uyvy.canaryIntact);
    ASSERT_EQ(bgr.width, rgb.width);
    ASSERT_EQ(bgr.height, rgb.height);
    const oracle::Difference b = oracle::CompareBgr24(bgr, rgb);
    const oracle::Difference u = oracle::CompareUyvy(uyvy, ycc);
    EXPECT_LE(b.maxAbs, 3);
    EXPECT_LE(u.maxAbs, 1);
    const size_t pixels = static_cast<size_t>(rgb.width) * static_cast<size_t>(rgb.height);
    if (pixels >= kMeanCheckPixels) {
        EXPECT_LT(b.meanAbs, 0.1);
        EXPECT_LT(u.meanAbs, 0.1);
    }
    tally.Add(b, u, pixels);
}

void Report(const char* layout, const Tally& tally)
{
    EXPECT_LT(tally.BgrMean(), 0.1);
    EXPECT_LT(tally.UyvyMean(), 0.1);
    std::printf("[ ORACLE   ] %-20s %3d pictures: BGR24 max %d, mean %.4f (worst picture %.4f); "
                "UYVY max %d, mean %.4f (worst picture %.4f)\n",
                layout, tally.pictures, tally.bgrMax, tally.BgrMean(), tally.bgrMeanWorst, tally.uyvyMax,
                tally.UyvyMean(), tally.uyvyMeanWorst);
    testing::Test::RecordProperty("bgr24_max", tally.bgrMax);
    testing::Test::RecordProperty("uyvy_max", tally.uyvyMax);
    testing::Test::RecordProperty("bgr24_mean_x10000", static_cast<int>(tally.BgrMean() * 10000));
    testing::Test::RecordProperty("uyvy_mean_x10000", static_cast<int>(tally.UyvyMean() * 10000));
}

class EveryLayout : public testing::TestWithParam<Layout> {};

TEST_P(EveryLayout, AgreesWithLibjpegAcrossSizesQualitiesAndRestarts)
{
    const Layout layout = GetParam();
    Tally tally;
    const Size sizes[] = {{1, 1}, {17, 9}, {100, 75}, {333, 211}, {320, 240}};
    for (const Size& size : sizes)
        for (const NamedPicture& picture : Pictures()) {
            const oracle::RgbPicture rgb = picture.make(size.width, size.height);
            for (int quality : {10, 50, 90, 100})
                for (int restart : {0, 3}) {
                    oracle::EncodeOptions options;
                    options.components = layout.components;
                    options.lumaH = layout.lumaH;
                    options.lumaV = layout.lumaV;
                    options.quality = quality;
                    options.restartInterval = restart;
                    CompareOne(oracle::Compress(rgb, options),
                               std::string(picture.name) + " " + std::to_string(size.width) + "x" +
                                   std::to_string(size.height) + " q" + std::to_string(quality) + " restart " +
                                   std::to_string(restart),
                               tally);
                }
        }
    Report(layout.name, tally);
}

INSTANTIATE_TEST_SUITE_P(Layouts, EveryLayout,
                         testing::Values(Layout{"grey", 1, 1, 1}, Layout{"luma 1x1", 3, 1, 1},
                                         Layout{"luma 1x2", 3, 1, 2}, Layout{"luma 2x1", 3, 2, 1},
                                         Layout{"luma 2x2", 3, 2, 2}),
                         [](const testing::TestParamInfo<Layout>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p != '\0'; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p)))
                                     name += *p;
                             return name;
                         });

// The camera's own format at both of its sizes, over the whole quality range.
TEST(CameraFormat, AgreesWithLibjpegAt320x240And640x480)
{
    Tally tally;
    for (const Size& size : {Size{320, 240}, Size{640, 480}})
        for (const NamedPicture& picture : Pictures()) {
            const oracle::RgbPicture rgb = picture.make(size.width, size.height);
            for (int quality = 10; quality <= 100; quality += 15)
                for (int restart : {0, 1, size.width / 16}) {
                    oracle::EncodeOptions options;
                    options.quality = quality;
                    options.restartInterval = restart;
                    CompareOne(oracle::Compress(rgb, options),
                               std::string(picture.name) + " " + std::to_string(size.width) + " q" +
                                   std::to_string(quality) + " restart " + std::to_string(restart),
                               tally);
                }
        }
    Report("camera 2x1 320/640", tally);
}

TEST(CameraFormat, AgreesWithLibjpegOnTheCamerasOwnFrames)
{
    Tally tally;
    for (const char* name : {"chelsea_320x240_q75.jpg", "motorcycle_640x480_q75_rst1.jpg"})
        CompareOne(pictures::ReadDataFile(name), name, tally);
    Report("camera frames", tally);
}

// A scan may list the components in any order; the picture is the same. The
// coefficients are written again by our own writer, so every order holds the same data.
class ScanOrder : public testing::TestWithParam<Layout> {};

TEST_P(ScanOrder, DoesNotChangeThePicture)
{
    const Layout layout = GetParam();
    oracle::EncodeOptions options;
    options.lumaH = layout.lumaH;
    options.lumaV = layout.lumaV;
    const std::vector<uint8_t> original =
        oracle::Compress(pictures::Photo("chelsea_320x240_q75.jpg", 100, 75), options);
    for (Format format : {Format::Bgr24, Format::Uyvy}) {
        const OurDecode expected = oracle::DecodeOurs(original, format);
        ASSERT_EQ(expected.result, 0);
        for (const std::vector<int>& order : std::vector<std::vector<int>>{
                 {0, 1, 2}, {2, 1, 0}, {1, 0, 2}, {0, 2, 1}, {1, 2, 0}, {2, 0, 1}})
            for (int restart : {0, 1, 4}) {
                const OurDecode ours = oracle::DecodeOurs(oracle::Reencode(original, order, restart), format);
                ASSERT_EQ(ours.result, 0) << DecoderErrorName(ours.error) << " order " << order[0] << order[1]
                                          << order[2] << " restart " << restart;
                ASSERT_EQ(ours.frame, expected.frame)
                    << "order " << order[0] << order[1] << order[2] << " restart " << restart;
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ScanOrder,
                         testing::Values(Layout{"OneByOne", 3, 1, 1}, Layout{"OneByTwo", 3, 1, 2},
                                         Layout{"TwoByOne", 3, 2, 1}, Layout{"TwoByTwo", 3, 2, 2}),
                         [](const testing::TestParamInfo<Layout>& info) { return info.param.name; });

}  // namespace
