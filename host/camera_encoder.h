// The emulated camera's image source and compressor: a recognisable test pattern
// (colour bars, a moving ramp, the frame number) compressed with libjpeg-turbo in
// the camera's layout (luma 2x1, chroma 1x1, one scan Y, Cb, Cr).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // RGB, top row first
};

RgbImage RenderTestPattern(int width, int height, uint32_t frameNumber);

struct CameraJpegOptions {
    int quality = 75;
    int restartIntervalMcus = 0;  // 0: no restart markers
};

// Compresses in the camera's layout. Returns false with a message on failure.
bool EncodeCameraJpeg(const RgbImage& image, const CameraJpegOptions& options, std::vector<uint8_t>& jpeg,
                      std::string* error);

// As the camera does: lowers the quality step by step until the picture fits in maxBytes.
// The quality used is stored back into options.
bool EncodeToFit(const RgbImage& image, CameraJpegOptions& options, size_t maxBytes, std::vector<uint8_t>& jpeg,
                 std::string* error);

}  // namespace host
