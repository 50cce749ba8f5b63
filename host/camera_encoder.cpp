#include "host/camera_encoder.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace host {
namespace {

// 3x5 digits, one row per byte, bit 2 = left column.
constexpr uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

constexpr uint8_t kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                 {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};

void DrawNumber(RgbImage& image, uint32_t number, int x0, int y0, int scale)
{
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%u", number);
    for (int d = 0; d < length; ++d) {
        const uint8_t* glyph = kDigits[text[d] - '0'];
        for (int row = 0; row < 5 * scale; ++row)
            for (int col = 0; col < 3 * scale; ++col) {
                const int x = x0 + d * 4 * scale + col, y = y0 + row;
                if (x >= image.width || y >= image.height)
                    continue;
                const bool on = (glyph[row / scale] >> (2 - col / scale)) & 1;
                uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 3];
                p[0] = p[1] = p[2] = on ? 255 : 0;
            }
    }
}

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    cinfo->err->format_message(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

}  // namespace

RgbImage RenderTestPattern(int width, int height, uint32_t frameNumber)
{
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &image.pixels[(static_cast<size_t>(y) * width + x) * 3];
            if (y < height * 2 / 3) {
                const uint8_t* bar = kBars[x * 8 / width];
                p[0] = bar[0], p[1] = bar[1], p[2] = bar[2];
            } else {
                // A ramp that moves one step per frame, so motion shows.
                const uint8_t v = static_cast<uint8_t>((x + frameNumber * 4) * 255 / width);
                p[0] = v, p[1] = static_cast<uint8_t>(255 - v), p[2] = static_cast<uint8_t>(y * 255 / height);
            }
        }
    const int scale = width >= 160 ? width / 80 : 1;
    DrawNumber(image, frameNumber, 8 * scale / 3, height * 2 / 3 + 4, scale);
    return image;
}

bool EncodeCameraJpeg(const RgbImage& image, const CameraJpegOptions& options, std::vector<uint8_t>& jpeg,
                      std::string* error)
{
    jpeg_compress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        if (error)
            *error = std::string("JPEG compression failed: ") + errors.message;
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 1;
    cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
    cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    cinfo.restart_interval = static_cast<unsigned int>(options.restartIntervalMcus);
    cinfo.write_JFIF_header = FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(image.width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&image.pixels[cinfo.next_scanline * stride]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg.assign(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return true;
}

bool EncodeToFit(const RgbImage& image, CameraJpegOptions& options, size_t maxBytes, std::vector<uint8_t>& jpeg,
                 std::string* error)
{
    for (;;) {
        if (!EncodeCameraJpeg(image, options, jpeg, error))
            return false;
        if (jpeg.size() <= maxBytes)
            return true;
        if (options.quality <= 5) {
            if (error)
                *error = "picture does not fit in " + std::to_string(maxBytes) + " bytes even at quality 5";
            return false;
        }
        options.quality -= 5;
    }
}

}  // namespace host
