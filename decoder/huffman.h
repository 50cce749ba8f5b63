// Huffman decode tables, symbol decoding and the per-scan table checks.
//
// A HuffmanDecodeTable block is 3328 bytes: lookup (256 x int32, indexed by the
// next 8 bits), codeSize (256 x uint8, per symbol) and tree (512 x int32, two
// entries per node, 1-bit child first). Node numbers run -1, -3, -5, ...; a
// valid table may need up to 261 nodes, whose entries spill into the block's slack.
#pragma once

#include "decoder/decoder_context.h"

constexpr int32_t HUFFMAN_LOOKUP_OFFSET = 0;
constexpr int32_t HUFFMAN_CODESIZE_OFFSET = 1024;
constexpr int32_t HUFFMAN_TREE_OFFSET = 1280;
// Nodes that fit in the tree region plus the block's slack; a valid table needs at most 261.
constexpr int32_t HUFFMAN_MAX_NODES = (HUFFMAN_TABLE_BYTES - HUFFMAN_TREE_OFFSET + BLOCK_SLACK_BYTES) / 8;

// Entry n is 2^(n-1) for n in 1..17, entry 0 is 0.
extern const uint32_t EXTEND_THRESHOLDS[18];

// The coefficient decoder's shortcut, built with each decode table: for each 8-bit
// look-up index whose AC code and magnitude bits both lie within those 8 bits, the
// signed coefficient (bits 31..16), its run of zeros (15..8) and the bits to take
// (7..0); 0 where the symbol decoder must run. `table` is the decode table it was
// built from, so a shortcut is used only with its own table.
struct HuffmanFastAc {
    const uint8_t* table;
    int32_t entry[256];
};
extern HuffmanFastAc g_HuffmanFastAc[HUFFMAN_TABLE_SLOTS];

// Checks every table the scan needs (DECERR_MISSING_HUFFMAN_TABLE) and builds every defined slot.
int32_t PrepareHuffmanTables();
// Every scan component's quantisation selector must name a defined table (DECERR_MISSING_QUANT_TABLE).
int32_t CheckQuantTables();
// table is a block of HUFFMAN_TABLE_BYTES with BLOCK_SLACK_BYTES behind it; all of it is rewritten.
void BuildHuffmanTable(int32_t slot, uint8_t* table);
int32_t DecodeHuffmanSymbol(const uint8_t* table);
// The signed value of a magnitude field of bits (0..16) bits.
int32_t ExtendMagnitude(uint32_t value, int32_t bits);

// The three regions of a decode table.
inline int32_t* HuffmanLookup(uint8_t* table) { return reinterpret_cast<int32_t*>(table + HUFFMAN_LOOKUP_OFFSET); }
inline uint8_t* HuffmanCodeSize(uint8_t* table) { return table + HUFFMAN_CODESIZE_OFFSET; }
inline int32_t* HuffmanTree(uint8_t* table) { return reinterpret_cast<int32_t*>(table + HUFFMAN_TREE_OFFSET); }
inline const int32_t* HuffmanLookup(const uint8_t* table)
{
    return reinterpret_cast<const int32_t*>(table + HUFFMAN_LOOKUP_OFFSET);
}
inline const uint8_t* HuffmanCodeSize(const uint8_t* table) { return table + HUFFMAN_CODESIZE_OFFSET; }
inline const int32_t* HuffmanTree(const uint8_t* table)
{
    return reinterpret_cast<const int32_t*>(table + HUFFMAN_TREE_OFFSET);
}
