// The reference side of the decoder tests: libjpeg-turbo (public API) compresses
// pictures and decodes them with the integer transform and plain replicating
// upsampling; a small baseline writer of our own produces what libjpeg will not
// (scans in another component order, hand-made entropy-coded data).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace oracle {

// RGB, three bytes per pixel, top row first.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

struct EncodeOptions {
    int quality = 75;
    int components = 3;        // 1 (grey) or 3 (YCbCr)
    int lumaH = 2, lumaV = 1;  // luma sampling; chroma is always 1 x 1
    int restartInterval = 0;   // MCUs, 0 = none
    bool progressive = false;
    // Frame component indexes in scan order; empty keeps frame order (libjpeg's own output).
    std::vector<int> scanOrder;
};

// Empty when libjpeg refuses the parameters.
std::vector<uint8_t> Compress(const RgbPicture& picture, const EncodeOptions& options);

// A libjpeg decode: channels is 3 (RGB or YCbCr) or 1 (grey), top row first.
struct DecodedPicture {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;
    std::string error;  // empty when decoded
};

DecodedPicture DecompressRgb(const std::vector<uint8_t>& jpeg);
DecodedPicture DecompressYcc(const std::vector<uint8_t>& jpeg);

// The same coefficients and tables written again by our own writer, with the scan
// listing the frame components in the given order and the given restart interval.
std::vector<uint8_t> Reencode(const std::vector<uint8_t>& jpeg, const std::vector<int>& scanOrder,
                              int restartInterval);

// Natural position of each zig-zag position, kept apart from the decoder's own table.
extern const int kZigzag[64];

// A Huffman table as a DHT segment carries it, with the encoder's codes derived.
struct HuffmanTable {
    uint8_t bits[17] = {};  // bits[L]: number of codes of length L
    std::vector<uint8_t> values;
    uint16_t code[256] = {};
    uint8_t size[256] = {};  // 0: symbol has no code
    void Derive();
};

// The standard tables of T.81 annex K (luminance and chrominance, DC and AC).
HuffmanTable StandardDcTable(int chroma);
HuffmanTable StandardAcTable(int chroma);

// Writes a baseline JPEG piece by piece: header segments as bytes, entropy-coded
// data as Huffman symbols and magnitude bits with byte stuffing.
class JpegWriter {
public:
    struct Component {
        int id, h, v, quant;
    };
    struct ScanComponent {
        int id, dcTable, acTable;
    };

    std::vector<uint8_t> bytes;

    void Byte(uint8_t b) { bytes.push_back(b); }
    void Word(uint16_t w);
    void Marker(uint8_t code);
    void Soi() { Marker(0xD8); }
    void Eoi();
    // 64 entries in zig-zag order.
    void Dqt(int id, const uint16_t* zigzagValues, bool sixteenBit = false);
    void Dht(int tableClass, int id, const HuffmanTable& table);
    void StandardTables();  // DC 0/1 and AC 0/1 of annex K
    void Sof(uint8_t marker, int width, int height, const std::vector<Component>& components);
    void Dri(int interval);
    void Sos(const std::vector<ScanComponent>& components);

    // Entropy-coded data.
    void Bits(uint32_t value, int count);
    void Symbol(const HuffmanTable& table, int symbol);
    void DcDiff(const HuffmanTable& table, int diff);
    // One AC coefficient after `run` zeros (run 0..15, value non-zero).
    void Ac(const HuffmanTable& table, int run, int value);
    void Eob(const HuffmanTable& table) { Symbol(table, 0x00); }
    void Zrl(const HuffmanTable& table) { Symbol(table, 0xF0); }
    // A whole block of quantised coefficients in zig-zag order; pred is the component's predictor.
    void Block(const HuffmanTable& dc, const HuffmanTable& ac, const int16_t* zigzagCoefficients, int& pred);
    // Pads the last byte with 1 bits.
    void Flush();
    void Rst(int n);

private:
    uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
};

// Magnitude category of a value (0 for 0).
int MagnitudeBits(int value);

// Our decoder, run the way the raw-frame callback runs it: MemorySourceInit,
// DecoderStart, one decode entry, DecoderFreeAll. The destination is followed by
// canary bytes, and both are pre-filled with `fill`.
enum class Format { Bgr24, Uyvy };
inline void PrintTo(Format format, std::ostream* os) { *os << (format == Format::Bgr24 ? "BGR24" : "UYVY"); }

struct OurDecode {
    int32_t result = 1;  // the decode entry's result: 0 decoded, 1 not
    int32_t error = 0;   // the latched code afterwards
    int32_t width = 0, height = 0;
    std::vector<uint8_t> frame;  // destLength bytes
    bool canaryIntact = true;
};

constexpr size_t kCanaryBytes = 64;

// destLength < 0: exactly the size the frame header announces.
OurDecode DecodeOurs(const std::vector<uint8_t>& jpeg, Format format, int64_t destLength = -1, uint8_t fill = 0xCD);

// Per-channel comparison of our output with libjpeg's.
struct Difference {
    int maxAbs = 0;
    double meanAbs = 0;
    size_t samples = 0;
};

// Our BGR24 (bottom-up) against libjpeg's RGB or grey (top-down).
Difference CompareBgr24(const OurDecode& ours, const DecodedPicture& reference);
// Our UYVY against libjpeg's YCbCr or grey: each pair against its first pixel's chroma.
Difference CompareUyvy(const OurDecode& ours, const DecodedPicture& reference);

}  // namespace oracle
