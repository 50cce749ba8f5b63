#include "decoder/colour_tables.h"

// JFIF YCbCr to RGB factors in 16.16 fixed point.
namespace {
constexpr int32_t FIX_1_402 = 91882;
constexpr int32_t FIX_1_772 = 116130;
constexpr int32_t FIX_0_34414 = 22554;
constexpr int32_t FIX_0_71414 = 46802;
constexpr int32_t ONE_HALF = 32768;
}  // namespace

void BuildColourTables()
{
    // Blue and red hold final offsets; the green halves stay unshifted so the
    // writer shifts their sum once (the rounding half rides in cbToGreen).
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t x = i - 128;
        g_Decoder.cbToBlue[i] = (FIX_1_772 * x + ONE_HALF) >> 16;
        g_Decoder.crToRed[i] = (FIX_1_402 * x + ONE_HALF) >> 16;
        g_Decoder.cbToGreen[i] = -FIX_0_34414 * x + ONE_HALF;
        g_Decoder.crToGreen[i] = -FIX_0_71414 * x;
    }
}
