// The one static record that holds all state of the frame decoder.
//
// Decoder states, per picture:
//   Released    DecoderFreeAll (also inside every LatchError): no blocks, no source
//   Reset       ResetDecoder: pointers null, counts 0, first chunk loaded, bit reader primed
//   Header read DecoderStart returned 1: tables before the frame header, frame header fields
//   Ready       BeginDecoding: frame set up, first scan header read, readyFlag set
//   Decoding    the line loops: MCU rows decoded and written one after the other
// A latched error leads from any state to Released; only the next ResetDecoder leaves it.
#pragma once

#include "platform/base_types.h"

constexpr int32_t INPUT_CHUNK_SIZE = 4096;
constexpr int32_t INPUT_PUTBACK_ROOM = 4;  // bytes UnreadByte may step in front of a chunk
constexpr int32_t MAX_POOL_BLOCKS = 80;
constexpr int32_t BLOCK_SLACK_BYTES = 256;
constexpr int32_t MAX_BLOCKS_PER_MCU_ROW = 6144;
constexpr int32_t MAX_MCU_BLOCKS = 10;
constexpr int32_t MAX_COMPONENTS = 4;
constexpr int32_t QUANT_TABLE_SLOTS = 4;
constexpr int32_t HUFFMAN_TABLE_SLOTS = 8;
constexpr int32_t HUFFMAN_TABLE_BYTES = 3328;
constexpr int32_t SOI_SEARCH_LIMIT = 511;
constexpr int32_t RESTART_SEARCH_LIMIT = 1536;
constexpr int32_t MAX_IMAGE_DIMENSION = 8192;

// The compressed bytes of one picture.
struct MemorySource {
    const uint8_t* data;
    int32_t size;
    int32_t offset;
    int32_t atEnd;
};

struct DecoderContext {
    // Input and bit reader.
    MemorySource memorySource;
    MemorySource* source;
    uint8_t inArea[INPUT_PUTBACK_ROOM + INPUT_CHUNK_SIZE];  // put-back room, then inBuf
    uint8_t* inBufPtr;
    int32_t inBufLeft;
    int32_t inputEof;
    int32_t padToggle;
    uint32_t bitBuf;
    int32_t bitsLeft;

    // Errors and memory.
    int32_t errorCode;
    void* allocPtr[MAX_POOL_BLOCKS];
    // Bumped by every DecoderFreeAll. A parser compares it across its reads: a latch inside
    // the byte reader (a refill with no source) frees the blocks the parser would write into.
    uint32_t releaseCount;

    // Frame header.
    int32_t imageWidth;
    int32_t imageHeight;
    int32_t compsInFrame;
    int32_t compIdent[MAX_COMPONENTS];
    int32_t compHSamp[MAX_COMPONENTS];
    int32_t compVSamp[MAX_COMPONENTS];
    int32_t compQuant[MAX_COMPONENTS];
    int32_t progressive;

    // Tables.
    int16_t* quantTable[QUANT_TABLE_SLOTS];
    uint8_t* huffBits[HUFFMAN_TABLE_SLOTS];
    uint8_t* huffVals[HUFFMAN_TABLE_SLOTS];
    uint8_t* huffTable[HUFFMAN_TABLE_SLOTS];  // HuffmanDecodeTable blocks, HUFFMAN_TABLE_BYTES each
    int32_t restartInterval;

    // Scan header.
    int32_t compsInScan;
    int32_t scanCompList[MAX_COMPONENTS];
    int32_t compDcTable[MAX_COMPONENTS];
    int32_t compAcTable[MAX_COMPONENTS];
    int32_t spectralStart;
    int32_t spectralEnd;

    // MCU geometry.
    int32_t maxMcuXSize;
    int32_t maxMcuYSize;
    int32_t blocksPerMcu;
    int32_t mcusPerRow;
    int32_t blocksPerMcuRow;
    int32_t compHBlocks[MAX_COMPONENTS];
    int32_t scanMcusPerRow;
    int32_t mcuBlockCount;
    int32_t mcuOrg[MAX_MCU_BLOCKS];

    // Decoding progress.
    int32_t readyFlag;
    int32_t lastDcVal[MAX_COMPONENTS];
    int32_t restartsLeft;
    int32_t nextRestartNum;
    int32_t mcuLinesLeft;
    int32_t totalLinesLeft;

    // Block storage.
    int16_t* coeffStore;
    int16_t* blockPtr[MAX_BLOCKS_PER_MCU_ROW];
    int32_t blockMaxZag[MAX_BLOCKS_PER_MCU_ROW];
    int16_t idctWork[64];
    uint8_t* sampleBuf;

    // Colour tables.
    int32_t crToRed[256];
    int32_t cbToBlue[256];
    int32_t crToGreen[256];
    int32_t cbToGreen[256];
};

// The decoder's one instance; zero-initialised, no constructor.
extern DecoderContext g_Decoder;

// Start of the 4096-byte chunk inside inArea.
inline uint8_t* DecoderInBuf() { return g_Decoder.inArea + INPUT_PUTBACK_ROOM; }
