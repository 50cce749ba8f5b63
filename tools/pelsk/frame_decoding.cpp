#include "tools/pelsk/frame_decoding.h"

#include <climits>

#include "decoder/decoder.h"
#include "decoder/input.h"

Decoded DecodeLikeTheDriver(const uint8_t* data, size_t size, bool uyvy)
{
    Decoded result;
    DecoderContext& d = g_Decoder;
    MemorySourceInit(&d.memorySource, data, static_cast<int32_t>(size > INT32_MAX ? INT32_MAX : size));
    DecoderStart(&d.memorySource);

    const uint64_t bytesPerPixel = uyvy ? 2 : 3;
    const uint64_t frameBytes =
        static_cast<uint64_t>(GetImageWidth()) * static_cast<uint64_t>(GetImageHeight()) * bytesPerPixel;
    result.frame.assign(frameBytes == 0 ? 1 : frameBytes, 0);
    const uint32_t destLength = static_cast<uint32_t>(frameBytes);
    const int32_t failed = uyvy ? DecodeFrameToUyvy(&result.width, &result.height, result.frame.data(), destLength)
                                : DecodeFrameToBgr24(&result.width, &result.height, result.frame.data(), destLength);
    result.ok = failed == 0;
    result.error = GetDecoderError();
    result.components = d.compsInFrame;
    result.lumaH = d.compHSamp[0];
    result.lumaV = d.compVSamp[0];
    DecoderFreeAll();
    result.frame.resize(frameBytes);
    return result;
}

std::vector<uint8_t> Bgr24ToRgbTopDown(const std::vector<uint8_t>& bgr, int width, int height)
{
    std::vector<uint8_t> rgb(bgr.size());
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = bgr.data() + static_cast<size_t>(height - 1 - y) * stride;
        uint8_t* to = rgb.data() + static_cast<size_t>(y) * stride;
        for (size_t x = 0; x < stride; x += 3) {
            to[x] = from[x + 2];
            to[x + 1] = from[x + 1];
            to[x + 2] = from[x];
        }
    }
    return rgb;
}
