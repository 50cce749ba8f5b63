#include "decoder/huffman.h"

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/input.h"
#include "platform/pool.h"

// The symbol decoder reads the next 8 bits as byte 1 of bitBuf in memory.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "byte 1 of bitBuf must be bits 15..8");

const uint32_t EXTEND_THRESHOLDS[18] = {
    0, 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536,
};

HuffmanFastAc g_HuffmanFastAc[HUFFMAN_TABLE_SLOTS];

namespace {

constexpr int32_t MAX_CODE_LENGTH = 16;
constexpr int32_t LOOKUP_BITS = 8;

inline bool IsValidSlot(int32_t slot) { return slot >= 0 && slot < HUFFMAN_TABLE_SLOTS; }

// Node -(2j + 1) keeps its 1-bit entry at tree[2j] and its 0-bit entry at tree[2j + 1].
inline int32_t ChildIndex(int32_t node, uint32_t bit) { return -node - static_cast<int32_t>(bit); }

// Hands out the next node, or 0 when the tree region and the slack are used up
// (only counts that are no prefix code get there; they are refused when parsed).
inline int32_t NewNode(int32_t& nextNode)
{
    if (-nextNode > 2 * HUFFMAN_MAX_NODES)
        return 0;
    const int32_t node = nextNode;
    nextNode -= 2;
    return node;
}

void AddLongCode(int32_t* lookup, int32_t* tree, int32_t& nextNode, uint32_t code, int32_t length, int32_t value)
{
    const uint32_t index = (code >> (length - LOOKUP_BITS)) & 0xFFu;
    if (lookup[index] == 0)
        lookup[index] = NewNode(nextNode);
    int32_t node = lookup[index];
    for (int32_t shift = length - LOOKUP_BITS - 1; shift >= 0; --shift) {
        // A symbol or nothing where a node belongs: the code does not fit the table.
        if (node >= 0)
            return;
        const int32_t entry = ChildIndex(node, (code >> shift) & 1u);
        if (shift == 0) {
            tree[entry] = value;
            return;
        }
        if (tree[entry] == 0)
            tree[entry] = NewNode(nextNode);
        node = tree[entry];
    }
}

// Derived from the finished table alone: each index takes codeSize[symbol] bits for
// the symbol, exactly as DecodeHuffmanSymbol does, then the magnitude bits after them.
void BuildFastAc(int32_t slot, const uint8_t* table)
{
    HuffmanFastAc& fast = g_HuffmanFastAc[slot];
    const int32_t* lookup = HuffmanLookup(table);
    const uint8_t* codeSize = HuffmanCodeSize(table);
    for (uint32_t x = 0; x < 256; ++x) {
        fast.entry[x] = 0;
        const int32_t symbol = lookup[x];
        if (symbol < 0)
            continue;
        const uint32_t size = static_cast<uint32_t>(symbol) & 15u;
        const uint32_t bits = codeSize[symbol] + size;
        if (size == 0 || bits > LOOKUP_BITS)
            continue;
        const uint32_t magnitude = (x >> (LOOKUP_BITS - bits)) & ((1u << size) - 1u);
        const uint32_t value = static_cast<uint32_t>(ExtendMagnitude(magnitude, static_cast<int32_t>(size)));
        fast.entry[x] = static_cast<int32_t>((value << 16) | ((static_cast<uint32_t>(symbol) >> 4) << 8) | bits);
    }
    fast.table = table;
}

}  // namespace

void BuildHuffmanTable(int32_t slot, uint8_t* table)
{
    const DecoderContext& d = g_Decoder;
    const uint8_t* counts = d.huffBits[slot];
    const uint8_t* values = d.huffVals[slot];
    // The slack is cleared too: a rebuild must not follow a node an earlier build left there.
    RtlZeroMemory(table, static_cast<SIZE_T>(HUFFMAN_TABLE_BYTES + BLOCK_SLACK_BYTES));
    int32_t* lookup = HuffmanLookup(table);
    uint8_t* codeSize = HuffmanCodeSize(table);
    int32_t* tree = HuffmanTree(table);

    int32_t nextNode = -1;
    int32_t symbol = 0;
    uint32_t code = 0;
    for (int32_t length = 1; length <= MAX_CODE_LENGTH; ++length) {
        for (int32_t n = 0; n < counts[length] && symbol < 256; ++n, ++symbol, ++code) {
            if (code >= (1u << length))
                continue;
            const int32_t value = values[symbol];
            codeSize[value] = static_cast<uint8_t>(length);
            if (length <= LOOKUP_BITS) {
                const uint32_t span = 1u << (LOOKUP_BITS - length);
                const uint32_t first = code * span;
                for (uint32_t i = 0; i < span; ++i)
                    lookup[first + i] = value;
            } else {
                AddLongCode(lookup, tree, nextNode, code, length, value);
            }
        }
        code <<= 1;
    }
    // AC tables sit in slots 4..7; a DC slot's shortcut would never be used.
    if (slot >= HUFFMAN_TABLE_SLOTS / 2)
        BuildFastAc(slot, table);
}

int32_t DecodeHuffmanSymbol(const uint8_t* table)
{
    // The next 8 bits are byte 1 of bitBuf: no shift, no mask.
    const uint32_t next8 = reinterpret_cast<const uint8_t*>(&g_Decoder.bitBuf)[1];
    int32_t entry = HuffmanLookup(table)[next8];
    if (entry >= 0) {
        SkipCodedBits(HuffmanCodeSize(table)[entry]);
        return entry;
    }
    SkipCodedBits(LOOKUP_BITS);
    const int32_t* tree = HuffmanTree(table);
    do {
        entry = tree[ChildIndex(entry, GetCodedBits(1))];
    } while (entry < 0);
    return entry;
}

int32_t ExtendMagnitude(uint32_t value, int32_t bits)
{
    if (value < EXTEND_THRESHOLDS[bits])
        return static_cast<int32_t>(value - (1u << bits) + 1u);
    return static_cast<int32_t>(value);
}

int32_t PrepareHuffmanTables()
{
    DecoderContext& d = g_Decoder;
    for (int32_t i = 0; i < d.compsInScan && i < MAX_COMPONENTS; ++i) {
        const int32_t c = d.scanCompList[i];
        if (d.spectralStart == 0) {
            const int32_t dc = d.compDcTable[c];
            if (!IsValidSlot(dc) || d.huffBits[dc] == nullptr) {
                LatchError(DECERR_MISSING_HUFFMAN_TABLE);
                return 0;
            }
        }
        if (d.spectralEnd > 0) {
            const int32_t ac = d.compAcTable[c];
            if (!IsValidSlot(ac) || d.huffBits[ac] == nullptr) {
                LatchError(DECERR_MISSING_HUFFMAN_TABLE);
                return 0;
            }
        }
    }
    for (int32_t slot = 0; slot < HUFFMAN_TABLE_SLOTS; ++slot) {
        if (d.huffBits[slot] == nullptr)
            continue;
        if (d.huffTable[slot] == nullptr) {
            d.huffTable[slot] = static_cast<uint8_t*>(AllocBlock(HUFFMAN_TABLE_BYTES));
            // Every block, the count and symbol arrays too, has just been released.
            if (d.huffTable[slot] == nullptr)
                return 0;
        }
        BuildHuffmanTable(slot, d.huffTable[slot]);
    }
    return 1;
}

int32_t CheckQuantTables()
{
    DecoderContext& d = g_Decoder;
    for (int32_t i = 0; i < d.compsInScan && i < MAX_COMPONENTS; ++i) {
        // Selectors above 3 can name no table a DQT segment defines: they are missing tables.
        const int32_t q = d.compQuant[d.scanCompList[i]];
        if (q < 0 || q >= QUANT_TABLE_SLOTS || d.quantTable[q] == nullptr) {
            LatchError(DECERR_MISSING_QUANT_TABLE);
            return 0;
        }
    }
    return 1;
}
