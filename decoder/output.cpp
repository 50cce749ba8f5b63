#include "decoder/output.h"

#include "decoder/coefficients.h"
#include "decoder/decoder_memory.h"
#include "decoder/geometry.h"
#include "decoder/idct.h"
#include "decoder/input.h"
#include "decoder/kernels.h"
#include "decoder/markers.h"

namespace {

// Clamp by look-up: luma plus any colour-table offset lies in -256..511.
struct RangeLimitTable {
    uint8_t v[768];
    constexpr RangeLimitTable() : v()
    {
        for (int32_t i = 0; i < 768; ++i)
            v[i] = static_cast<uint8_t>(i < 256 ? 0 : (i > 511 ? 255 : i - 256));
    }
};
constexpr RangeLimitTable kRangeLimit;

// Chroma of a grey picture: one row of neutral samples.
constexpr uint8_t kNeutralChroma[8] = {128, 128, 128, 128, 128, 128, 128, 128};

inline void PutBgr(uint8_t* out, int32_t y, int32_t blue, int32_t green, int32_t red)
{
    const uint8_t* limit = kRangeLimit.v + 256;
    out[0] = limit[y + blue];
    out[1] = limit[y + green];
    out[2] = limit[y + red];
}

// The chroma rows of line L of one MCU; a grey picture reads neutral chroma.
inline void ChromaRows(const LineLayout* layout, const uint8_t* mcu, int32_t L, const uint8_t** cb,
                       const uint8_t** cr)
{
    if (layout->cbOffset < 0) {
        *cb = kNeutralChroma;
        *cr = kNeutralChroma;
        return;
    }
    // Chroma is one block per MCU, replicated down a two-block-high MCU.
    const int32_t chromaLine = 8 * (L >> (layout->lumaV - 1));
    *cb = mcu + layout->cbOffset + chromaLine;
    *cr = mcu + layout->crOffset + chromaLine;
}

enum class LineOrder { BottomUp, TopDown };

using LineWriter = void (*)(const LineLayout* layout, int32_t L, uint8_t* line);

void CameraWriterBgr24(const LineLayout*, int32_t L, uint8_t* line) { g_DecoderKernels.rowBgr24(L, line); }
void CameraWriterUyvy(const LineLayout*, int32_t L, uint8_t* line) { g_DecoderKernels.rowUyvy(L, line); }

int32_t DecodeLines(uint8_t* dest, int32_t bytesPerPixel, LineOrder order, LineWriter cameraWriter,
                    LineWriter layoutWriter)
{
    DecoderContext& d = g_Decoder;
    LineLayout layout;
    if (d.errorCode != 0 || !d.readyFlag)
        return DECODE_FAILED;
    // Frame setup and the scan check admit only layouts the writers know; this is the last guard.
    if (!ComputeLineLayout(&layout)) {
        LatchError(DECERR_BAD_SAMPLING);
        return DECODE_FAILED;
    }
    const LineWriter writer = layout.cameraLayout ? cameraWriter : layoutWriter;

    // Offsets instead of pointers: nothing is ever formed outside the destination.
    const uintptr_t stride = static_cast<uintptr_t>(d.imageWidth) * static_cast<uintptr_t>(bytesPerPixel);
    const int32_t height = d.imageHeight;
    for (int32_t line = 0; line < height; ++line) {
        if (d.errorCode != 0 || !d.readyFlag)
            return DECODE_FAILED;
        if (d.mcuLinesLeft == 0) {
            if (!DecodeMcuRow())
                return DECODE_FAILED;
            if (d.totalLinesLeft <= d.maxMcuYSize) {
                FinishScan();
                if (d.errorCode != 0)
                    return DECODE_FAILED;
            }
            TransformMcuRow();
            d.mcuLinesLeft = d.maxMcuYSize;
        }
        const uintptr_t row = order == LineOrder::BottomUp ? static_cast<uintptr_t>(height - 1 - line)
                                                           : static_cast<uintptr_t>(line);
        writer(&layout, d.maxMcuYSize - d.mcuLinesLeft, dest + row * stride);
        --d.mcuLinesLeft;
        --d.totalLinesLeft;
    }
    return DECODE_OK;
}

// The frame header's picture must fit the caller's buffer before anything is written.
int32_t DestinationHolds(const uint8_t* dest, uint32_t destLength, uint32_t bytesPerPixel)
{
    const DecoderContext& d = g_Decoder;
    if (d.errorCode != 0)
        return 1;  // BeginDecoding refuses it with the code already latched
    const uint64_t needed = static_cast<uint64_t>(d.imageWidth < 0 ? 0 : d.imageWidth) *
                            static_cast<uint64_t>(d.imageHeight < 0 ? 0 : d.imageHeight) * bytesPerPixel;
    if (dest == nullptr || needed > destLength) {
        LatchError(DECERR_UNSUPPORTED_FRAME);
        return 0;
    }
    return 1;
}

int32_t DecodeFrame(int32_t* outWidth, int32_t* outHeight, uint8_t* dest, uint32_t destLength,
                    uint32_t bytesPerPixel, int32_t (*lines)(uint8_t*))
{
    if (outWidth != nullptr)
        *outWidth = GetImageWidth();
    if (outHeight != nullptr)
        *outHeight = GetImageHeight();
    if (!DestinationHolds(dest, destLength, bytesPerPixel))
        return 1;
    if (BeginDecoding() != DECODE_OK)
        return 1;
    if (lines(dest) == DECODE_FAILED)
        return 1;
    return GetDecoderError() != 0 ? 1 : 0;
}

}  // namespace

int32_t ClampSample(int32_t x)
{
    return x < 0 ? 0 : (x > 255 ? 255 : x);
}

void WriteRowBgr24(uint8_t* line)
{
    g_DecoderKernels.rowBgr24(g_Decoder.maxMcuYSize - g_Decoder.mcuLinesLeft, line);
}

void WriteRowUyvy(uint8_t* line)
{
    g_DecoderKernels.rowUyvy(g_Decoder.maxMcuYSize - g_Decoder.mcuLinesLeft, line);
}

void CameraRowBgr24Reference(int32_t L, uint8_t* line)
{
    const DecoderContext& d = g_Decoder;
    const int32_t* cbToBlue = d.cbToBlue;
    const int32_t* crToRed = d.crToRed;
    const int32_t* cbToGreen = d.cbToGreen;
    const int32_t* crToGreen = d.crToGreen;
    const uint8_t* mcu = d.sampleBuf;
    for (int32_t m = 0; m < d.mcusPerRow; ++m, mcu += 256) {
        const uint8_t* cbRow = mcu + 128 + 8 * L;
        const uint8_t* crRow = mcu + 192 + 8 * L;
        for (int32_t h = 0; h < 2; ++h) {
            const uint8_t* yRow = mcu + 64 * h + 8 * L;
            for (int32_t j = 0; j < 4; ++j) {
                const int32_t cb = cbRow[4 * h + j];
                const int32_t cr = crRow[4 * h + j];
                const int32_t blue = cbToBlue[cb];
                const int32_t green = (cbToGreen[cb] + crToGreen[cr]) >> 16;
                const int32_t red = crToRed[cr];
                PutBgr(line, yRow[2 * j], blue, green, red);
                PutBgr(line + 3, yRow[2 * j + 1], blue, green, red);
                line += 6;
            }
        }
    }
}

void CameraRowUyvyReference(int32_t L, uint8_t* line)
{
    const DecoderContext& d = g_Decoder;
    const uint8_t* mcu = d.sampleBuf;
    for (int32_t m = 0; m < d.mcusPerRow; ++m, mcu += 256) {
        const uint8_t* cbRow = mcu + 128 + 8 * L;
        const uint8_t* crRow = mcu + 192 + 8 * L;
        for (int32_t h = 0; h < 2; ++h) {
            const uint8_t* yRow = mcu + 64 * h + 8 * L;
            for (int32_t j = 0; j < 4; ++j) {
                line[0] = cbRow[4 * h + j];
                line[1] = yRow[2 * j];
                line[2] = crRow[4 * h + j];
                line[3] = yRow[2 * j + 1];
                line += 4;
            }
        }
    }
}

namespace {

// One chroma pair and its two pixels; the clamp is one look-up whose base the
// pair's offset has already moved.
inline void PutPair(const DecoderContext& d, uint32_t cb, uint32_t cr, const uint8_t* y, uint8_t* out)
{
    const uint8_t* limit = kRangeLimit.v + 256;
    const uint8_t* blue = limit + d.cbToBlue[cb];
    const uint8_t* green = limit + ((d.cbToGreen[cb] + d.crToGreen[cr]) >> 16);
    const uint8_t* red = limit + d.crToRed[cr];
    const uint32_t y0 = y[0];
    const uint32_t y1 = y[1];
    out[0] = blue[y0];
    out[1] = green[y0];
    out[2] = red[y0];
    out[3] = blue[y1];
    out[4] = green[y1];
    out[5] = red[y1];
}

}  // namespace

void CameraRowBgr24Fast(int32_t L, uint8_t* line)
{
    const DecoderContext& d = g_Decoder;
    const uint8_t* mcu = d.sampleBuf + 8 * L;
    for (int32_t m = d.mcusPerRow; m > 0; --m, mcu += 256, line += 48) {
        const uint8_t* cb = mcu + 128;
        const uint8_t* cr = mcu + 192;
        PutPair(d, cb[0], cr[0], mcu + 0, line + 0);
        PutPair(d, cb[1], cr[1], mcu + 2, line + 6);
        PutPair(d, cb[2], cr[2], mcu + 4, line + 12);
        PutPair(d, cb[3], cr[3], mcu + 6, line + 18);
        PutPair(d, cb[4], cr[4], mcu + 64, line + 24);
        PutPair(d, cb[5], cr[5], mcu + 66, line + 30);
        PutPair(d, cb[6], cr[6], mcu + 68, line + 36);
        PutPair(d, cb[7], cr[7], mcu + 70, line + 42);
    }
}

// Each chroma pair sits between its two luma samples: Cb Y0 Cr Y1. Two byte
// interleaves per MCU line; 16-byte vectors only, which every SSE2 target has.
void CameraRowUyvyFast(int32_t L, uint8_t* line)
{
    using Bytes = uint8_t __attribute__((vector_size(16)));
    using Halves = uint64_t __attribute__((vector_size(16)));
    const uint8_t* mcu = g_Decoder.sampleBuf + 8 * L;
    for (int32_t m = g_Decoder.mcusPerRow; m > 0; --m, mcu += 256, line += 32) {
        uint64_t y0, y1, cb, cr;
        __builtin_memcpy(&y0, mcu, 8);
        __builtin_memcpy(&y1, mcu + 64, 8);
        __builtin_memcpy(&cb, mcu + 128, 8);
        __builtin_memcpy(&cr, mcu + 192, 8);
        const Bytes luma = reinterpret_cast<Bytes>(Halves{y0, y1});
        const Bytes cbs = reinterpret_cast<Bytes>(Halves{cb, 0});
        const Bytes crs = reinterpret_cast<Bytes>(Halves{cr, 0});
        const Bytes chroma = __builtin_shufflevector(cbs, crs, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const Bytes first = __builtin_shufflevector(chroma, luma, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const Bytes second =
            __builtin_shufflevector(chroma, luma, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
        __builtin_memcpy(line, &first, 16);
        __builtin_memcpy(line + 16, &second, 16);
    }
}

int32_t ComputeLineLayout(LineLayout* layout)
{
    const DecoderContext& d = g_Decoder;
    LineLayout l = {};
    l.width = d.imageWidth;
    l.cbOffset = -1;
    l.crOffset = -1;
    if (d.compsInFrame == 1) {
        l.lumaH = 1;
        l.lumaV = 1;
    } else {
        l.lumaH = d.compHSamp[0];
        l.lumaV = d.compVSamp[0];
    }
    if (l.lumaH < 1 || l.lumaH > 2 || l.lumaV < 1 || l.lumaV > 2 || d.mcuBlockCount != d.blocksPerMcu ||
        d.mcuBlockCount > MAX_MCU_BLOCKS)
        return 0;
    l.mcuWidth = 8 * l.lumaH;
    l.mcuBytes = 64 * d.blocksPerMcu;

    // Blocks sit in the MCU in scan order; luma blocks left to right, then top to bottom.
    int32_t lumaBlocks = 0;
    for (int32_t b = 0; b < d.mcuBlockCount; ++b) {
        const int32_t c = d.mcuOrg[b];
        if (c == 0 && lumaBlocks < 4)
            l.lumaOffset[lumaBlocks++] = 64 * b;
        else if (c == 1 && d.compsInFrame == 3)
            l.cbOffset = 64 * b;
        else if (c == 2 && d.compsInFrame == 3)
            l.crOffset = 64 * b;
        else
            return 0;
    }
    if (lumaBlocks != l.lumaH * l.lumaV || (d.compsInFrame == 3 && (l.cbOffset < 0 || l.crOffset < 0)))
        return 0;

    l.cameraLayout = d.compsInFrame == 3 && l.lumaH == 2 && l.lumaV == 1 && l.lumaOffset[0] == 0 &&
                     l.lumaOffset[1] == 64 && l.cbOffset == 128 && l.crOffset == 192 &&
                     d.mcusPerRow * 16 == d.imageWidth;
    *layout = l;
    return 1;
}

namespace {

// Walks one line of any accepted layout, up to the picture's width: for each run of at
// most 8 pixels of one luma block, hands the luma row, the chroma rows, the chroma
// index of the run's first pixel and the run's length to emit.
template <typename Emit>
void WalkLayoutRow(const LineLayout* layout, int32_t L, Emit emit)
{
    const DecoderContext& d = g_Decoder;
    const int32_t lumaBase = (L >> 3) * layout->lumaH;
    const int32_t lumaLine = 8 * (L & 7);
    int32_t left = layout->width;
    for (const uint8_t* mcu = d.sampleBuf; left > 0; mcu += layout->mcuBytes) {
        const uint8_t* cb;
        const uint8_t* cr;
        ChromaRows(layout, mcu, L, &cb, &cr);
        for (int32_t bx = 0; bx < layout->lumaH && left > 0; ++bx) {
            const uint8_t* y = mcu + layout->lumaOffset[lumaBase + bx] + lumaLine;
            const int32_t n = left < 8 ? left : 8;
            emit(y, cb, cr, 8 * bx, n);
            left -= n;
        }
    }
}

}  // namespace

void WriteLayoutRowBgr24(const LineLayout* layout, int32_t L, uint8_t* line)
{
    const DecoderContext& d = g_Decoder;
    const int32_t chromaShift = layout->lumaH - 1;
    WalkLayoutRow(layout, L, [&](const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int32_t x0, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            const int32_t cx = (x0 + i) >> chromaShift;
            const int32_t cbv = cb[cx];
            const int32_t crv = cr[cx];
            PutBgr(line, y[i], d.cbToBlue[cbv], (d.cbToGreen[cbv] + d.crToGreen[crv]) >> 16, d.crToRed[crv]);
            line += 3;
        }
    });
}

void WriteLayoutRowUyvy(const LineLayout* layout, int32_t L, uint8_t* line)
{
    const int32_t chromaShift = layout->lumaH - 1;
    WalkLayoutRow(layout, L, [&](const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int32_t x0, int32_t n) {
        // A pair takes the chroma of its first pixel; an odd last pixel gets Cb and its luma.
        for (int32_t i = 0; i < n; i += 2) {
            const int32_t cx = (x0 + i) >> chromaShift;
            line[0] = cb[cx];
            line[1] = y[i];
            if (i + 1 < n) {
                line[2] = cr[cx];
                line[3] = y[i + 1];
                line += 4;
            } else {
                line += 2;
            }
        }
    });
}

int32_t DecodeLinesBgr24(uint8_t* dest)
{
    return DecodeLines(dest, 3, LineOrder::BottomUp, CameraWriterBgr24, WriteLayoutRowBgr24);
}

int32_t DecodeLinesUyvy(uint8_t* dest)
{
    return DecodeLines(dest, 2, LineOrder::TopDown, CameraWriterUyvy, WriteLayoutRowUyvy);
}

int32_t DecodeFrameToBgr24(int32_t* outWidth, int32_t* outHeight, uint8_t* dest, uint32_t destLength)
{
    return DecodeFrame(outWidth, outHeight, dest, destLength, 3, DecodeLinesBgr24);
}

int32_t DecodeFrameToUyvy(int32_t* outWidth, int32_t* outHeight, uint8_t* dest, uint32_t destLength)
{
    return DecodeFrame(outWidth, outHeight, dest, destLength, 2, DecodeLinesUyvy);
}
