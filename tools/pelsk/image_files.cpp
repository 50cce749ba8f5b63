#include "tools/pelsk/image_files.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

std::string SystemError(const std::string& path)
{
    return path + ": " + std::strerror(errno);
}

// Closes on every path; a failed close (a full disk) is a failed write.
bool CloseFile(std::FILE* file, const std::string& path, std::string& error)
{
    if (std::fclose(file) != 0) {
        error = SystemError(path);
        return false;
    }
    return true;
}

}  // namespace

bool WriteRawFile(const std::string& path, const uint8_t* data, size_t size, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = SystemError(path);
        return false;
    }
    if (size != 0 && std::fwrite(data, 1, size, file) != size) {
        error = SystemError(path);
        std::fclose(file);
        return false;
    }
    return CloseFile(file, path, error);
}

bool WritePpmFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                  std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = SystemError(path);
        return false;
    }
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    if (std::fprintf(file, "P6\n%d %d\n255\n", width, height) < 0 || rgb.size() < size ||
        std::fwrite(rgb.data(), 1, size, file) != size) {
        error = rgb.size() < size ? path + ": picture buffer too small" : SystemError(path);
        std::fclose(file);
        return false;
    }
    return CloseFile(file, path, error);
}

bool WritePngFile(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb,
                  std::string& error)
{
    if (rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
        error = path + ": picture buffer too small";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = SystemError(path);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        error = path + ": cannot set up the PNG writer";
        return false;
    }
    // libpng reports its errors by longjmp; nothing with a destructor lives across it.
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        error = path + ": PNG write failed";
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rgb.data() + static_cast<size_t>(y) * width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return CloseFile(file, path, error);
}
