#include "test_pictures.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pictures {

namespace {

oracle::RgbPicture Blank(int width, int height)
{
    oracle::RgbPicture picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
    return picture;
}

}  // namespace

std::string DataPath(const std::string& name)
{
    return std::string(PELSK_TEST_DATA_DIR) + "/" + name;
}

std::vector<uint8_t> ReadDataFile(const std::string& name)
{
    std::ifstream in(DataPath(name), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read test data " + DataPath(name));
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

oracle::RgbPicture Gradient(int width, int height)
{
    oracle::RgbPicture picture = Blank(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &picture.rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(width > 1 ? 255 * x / (width - 1) : 128);
            p[1] = static_cast<uint8_t>(height > 1 ? 255 * y / (height - 1) : 128);
            p[2] = static_cast<uint8_t>((x + y) * 255 / (width + height));
        }
    return picture;
}

oracle::RgbPicture Edges(int width, int height)
{
    static const uint8_t bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                       {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    oracle::RgbPicture picture = Blank(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &picture.rgb[(static_cast<size_t>(y) * width + x) * 3];
            if (y < height / 2) {
                const uint8_t* bar = bars[(x * 8 / (width > 0 ? width : 1)) & 7];
                p[0] = bar[0];
                p[1] = bar[1];
                p[2] = bar[2];
            } else {
                const uint8_t v = ((x / 3 + y / 3) & 1) ? 255 : 0;
                p[0] = v;
                p[1] = static_cast<uint8_t>(255 - v);
                p[2] = v;
            }
        }
    return picture;
}

oracle::RgbPicture Noise(int width, int height, uint32_t seed)
{
    oracle::RgbPicture picture = Blank(width, height);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& b : picture.rgb) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<uint8_t>(state >> 24);
    }
    return picture;
}

oracle::RgbPicture Photo(const std::string& name, int width, int height)
{
    const oracle::DecodedPicture source = oracle::DecompressRgb(ReadDataFile(name));
    if (!source.error.empty() || source.channels != 3)
        throw std::runtime_error("cannot decode test photo " + name + ": " + source.error);
    oracle::RgbPicture picture = Blank(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* from =
                &source.pixels[(static_cast<size_t>(y % source.height) * source.width + x % source.width) * 3];
            uint8_t* to = &picture.rgb[(static_cast<size_t>(y) * width + x) * 3];
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    return picture;
}

}  // namespace pictures
