// Running the driver's decoder on one picture in memory, as the raw-frame callback
// does (MemorySourceInit, DecoderStart, a decode entry, DecoderFreeAll), into a
// frame buffer sized by the picture's own header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Decoded {
    int32_t width = 0, height = 0;
    int32_t components = 0, lumaH = 0, lumaV = 0;
    int32_t error = 0;
    bool ok = false;
    std::vector<uint8_t> frame;  // as the driver delivers it
};

Decoded DecodeLikeTheDriver(const uint8_t* data, size_t size, bool uyvy);

// A BGR24 frame (bottom-up) as RGB with the top row first, for PPM and PNG.
std::vector<uint8_t> Bgr24ToRgbTopDown(const std::vector<uint8_t>& bgr, int width, int height);
