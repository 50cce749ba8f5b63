#include "decoder/geometry.h"

#include "decoder/colour_tables.h"
#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/huffman.h"
#include "decoder/input.h"
#include "decoder/markers.h"

namespace {

// Blocks, MCU width and MCU height of the accepted three-component layouts,
// indexed by the luma factors (h - 1) * 2 + (v - 1).
struct McuShape {
    int32_t blocks;
    int32_t width;
    int32_t height;
};
constexpr McuShape kThreeComponentShapes[4] = {
    {3, 8, 8},    // 1 x 1
    {4, 8, 16},   // 1 x 2
    {4, 16, 8},   // 2 x 1
    {6, 16, 16},  // 2 x 2
};

// The one scan decoded must hold the whole picture: every frame component once.
// Anything else would leave components undecoded or overrun mcuOrg.
int32_t ScanCoversFrame()
{
    DecoderContext& d = g_Decoder;
    if (d.compsInScan != d.compsInFrame)
        return 0;
    for (int32_t i = 0; i < d.compsInScan; ++i) {
        if (d.scanCompList[i] < 0 || d.scanCompList[i] >= d.compsInFrame)
            return 0;
        for (int32_t j = 0; j < i; ++j)
            if (d.scanCompList[j] == d.scanCompList[i])
                return 0;
    }
    return 1;
}

}  // namespace

int32_t SetUpFrame()
{
    DecoderContext& d = g_Decoder;

    // Only the first scan is decoded, and a progressive one holds no whole picture.
    if (d.progressive) {
        LatchError(DECERR_UNSUPPORTED_FRAME);
        return 0;
    }

    if (d.compsInFrame == 1) {
        // The factors are otherwise ignored, but the scan geometry divides by this one.
        if (d.compHSamp[0] == 0) {
            LatchError(DECERR_BAD_SAMPLING);
            return 0;
        }
        d.blocksPerMcu = 1;
        d.maxMcuXSize = 8;
        d.maxMcuYSize = 8;
    } else if (d.compsInFrame != 3) {
        LatchError(DECERR_BAD_COMPONENT_COUNT);
        return 0;
    } else {
        const int32_t h = d.compHSamp[0];
        const int32_t v = d.compVSamp[0];
        const bool chromaPlain =
            d.compHSamp[1] == 1 && d.compVSamp[1] == 1 && d.compHSamp[2] == 1 && d.compVSamp[2] == 1;
        if (!chromaPlain || h < 1 || h > 2 || v < 1 || v > 2) {
            LatchError(DECERR_BAD_SAMPLING);
            return 0;
        }
        const McuShape& shape = kThreeComponentShapes[(h - 1) * 2 + (v - 1)];
        d.blocksPerMcu = shape.blocks;
        d.maxMcuXSize = shape.width;
        d.maxMcuYSize = shape.height;
    }

    d.mcusPerRow = (d.imageWidth + d.maxMcuXSize - 1) / d.maxMcuXSize;
    d.blocksPerMcuRow = d.mcusPerRow * d.blocksPerMcu;
    if (d.blocksPerMcuRow > MAX_BLOCKS_PER_MCU_ROW) {
        LatchError(DECERR_ROW_TOO_WIDE);
        return 0;
    }

    if (d.coeffStore == nullptr) {
        d.coeffStore = static_cast<int16_t*>(AllocBlock(d.blocksPerMcuRow * 128 + 8));
        if (d.coeffStore == nullptr)
            return 0;
    }
    for (int32_t i = 0; i < d.blocksPerMcuRow; ++i) {
        d.blockPtr[i] = d.coeffStore + 64 * i;
        d.blockMaxZag[i] = 64;
    }

    if (d.sampleBuf == nullptr) {
        uint8_t* block = static_cast<uint8_t*>(AllocBlock(d.blocksPerMcuRow * 64 + 8));
        if (block == nullptr)
            return 0;
        const uintptr_t aligned = (reinterpret_cast<uintptr_t>(block) + 7) & ~static_cast<uintptr_t>(7);
        d.sampleBuf = reinterpret_cast<uint8_t*>(aligned);
    }

    d.mcuLinesLeft = 0;
    d.totalLinesLeft = d.imageHeight;
    BuildColourTables();
    return 1;
}

void ComputeScanGeometry()
{
    DecoderContext& d = g_Decoder;
    const int32_t comps = d.compsInFrame < MAX_COMPONENTS ? d.compsInFrame : MAX_COMPONENTS;

    int32_t maxH = 0;
    for (int32_t i = 0; i < comps; ++i)
        if (d.compHSamp[i] > maxH)
            maxH = d.compHSamp[i];
    if (maxH == 0)
        return;  // refused by SetUpFrame; nothing sensible to compute

    for (int32_t i = 0; i < comps; ++i)
        d.compHBlocks[i] = ((d.compHSamp[i] * d.imageWidth + maxH - 1) / maxH + 7) / 8;

    if (d.compsInScan == 1) {
        const int32_t c = d.scanCompList[0];
        d.mcuOrg[0] = c;
        d.mcuBlockCount = 1;
        d.scanMcusPerRow = d.compHBlocks[c];
        return;
    }

    d.scanMcusPerRow = ((d.imageWidth + 7) / 8 + maxH - 1) / maxH;
    int32_t count = 0;
    for (int32_t i = 0; i < d.compsInScan; ++i) {
        const int32_t c = d.scanCompList[i];
        const int32_t blocks = d.compHSamp[c] * d.compVSamp[c];
        // Bounded so that a malformed scan can never write past mcuOrg.
        for (int32_t b = 0; b < blocks && count < MAX_MCU_BLOCKS; ++b)
            d.mcuOrg[count++] = c;
    }
    d.mcuBlockCount = count;
}

int32_t StartScan()
{
    DecoderContext& d = g_Decoder;
    if (!ReadScanHeader())
        return 0;
    if (!ScanCoversFrame()) {
        LatchError(DECERR_SOS_BAD_COMPONENT);
        return 0;
    }
    ComputeScanGeometry();

    // A failure here is latched; the line loop then fails the frame before the first MCU row.
    PrepareHuffmanTables();
    CheckQuantTables();

    for (int32_t i = 0; i < d.compsInFrame; ++i)
        d.lastDcVal[i] = 0;
    if (d.restartInterval != 0) {
        d.restartsLeft = d.restartInterval;
        d.nextRestartNum = 0;
    }
    PrimeCodedBits();
    return 1;
}

int32_t BeginDecoding()
{
    DecoderContext& d = g_Decoder;
    if (d.readyFlag)
        return DECODE_OK;
    if (d.errorCode != 0)
        return DECODE_FAILED;
    if (!SetUpFrame())
        return DECODE_FAILED;
    if (!StartScan())
        return DECODE_FAILED;
    d.readyFlag = 1;
    return DECODE_OK;
}
