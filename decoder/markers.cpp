#include "decoder/markers.h"

#include "decoder/decoder_errors.h"
#include "decoder/decoder_memory.h"
#include "decoder/input.h"

namespace {

constexpr int32_t HUFFMAN_BITS_BYTES = 17;
constexpr int32_t HUFFMAN_VALS_BYTES = 256;
constexpr int32_t MAX_HUFFMAN_CODES = 255;
constexpr int32_t QUANT_TABLE_BYTES = 128;
constexpr int32_t QUANT_ENTRIES = 64;
constexpr int32_t MAX_DC_SELECTOR = 7;
constexpr int32_t MAX_AC_SELECTOR = 3;

inline int32_t Read8() { return static_cast<int32_t>(GetBits(8)); }
inline int32_t Read16() { return static_cast<int32_t>(GetBits(16)); }

// Fails (latches and returns 0) through one path so every caller can simply return its result.
inline int32_t Fail(int32_t code)
{
    LatchError(code);
    return 0;
}

// Counts whose codes outgrow their lengths would be written past the decode table.
bool IsPrefixCode(const uint8_t* counts)
{
    int32_t room = 2;
    for (int32_t length = 1; length <= 16; ++length) {
        if (counts[length] > room)
            return false;
        room = (room - counts[length]) * 2;
    }
    return true;
}

bool IsFrameMarker(int32_t code)
{
    return (code >= 0xC0 && code <= 0xC3) || (code >= 0xC5 && code <= 0xC7) || (code >= 0xC9 && code <= 0xCB) ||
           (code >= 0xCD && code <= 0xCF);
}

}  // namespace

void FindStartOfImage()
{
    uint32_t previous = GetBits(8);
    uint32_t current = GetBits(8);
    if (previous == 0xFF && current == 0xD8)
        return;
    for (int32_t i = 0; i < SOI_SEARCH_LIMIT; ++i) {
        previous = current;
        current = GetBits(8);
        if (previous == 0xFF && current == 0xD8) {
            // The next byte, still in the window, must begin a marker.
            if (((g_Decoder.bitBuf >> 8) & 0xFFu) != 0xFF)
                LatchError(DECERR_NO_SOI);
            return;
        }
    }
    LatchError(DECERR_NO_SOI);
}

int32_t NextMarker()
{
    for (;;) {
        uint32_t byte = GetBits(8);
        while (byte != 0xFF)
            byte = GetBits(8);
        while (byte == 0xFF)
            byte = GetBits(8);
        if (byte != 0x00)
            return static_cast<int32_t>(byte);
    }
}

int32_t ReadMarkers()
{
    for (;;) {
        const int32_t code = NextMarker();
        if (IsFrameMarker(code) || code == MARKER_SOI || code == MARKER_EOI || code == MARKER_SOS)
            return code;
        int32_t parsed = 1;
        if (code == MARKER_DHT) {
            parsed = ParseDht();
        } else if (code == MARKER_DQT) {
            parsed = ParseDqt();
        } else if (code == MARKER_DRI) {
            parsed = ParseDri();
        } else if (code == 0x01 || code == 0xC8 || (code >= MARKER_RST0 && code <= MARKER_RST0 + 7)) {
            return LatchError(DECERR_UNEXPECTED_MARKER);
        } else if (code == MARKER_DAC) {
            return LatchError(DECERR_ARITHMETIC_CODING);
        } else {
            parsed = SkipSegment();
        }
        if (parsed == 0)
            return g_Decoder.errorCode;
    }
}

int32_t ParseDht()
{
    DecoderContext& d = g_Decoder;
    const uint32_t releasesBefore = d.releaseCount;
    const int32_t length = Read16();
    if (length < 2)
        return Fail(DECERR_DHT_BAD_LENGTH);
    int32_t bytesLeft = length - 2;
    while (bytesLeft > 0) {
        const int32_t classAndId = Read8();
        uint8_t counts[HUFFMAN_BITS_BYTES];
        uint8_t values[HUFFMAN_VALS_BYTES];
        counts[0] = 0;
        int32_t total = 0;
        for (int32_t i = 1; i < HUFFMAN_BITS_BYTES; ++i) {
            counts[i] = static_cast<uint8_t>(Read8());
            total += counts[i];
        }
        if (total > MAX_HUFFMAN_CODES)
            return Fail(DECERR_DHT_TOO_MANY_CODES);
        for (int32_t i = 0; i < total; ++i)
            values[i] = static_cast<uint8_t>(Read8());
        if (bytesLeft < HUFFMAN_BITS_BYTES + total)
            return Fail(DECERR_DHT_BAD_LENGTH);
        bytesLeft -= HUFFMAN_BITS_BYTES + total;
        const int32_t slot = (classAndId & 0x0F) + 4 * ((classAndId >> 4) & 1);
        if (slot >= HUFFMAN_TABLE_SLOTS || !IsPrefixCode(counts))
            return Fail(DECERR_DHT_BAD_TABLE);
        // A latch while reading has released the blocks this table would go into.
        if (d.releaseCount != releasesBefore)
            return 0;

        if (d.huffBits[slot] == nullptr) {
            d.huffBits[slot] = static_cast<uint8_t*>(AllocBlock(HUFFMAN_BITS_BYTES));
            if (d.huffBits[slot] == nullptr)
                return 0;
        }
        if (d.huffVals[slot] == nullptr) {
            d.huffVals[slot] = static_cast<uint8_t*>(AllocBlock(HUFFMAN_VALS_BYTES));
            if (d.huffVals[slot] == nullptr)
                return 0;
        }
        for (int32_t i = 0; i < HUFFMAN_BITS_BYTES; ++i)
            d.huffBits[slot][i] = counts[i];
        for (int32_t i = 0; i < total; ++i)
            d.huffVals[slot][i] = values[i];
    }
    return 1;
}

int32_t ParseDqt()
{
    DecoderContext& d = g_Decoder;
    const uint32_t releasesBefore = d.releaseCount;
    const int32_t length = Read16();
    if (length < 2)
        return Fail(DECERR_DQT_BAD_LENGTH);
    int32_t bytesLeft = length - 2;
    while (bytesLeft > 0) {
        const int32_t precisionAndId = Read8();
        const int32_t id = precisionAndId & 0x0F;
        const bool wide = (precisionAndId >> 4) != 0;
        if (id >= QUANT_TABLE_SLOTS)
            return Fail(DECERR_DQT_BAD_TABLE);
        int16_t entries[QUANT_ENTRIES];
        for (int32_t k = 0; k < QUANT_ENTRIES; ++k)
            entries[k] = static_cast<int16_t>(wide ? Read16() : Read8());
        const int32_t needed = 1 + (wide ? 2 : 1) * QUANT_ENTRIES;
        if (bytesLeft < needed)
            return Fail(DECERR_DQT_TRUNCATED);
        bytesLeft -= needed;
        if (d.releaseCount != releasesBefore)
            return 0;

        if (d.quantTable[id] == nullptr) {
            d.quantTable[id] = static_cast<int16_t*>(AllocBlock(QUANT_TABLE_BYTES));
            if (d.quantTable[id] == nullptr)
                return 0;
        }
        for (int32_t k = 0; k < QUANT_ENTRIES; ++k)
            d.quantTable[id][k] = entries[k];
    }
    return 1;
}

int32_t ParseSof()
{
    DecoderContext& d = g_Decoder;
    const int32_t length = Read16();
    if (Read8() != 8)
        return Fail(DECERR_SOF_BAD_PRECISION);
    d.imageHeight = Read16();
    if (d.imageHeight < 1 || d.imageHeight > MAX_IMAGE_DIMENSION)
        return Fail(DECERR_SOF_BAD_HEIGHT);
    d.imageWidth = Read16();
    if (d.imageWidth < 1 || d.imageWidth > MAX_IMAGE_DIMENSION)
        return Fail(DECERR_SOF_BAD_WIDTH);
    d.compsInFrame = Read8();
    if (d.compsInFrame > MAX_COMPONENTS)
        return Fail(DECERR_SOF_TOO_MANY_COMPONENTS);
    if (length != 8 + 3 * d.compsInFrame)
        return Fail(DECERR_SOF_BAD_LENGTH);
    // Quantisation selectors are kept as read (0..255); the scan refuses one it cannot index.
    for (int32_t i = 0; i < d.compsInFrame; ++i) {
        d.compIdent[i] = Read8();
        const int32_t sampling = Read8();
        d.compHSamp[i] = sampling >> 4;
        d.compVSamp[i] = sampling & 0x0F;
        d.compQuant[i] = Read8();
    }
    return 1;
}

int32_t SkipSegment()
{
    const int32_t length = Read16();
    if (length < 2)
        return Fail(DECERR_SEGMENT_BAD_LENGTH);
    for (int32_t i = 2; i < length; ++i)
        GetBits(8);
    return 1;
}

int32_t ParseDri()
{
    if (Read16() != 4)
        return Fail(DECERR_DRI_BAD_LENGTH);
    g_Decoder.restartInterval = Read16();
    return 1;
}

int32_t ParseSos()
{
    DecoderContext& d = g_Decoder;
    const int32_t length = Read16();
    const int32_t count = Read8();
    d.compsInScan = count;
    if (length != 6 + 2 * count || count < 1 || count > MAX_COMPONENTS)
        return Fail(DECERR_SOS_BAD_LENGTH);
    const int32_t frameComps = d.compsInFrame < MAX_COMPONENTS ? d.compsInFrame : MAX_COMPONENTS;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t ident = Read8();
        const int32_t selectors = Read8();
        int32_t j = 0;
        while (j < frameComps && d.compIdent[j] != ident)
            ++j;
        if (j == frameComps)
            return Fail(DECERR_SOS_BAD_COMPONENT);
        // Selectors past the eight table slots are refused before anything indexes with them.
        const int32_t dcSelector = selectors >> 4;
        const int32_t acSelector = selectors & 0x0F;
        if (dcSelector > MAX_DC_SELECTOR || acSelector > MAX_AC_SELECTOR)
            return Fail(DECERR_SOS_BAD_COMPONENT);
        d.scanCompList[i] = j;
        d.compDcTable[j] = dcSelector;
        d.compAcTable[j] = acSelector + 4;
    }
    d.spectralStart = Read8();
    d.spectralEnd = Read8();
    Read8();  // Ah and Al: successive approximation is not used
    if (d.progressive == 0) {
        d.spectralStart = 0;
        d.spectralEnd = 63;
    }
    return 1;
}

int32_t DecoderStart(MemorySource* source)
{
    ResetDecoder(source);
    return ReadFrameHeader();
}

int32_t ReadFrameHeader()
{
    // A failed search is latched and decides the picture later; the frame header is still read.
    FindStartOfImage();
    const int32_t code = ReadMarkers();
    // The segment that failed has latched its own cause; keep it.
    if (code < 0)
        return 0;
    if (code == MARKER_SOF0 || code == MARKER_SOF1)
        return ParseSof();
    if (code == MARKER_SOF2) {
        g_Decoder.progressive = 1;
        return ParseSof();
    }
    if (code == MARKER_SOF9)
        return Fail(DECERR_ARITHMETIC_CODING);
    return Fail(DECERR_UNSUPPORTED_FRAME);
}

int32_t ReadScanHeader()
{
    const int32_t code = ReadMarkers();
    if (code < 0)
        return 0;
    if (code == MARKER_EOI)
        return 0;
    if (code == MARKER_SOS)
        return ParseSos();
    return Fail(DECERR_UNEXPECTED_MARKER);
}

void FinishScan()
{
    DecoderContext& d = g_Decoder;
    if (d.progressive != 0)
        return;
    // Drop the coded bits and the 1-bits handed out at the marker; refill from the raw input.
    d.bitsLeft = 16;
    GetBits(16);
    GetBits(16);
    ReadMarkers();
}
