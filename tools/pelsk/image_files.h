// Writing decoded pictures: binary PPM and PNG, both RGB with the top row first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rgb holds width * height * 3 bytes, top row first. On failure the message says why.
bool WritePpmFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                  std::string& error);
bool WritePngFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                  std::string& error);
// Any bytes, as they are.
bool WriteRawFile(const std::string& path, const uint8_t* data, size_t size, std::string& error);
