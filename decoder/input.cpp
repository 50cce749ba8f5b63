#include "decoder/input.h"

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "platform/pool.h"

namespace {

constexpr uint32_t FILLER_FF = 0xFF;
constexpr uint32_t FILLER_D9 = 0xD9;

// Delivers the next filler byte: once the data is gone the stream reads FF D9 FF D9 ...,
// an endless run of EOI markers, so every marker search ends.
inline uint32_t NextFillerByte()
{
    DecoderContext& d = g_Decoder;
    const uint32_t byte = d.padToggle == 0 ? FILLER_FF : FILLER_D9;
    d.padToggle ^= 1;
    return byte;
}

// Both bit readers: bits 15..0 of bitBuf are the next 16 bits of the stream, the top
// bitsLeft bits of the upper half follow them. Bytes enter in pairs.
template <uint32_t (*ReadByte)()>
inline uint32_t TakeBits(int32_t n)
{
    DecoderContext& d = g_Decoder;
    const uint32_t count = static_cast<uint32_t>(n);
    const uint32_t result = (d.bitBuf >> (16u - count)) & ((1u << count) - 1u);
    const int32_t oldLeft = d.bitsLeft;
    d.bitsLeft = oldLeft - n;
    if (d.bitsLeft > 0) {
        d.bitBuf = RotateLeft32(d.bitBuf, count);
        return result;
    }
    // The whole reserve enters the window, then a fresh pair supplies the shortfall.
    const uint32_t window = RotateLeft32(d.bitBuf, static_cast<uint32_t>(oldLeft)) & 0xFFFFu;
    const uint32_t b1 = ReadByte();
    const uint32_t b2 = ReadByte();
    d.bitBuf = RotateLeft32(window | (b1 << 24) | (b2 << 16), static_cast<uint32_t>(-d.bitsLeft));
    d.bitsLeft += 16;
    return result;
}

}  // namespace

int32_t MemorySourceInit(MemorySource* source, const uint8_t* data, int32_t size)
{
    if (source == nullptr || data == nullptr || size <= 0)
        return 0;
    source->data = data;
    source->size = size;
    source->offset = 0;
    source->atEnd = 0;
    return 1;
}

int32_t MemorySourceRead(MemorySource* source, uint8_t* dest, int32_t count, int32_t& atEnd)
{
    if (source == nullptr || source->data == nullptr)
        return -1;
    if (source->atEnd != 0) {
        atEnd = 1;
        return 0;
    }
    int32_t available = source->size - source->offset;
    if (available < 0)
        available = 0;
    int32_t copied = count < 0 ? 0 : count;
    if (available < copied) {
        source->atEnd = 1;
        atEnd = 1;
        copied = available;
    }
    if (copied > 0)
        RtlCopyMemory(dest, source->data + source->offset, static_cast<SIZE_T>(copied));
    source->offset += copied;
    return copied;
}

void RefillInput()
{
    DecoderContext& d = g_Decoder;
    d.inBufLeft = 0;
    d.inBufPtr = DecoderInBuf();
    while (d.inputEof == 0 && d.inBufLeft < INPUT_CHUNK_SIZE) {
        const int32_t got =
            MemorySourceRead(d.source, DecoderInBuf() + d.inBufLeft, INPUT_CHUNK_SIZE - d.inBufLeft, d.inputEof);
        if (got < 0) {
            LatchError(DECERR_READ_FAILED);
            return;
        }
        d.inBufLeft += got;
    }
}

uint32_t ReadRawByte()
{
    DecoderContext& d = g_Decoder;
    if (d.inBufLeft == 0) {
        RefillInput();
        if (d.inBufLeft == 0)
            return NextFillerByte();
    }
    --d.inBufLeft;
    return *d.inBufPtr++;
}

uint32_t ReadRawByteEx(int32_t& filler)
{
    DecoderContext& d = g_Decoder;
    if (d.inBufLeft == 0) {
        RefillInput();
        if (d.inBufLeft == 0) {
            filler = 1;
            return NextFillerByte();
        }
    }
    filler = 0;
    --d.inBufLeft;
    return *d.inBufPtr++;
}

void UnreadByte(uint32_t byte)
{
    DecoderContext& d = g_Decoder;
    // Callers put back at most four bytes in front of a chunk; never step out of the record.
    if (d.inBufPtr == d.inArea)
        return;
    --d.inBufPtr;
    *d.inBufPtr = static_cast<uint8_t>(byte);
    ++d.inBufLeft;
}

uint32_t ReadCodedByte()
{
    int32_t filler = 0;
    const uint32_t b1 = ReadRawByteEx(filler);
    if (b1 != 0xFF || filler != 0)
        return b1;
    const uint32_t b2 = ReadRawByteEx(filler);
    if (filler != 0) {
        UnreadByte(0xFF);
        return 0xFF;
    }
    if (b2 == 0x00)
        return 0xFF;
    // A marker: leave it in the input and hand out 1-bits until someone deals with it.
    UnreadByte(b2);
    UnreadByte(0xFF);
    return 0xFF;
}

uint32_t GetBits(int32_t n) { return TakeBits<ReadRawByte>(n); }

uint32_t GetCodedBits(int32_t n) { return TakeBits<ReadCodedByte>(n); }

void PrimeCodedBits()
{
    DecoderContext& d = g_Decoder;
    // Return the bytes fetched ahead, last read first, so they are read again as coded data.
    if (d.bitsLeft == 16)
        UnreadByte((d.bitBuf >> 16) & 0xFFu);
    if (d.bitsLeft >= 8)
        UnreadByte(d.bitBuf >> 24);
    UnreadByte(d.bitBuf & 0xFFu);
    UnreadByte((d.bitBuf >> 8) & 0xFFu);
    d.bitsLeft = 16;
    GetCodedBits(16);
    GetCodedBits(16);
}

uint32_t RotateLeft32(uint32_t value, uint32_t count)
{
    count &= 31u;
    if (count == 0)
        return value;
    return (value << count) | (value >> (32u - count));
}

void ResetDecoder(MemorySource* source)
{
    DecoderContext& d = g_Decoder;
    // Blocks still held from an earlier picture would be lost once their slots are cleared.
    DecoderFreeAll();
    d.source = source;

    for (int32_t i = 0; i < QUANT_TABLE_SLOTS; ++i)
        d.quantTable[i] = nullptr;
    for (int32_t i = 0; i < HUFFMAN_TABLE_SLOTS; ++i) {
        d.huffBits[i] = nullptr;
        d.huffVals[i] = nullptr;
        d.huffTable[i] = nullptr;
    }
    d.coeffStore = nullptr;
    d.sampleBuf = nullptr;
    for (int32_t i = 0; i < MAX_BLOCKS_PER_MCU_ROW; ++i)
        d.blockPtr[i] = nullptr;

    d.errorCode = 0;
    d.readyFlag = 0;
    d.progressive = 0;
    d.imageWidth = 0;
    d.imageHeight = 0;
    d.compsInFrame = 0;
    d.compsInScan = 0;
    d.restartInterval = 0;
    d.restartsLeft = 0;
    d.nextRestartNum = 0;
    d.spectralStart = 0;
    d.spectralEnd = 0;
    for (int32_t i = 0; i < MAX_COMPONENTS; ++i) {
        d.compIdent[i] = 0;
        d.compHSamp[i] = 0;
        d.compVSamp[i] = 0;
        d.compQuant[i] = 0;
        d.compHBlocks[i] = 0;
        d.compDcTable[i] = 0;
        d.compAcTable[i] = 0;
        d.scanCompList[i] = 0;
        d.lastDcVal[i] = 0;
    }
    for (int32_t i = 0; i < MAX_MCU_BLOCKS; ++i)
        d.mcuOrg[i] = 0;
    d.maxMcuXSize = 0;
    d.maxMcuYSize = 0;
    d.blocksPerMcu = 0;
    d.mcusPerRow = 0;
    d.blocksPerMcuRow = 0;
    d.scanMcusPerRow = 0;
    d.mcuBlockCount = 0;
    d.mcuLinesLeft = 0;
    d.totalLinesLeft = 0;

    RtlZeroMemory(d.inArea, sizeof(d.inArea));
    d.inBufPtr = DecoderInBuf();
    d.inBufLeft = 0;
    d.inputEof = 0;
    d.padToggle = 0;
    RefillInput();

    // Afterwards the window holds the first two bytes and the reserve the next two.
    d.bitBuf = 0;
    d.bitsLeft = 16;
    GetBits(16);
    GetBits(16);

    for (int32_t i = 0; i < MAX_BLOCKS_PER_MCU_ROW; ++i)
        d.blockMaxZag[i] = 64;
}

int32_t GetDecoderError() { return g_Decoder.errorCode; }

int32_t GetImageWidth() { return g_Decoder.imageWidth; }

int32_t GetImageHeight() { return g_Decoder.imageHeight; }
