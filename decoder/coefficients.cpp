#include "decoder/coefficients.h"

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/huffman.h"
#include "decoder/input.h"

const uint8_t ZIGZAG_ORDER[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

namespace {

// Largest magnitude category the bit reader and ExtendMagnitude can serve.
constexpr int32_t MAX_MAGNITUDE_BITS = 16;

// What one block of an MCU decodes with, resolved once per MCU row.
struct BlockTables {
    const uint8_t* dc;
    const uint8_t* ac;
    const int16_t* quant;
    int32_t component;
};

inline int16_t Keep16(uint32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

inline void ClearZag(int16_t* coef, int32_t from, int32_t to)
{
    for (int32_t p = from; p < to; ++p)
        coef[ZIGZAG_ORDER[p]] = 0;
}

// Selectors come from the stream unchecked; none may index past its table array.
int32_t ResolveTables(BlockTables* tables)
{
    const DecoderContext& d = g_Decoder;
    if (d.mcuBlockCount < 1 || d.mcuBlockCount > MAX_MCU_BLOCKS ||
        d.scanMcusPerRow * d.mcuBlockCount > d.blocksPerMcuRow) {
        LatchError(DECERR_ROW_TOO_WIDE);
        return 0;
    }
    for (int32_t b = 0; b < d.mcuBlockCount; ++b) {
        const int32_t c = d.mcuOrg[b];
        if (c < 0 || c >= d.compsInFrame || c >= MAX_COMPONENTS) {
            LatchError(DECERR_SOS_BAD_COMPONENT);
            return 0;
        }
        const int32_t dc = d.compDcTable[c];
        const int32_t ac = d.compAcTable[c];
        const int32_t qt = d.compQuant[c];
        if (dc < 0 || dc >= HUFFMAN_TABLE_SLOTS || ac < 0 || ac >= HUFFMAN_TABLE_SLOTS ||
            d.huffTable[dc] == nullptr || d.huffTable[ac] == nullptr) {
            LatchError(DECERR_MISSING_HUFFMAN_TABLE);
            return 0;
        }
        if (qt < 0 || qt >= QUANT_TABLE_SLOTS || d.quantTable[qt] == nullptr) {
            LatchError(DECERR_MISSING_QUANT_TABLE);
            return 0;
        }
        tables[b] = {d.huffTable[dc], d.huffTable[ac], d.quantTable[qt], c};
    }
    return 1;
}

}  // namespace

int32_t DecodeMcuRow()
{
    DecoderContext& d = g_Decoder;
    BlockTables tables[MAX_MCU_BLOCKS];
    if (!ResolveTables(tables))
        return 0;

    const int32_t mcuBlocks = d.mcuBlockCount;
    int32_t blockIndex = 0;
    for (int32_t m = 0; m < d.scanMcusPerRow; ++m) {
        if (d.restartInterval != 0 && d.restartsLeft == 0 && !ProcessRestartMarker())
            return 0;

        for (int32_t b = 0; b < mcuBlocks; ++b, ++blockIndex) {
            const BlockTables& t = tables[b];
            int16_t* coef = d.blockPtr[blockIndex];
            const int16_t* q = t.quant;
            const int32_t oldMax = d.blockMaxZag[blockIndex];

            const int32_t s = DecodeHuffmanSymbol(t.dc);
            int32_t diff = 0;
            if (s != 0) {
                if (s > MAX_MAGNITUDE_BITS) {
                    LatchError(DECERR_COEFFICIENT_OVERRUN);
                    return 0;
                }
                diff = ExtendMagnitude(GetCodedBits(s), s);
            }
            // The predictor and the products wrap at 32 bits; only the low 16 bits are stored.
            const uint32_t dcVal = static_cast<uint32_t>(d.lastDcVal[t.component]) + static_cast<uint32_t>(diff);
            d.lastDcVal[t.component] = static_cast<int32_t>(dcVal);
            coef[0] = Keep16(dcVal * static_cast<uint32_t>(static_cast<int32_t>(q[0])));

            int32_t k = 1;
            while (k <= 63) {
                const int32_t rs = DecodeHuffmanSymbol(t.ac);
                const int32_t run = rs >> 4;
                const int32_t size = rs & 15;
                if (size != 0) {
                    if (run != 0) {
                        if (k + run > 63) {
                            LatchError(DECERR_COEFFICIENT_OVERRUN);
                            return 0;
                        }
                        ClearZag(coef, k, k + run < oldMax ? k + run : oldMax);
                        k += run;
                    }
                    const int32_t v = ExtendMagnitude(GetCodedBits(size), size);
                    coef[ZIGZAG_ORDER[k]] =
                        Keep16(static_cast<uint32_t>(v) * static_cast<uint32_t>(static_cast<int32_t>(q[k])));
                    ++k;
                } else if (run == 15) {
                    if (k + 15 > 63) {
                        LatchError(DECERR_COEFFICIENT_OVERRUN);
                        return 0;
                    }
                    ClearZag(coef, k, k + 16 < oldMax ? k + 16 : oldMax);
                    k += 16;
                } else {
                    break;  // end of block, whatever the run
                }
            }
            // Old values may linger only below oldMax; everything above is already zero.
            if (k < oldMax)
                ClearZag(coef, k, oldMax);
            d.blockMaxZag[blockIndex] = k;
        }
        // Counts down across MCU rows; unused while restartInterval is 0.
        d.restartsLeft = static_cast<int32_t>(static_cast<uint32_t>(d.restartsLeft) - 1u);
    }
    return 1;
}

int32_t ProcessRestartMarker()
{
    DecoderContext& d = g_Decoder;
    int32_t budget = RESTART_SEARCH_LIMIT;
    uint32_t byte = ReadRawByte();
    while (byte != 0xFF) {
        if (--budget == 0) {
            LatchError(DECERR_BAD_RESTART_MARKER);
            return 0;
        }
        byte = ReadRawByte();
    }
    byte = ReadRawByte();
    while (byte == 0xFF) {
        if (--budget == 0) {
            LatchError(DECERR_BAD_RESTART_MARKER);
            return 0;
        }
        byte = ReadRawByte();
    }
    if (byte != static_cast<uint32_t>(0xD0 + d.nextRestartNum)) {
        LatchError(DECERR_BAD_RESTART_MARKER);
        return 0;
    }

    for (int32_t i = 0; i < d.compsInFrame && i < MAX_COMPONENTS; ++i)
        d.lastDcVal[i] = 0;
    d.restartsLeft = d.restartInterval;
    d.nextRestartNum = (d.nextRestartNum + 1) & 7;
    // Whatever the bit reader held belongs to the interval just ended.
    d.bitsLeft = 16;
    GetCodedBits(16);
    GetCodedBits(16);
    return 1;
}
