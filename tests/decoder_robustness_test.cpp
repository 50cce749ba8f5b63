// Damaged pictures: truncated and bit-flipped variants of good ones, decoded into
// a destination of the good picture's size with canary bytes behind it. Nothing
// may crash, trip a sanitizer, write past the destination or keep a pool block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "host/kernel_pool.h"
#include "support/jpeg_oracle.h"
#include "support/test_pictures.h"

namespace {

using oracle::Format;

struct Base {
    const char* name;
    std::vector<uint8_t> jpeg;
    uint32_t bgrLength;
};

std::vector<Base> Bases()
{
    std::vector<Base> bases;
    auto add = [&](const char* name, const oracle::RgbPicture& picture, oracle::EncodeOptions options) {
        bases.push_back({name, oracle::Compress(picture, options),
                         static_cast<uint32_t>(picture.width * picture.height * 3)});
    };
    oracle::EncodeOptions camera;
    camera.restartInterval = 20;
    add("camera", pictures::Photo("chelsea_320x240_q75.jpg", 320, 240), camera);
    oracle::EncodeOptions grey;
    grey.components = 1;
    add("grey", pictures::Edges(100, 75), grey);
    oracle::EncodeOptions twoByTwo;
    twoByTwo.lumaH = twoByTwo.lumaV = 2;
    twoByTwo.restartInterval = 2;
    add("2x2", pictures::Noise(33, 17, 5), twoByTwo);
    oracle::EncodeOptions oneByOne;
    oneByOne.lumaH = 1;
    oneByOne.quality = 100;
    add("1x1", pictures::Gradient(17, 9), oneByOne);
    oracle::EncodeOptions oneByTwo;
    oneByTwo.lumaH = 1;
    oneByTwo.lumaV = 2;
    add("1x2", pictures::Photo("chelsea_320x240_q75.jpg", 48, 40), oneByTwo);
    return bases;
}

uint32_t Next(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

void DecodeDamaged(const Base& base, const std::vector<uint8_t>& jpeg, const std::string& what)
{
    if (jpeg.empty())
        return;  // the source refuses an empty picture before the decoder sees it
    for (Format format : {Format::Bgr24, Format::Uyvy}) {
        const uint32_t length = format == Format::Bgr24 ? base.bgrLength : base.bgrLength / 3 * 2;
        const oracle::OurDecode ours = oracle::DecodeOurs(jpeg, format, length);
        ASSERT_TRUE(ours.canaryIntact) << what << ": write past the destination";
        ASSERT_TRUE(ours.result == 0 || ours.result == 1) << what;
        if (ours.result == 0)
            ASSERT_EQ(ours.error, 0) << what << ": success reported with an error latched";
        ASSERT_EQ(host::PoolGetCounts().outstandingBlocks, 0u) << what;
    }
}

TEST(DamagedPictures, TruncatedAtAnyLength)
{
    for (const Base& base : Bases()) {
        ASSERT_FALSE(base.jpeg.empty());
        const size_t size = base.jpeg.size();
        std::vector<size_t> cuts;
        for (size_t n = 0; n < 700 && n < size; n += (n < 64 ? 1 : 23))
            cuts.push_back(n);  // every cut inside the headers, then sparser
        for (size_t n = 700; n < size; n += size / 40 + 1)
            cuts.push_back(n);
        for (size_t n : cuts) {
            const std::vector<uint8_t> cut(base.jpeg.begin(), base.jpeg.begin() + static_cast<std::ptrdiff_t>(n));
            DecodeDamaged(base, cut, std::string(base.name) + " cut at " + std::to_string(n));
        }
    }
}

TEST(DamagedPictures, WithFlippedBits)
{
    uint32_t state = 20240611;
    for (const Base& base : Bases()) {
        for (int variant = 0; variant < 300; ++variant) {
            std::vector<uint8_t> jpeg = base.jpeg;
            const int flips = 1 + static_cast<int>(Next(state) % 4);
            // Half the variants are damaged in the headers, where the checks are.
            const size_t span = variant % 2 == 0 ? std::min<size_t>(jpeg.size(), 700) : jpeg.size();
            for (int f = 0; f < flips; ++f)
                jpeg[Next(state) % span] ^= static_cast<uint8_t>(1u << (Next(state) % 8));
            DecodeDamaged(base, jpeg, std::string(base.name) + " variant " + std::to_string(variant));
        }
    }
}

TEST(DamagedPictures, WithRandomBytesOverwritten)
{
    uint32_t state = 99;
    for (const Base& base : Bases()) {
        for (int variant = 0; variant < 100; ++variant) {
            std::vector<uint8_t> jpeg = base.jpeg;
            const size_t at = Next(state) % jpeg.size();
            const size_t run = 1 + Next(state) % 16;
            for (size_t i = at; i < at + run && i < jpeg.size(); ++i)
                jpeg[i] = static_cast<uint8_t>(Next(state));
            DecodeDamaged(base, jpeg, std::string(base.name) + " overwrite " + std::to_string(variant));
        }
    }
}

}  // namespace
