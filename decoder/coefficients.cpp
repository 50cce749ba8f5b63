#include "decoder/coefficients.h"

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/huffman.h"
#include "decoder/input.h"
#include "decoder/kernels.h"
#include "platform/pool.h"

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
    const int32_t* fastAc;  // null: no shortcut built from this AC table
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
        const HuffmanFastAc& fast = g_HuffmanFastAc[ac];
        tables[b] = {d.huffTable[dc], d.huffTable[ac], fast.table == d.huffTable[ac] ? fast.entry : nullptr,
                     d.quantTable[qt], c};
    }
    return 1;
}

// Stands in for an AC table without shortcuts: every index goes to the symbol decoder.
constexpr int32_t NO_SHORTCUTS[256] = {};

// The coded bit reader's bitBuf and bitsLeft, kept in registers over one MCU row and
// handed back to the context around every call that reads or changes them.
struct BitCursor {
    uint32_t buf;
    int32_t left;

    void Load()
    {
        buf = g_Decoder.bitBuf;
        left = g_Decoder.bitsLeft;
    }
    void Store() const
    {
        g_Decoder.bitBuf = buf;
        g_Decoder.bitsLeft = left;
    }
};

inline uint32_t Rotate(uint32_t value, uint32_t count)
{
    return (value << (count & 31u)) | (value >> ((32u - count) & 31u));
}

// Two coded bytes; most pairs hold no 0xFF and come straight from the input buffer.
inline void ReadCodedPair(uint32_t& b1, uint32_t& b2)
{
    DecoderContext& d = g_Decoder;
    if (d.inBufLeft >= 2) {
        const uint8_t* p = d.inBufPtr;
        if (p[0] != 0xFF && p[1] != 0xFF) {
            b1 = p[0];
            b2 = p[1];
            d.inBufPtr += 2;
            d.inBufLeft -= 2;
            return;
        }
    }
    b1 = ReadCodedByte();
    b2 = ReadCodedByte();
}

// The reserve cannot cover n bits: it all enters the window, then a fresh pair
// supplies the shortfall (the same steps GetCodedBits takes).
inline void SkipWithRefill(BitCursor& c, int32_t n)
{
    const uint32_t window = Rotate(c.buf, static_cast<uint32_t>(c.left)) & 0xFFFFu;
    uint32_t b1, b2;
    ReadCodedPair(b1, b2);
    const int32_t shortfall = n - c.left;
    c.buf = Rotate(window | (b1 << 24) | (b2 << 16), static_cast<uint32_t>(shortfall));
    c.left = 16 - shortfall;
}

inline void Skip(BitCursor& c, int32_t n)
{
    if (n < c.left) {
        c.left -= n;
        c.buf = Rotate(c.buf, static_cast<uint32_t>(n));
        return;
    }
    SkipWithRefill(c, n);
}

inline uint32_t Take(BitCursor& c, int32_t n)
{
    const uint32_t count = static_cast<uint32_t>(n);
    const uint32_t result = (c.buf >> (16u - count)) & ((1u << count) - 1u);
    Skip(c, n);
    return result;
}

// ExtendMagnitude for a value of exactly `bits` (1..16) bits: a clear top bit means negative.
inline int32_t Extend(uint32_t value, int32_t bits)
{
    const uint32_t negative = ((value >> (bits - 1)) & 1u) - 1u;
    return static_cast<int32_t>(value - (negative & ((1u << bits) - 1u)));
}

// DecodeHuffmanSymbol over the cursor: codes of up to 8 bits in one look-up, longer
// ones through the table's tree (the 1-bit child of node -(2j + 1) at tree[2j]).
inline int32_t DecodeSymbol(BitCursor& c, const uint8_t* table)
{
    const int32_t entry = HuffmanLookup(table)[(c.buf >> 8) & 0xFFu];
    if (entry >= 0) {
        Skip(c, HuffmanCodeSize(table)[entry]);
        return entry;
    }
    // A longer code: the first 8 bits lead to a node, then one bit per tree step.
    Skip(c, 8);
    const int32_t* tree = HuffmanTree(table);
    int32_t node = entry;
    do {
        node = tree[-node - static_cast<int32_t>(Take(c, 1))];
    } while (node < 0);
    return node;
}

}  // namespace

int32_t DecodeMcuRow() { return g_DecoderKernels.decodeMcuRow(); }

int32_t DecodeMcuRowFast()
{
    DecoderContext& d = g_Decoder;
    BlockTables tables[MAX_MCU_BLOCKS];
    if (!ResolveTables(tables))
        return 0;

    BitCursor c;
    c.Load();
    const int32_t mcuBlocks = d.mcuBlockCount;
    int32_t blockIndex = 0;
    for (int32_t m = 0; m < d.scanMcusPerRow; ++m) {
        if (d.restartInterval != 0 && d.restartsLeft == 0) {
            c.Store();
            if (!ProcessRestartMarker())
                return 0;
            c.Load();
        }

        for (int32_t b = 0; b < mcuBlocks; ++b, ++blockIndex) {
            const BlockTables& t = tables[b];
            int16_t* coef = d.blockPtr[blockIndex];
            const int16_t* q = t.quant;
            // What the previous row left goes in one sweep, so the runs need no clearing:
            // every position the data skips must read 0. A block that ended after its
            // DC term holds nothing else.
            if (d.blockMaxZag[blockIndex] > 1)
                RtlZeroMemory(coef, 64 * sizeof(int16_t));

            const int32_t s = DecodeSymbol(c, t.dc);
            int32_t diff = 0;
            if (s != 0) {
                if (s > MAX_MAGNITUDE_BITS) {
                    c.Store();
                    LatchError(DECERR_COEFFICIENT_OVERRUN);
                    return 0;
                }
                diff = Extend(Take(c, s), s);
            }
            const uint32_t dcVal = static_cast<uint32_t>(d.lastDcVal[t.component]) + static_cast<uint32_t>(diff);
            d.lastDcVal[t.component] = static_cast<int32_t>(dcVal);
            coef[0] = Keep16(dcVal * static_cast<uint32_t>(static_cast<int32_t>(q[0])));

            const uint8_t* ac = t.ac;
            const int32_t* fastAc = t.fastAc != nullptr ? t.fastAc : NO_SHORTCUTS;
            int32_t k = 1;
            while (k <= 63) {
                // Most coefficients: code and magnitude within the next 8 bits, taken at once.
                const int32_t fast = fastAc[(c.buf >> 8) & 0xFFu];
                if (fast != 0 && k + ((fast >> 8) & 0xFF) <= 63) {
                    k += (fast >> 8) & 0xFF;
                    coef[ZIGZAG_ORDER[k]] =
                        Keep16(static_cast<uint32_t>(fast >> 16) * static_cast<uint32_t>(static_cast<int32_t>(q[k])));
                    ++k;
                    Skip(c, fast & 0xFF);
                    continue;
                }
                const int32_t rs = DecodeSymbol(c, ac);
                const int32_t run = rs >> 4;
                const int32_t size = rs & 15;
                if (size != 0) {
                    if (run != 0) {
                        if (k + run > 63) {
                            c.Store();
                            LatchError(DECERR_COEFFICIENT_OVERRUN);
                            return 0;
                        }
                        k += run;
                    }
                    const int32_t v = Extend(Take(c, size), size);
                    coef[ZIGZAG_ORDER[k]] =
                        Keep16(static_cast<uint32_t>(v) * static_cast<uint32_t>(static_cast<int32_t>(q[k])));
                    ++k;
                } else if (run == 15) {
                    if (k + 15 > 63) {
                        c.Store();
                        LatchError(DECERR_COEFFICIENT_OVERRUN);
                        return 0;
                    }
                    k += 16;
                } else {
                    break;
                }
            }
            d.blockMaxZag[blockIndex] = k;
        }
        d.restartsLeft = static_cast<int32_t>(static_cast<uint32_t>(d.restartsLeft) - 1u);
    }
    c.Store();
    return 1;
}

int32_t DecodeMcuRowReference()
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
