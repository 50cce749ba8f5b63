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

int32_t PrepareHuffmanTables();
int32_t CheckQuantTables();
void BuildHuffmanTable(int32_t slot, uint8_t* table);
int32_t DecodeHuffmanSymbol(const uint8_t* table);
int32_t ExtendMagnitude(uint32_t value, int32_t bits);
