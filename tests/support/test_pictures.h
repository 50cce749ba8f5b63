// Pictures for the decoder tests: synthetic ones that stress one thing each
// (smooth gradients, hard edges, noise) and real photographs from tests/data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg_oracle.h"

namespace pictures {

oracle::RgbPicture Gradient(int width, int height);
// Saturated colour bars and a checkerboard: hard edges in every channel.
oracle::RgbPicture Edges(int width, int height);
oracle::RgbPicture Noise(int width, int height, uint32_t seed);
// A photograph from tests/data, decoded by libjpeg and tiled or cropped to the size.
oracle::RgbPicture Photo(const std::string& name, int width, int height);

std::string DataPath(const std::string& name);
std::vector<uint8_t> ReadDataFile(const std::string& name);

}  // namespace pictures
