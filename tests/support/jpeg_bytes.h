// Builds JPEG byte fixtures segment by segment: well-formed ones from a few
// fields, malformed ones by giving lengths and payloads by hand, and
// entropy-coded data from symbols and magnitude bits.
//
//   jpegbytes::JpegBuilder jpeg;
//   jpeg.Soi().FlatQuantTables(1).StandardTables()
//       .Sof(0xC0, 320, 240, jpegbytes::CameraComponents())
//       .Sos({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}}).Bytes(scanData).Eoi();
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace jpegbytes {

// One Huffman table as a DHT segment carries it.
struct DhtTable {
    uint8_t classAndId = 0;            // bit 4: 0 = DC, 1 = AC; bits 3..0: identifier
    std::array<uint8_t, 16> counts{};  // number of codes of length 1..16
    std::vector<uint8_t> symbols;      // in code order
};

struct FrameComponent {
    uint8_t id;
    uint8_t h;  // sampling factors
    uint8_t v;
    uint8_t quant;  // quantisation-table selector
};

struct ScanComponent {
    uint8_t id;
    uint8_t dc;  // table selectors as written (4 bits each)
    uint8_t ac;
};

// The example tables of the JPEG standard (annex K), as libjpeg installs them by default.
DhtTable StandardDcLuminance(uint8_t id = 0);
DhtTable StandardAcLuminance(uint8_t id = 0);
DhtTable StandardDcChrominance(uint8_t id = 1);
DhtTable StandardAcChrominance(uint8_t id = 1);

std::array<uint16_t, 64> FlatQuant(uint16_t value);

// Y at 2x1 with quantisation table 0, Cb and Cr at 1x1 with table 1 (identifiers 1, 2, 3).
std::vector<FrameComponent> CameraComponents();
// Scan of every component of CameraComponents: Y with tables 0, Cb and Cr with tables 1.
std::vector<ScanComponent> CameraScan();

std::vector<uint8_t> DhtTablePayload(const DhtTable& table);  // class/id byte, counts, symbols

class JpegBuilder {
public:
    JpegBuilder& Bytes(std::initializer_list<uint8_t> bytes);
    JpegBuilder& Bytes(const std::vector<uint8_t>& bytes);
    JpegBuilder& Fill(std::size_t count, uint8_t value);
    JpegBuilder& Marker(uint8_t code);  // FF code, no length
    JpegBuilder& Soi() { return Marker(0xD8); }
    JpegBuilder& Eoi() { return Marker(0xD9); }
    // Marker, a length of payload + 2, the payload.
    JpegBuilder& Segment(uint8_t code, const std::vector<uint8_t>& payload);
    // Marker, the given length whatever the payload holds, the payload.
    JpegBuilder& SegmentWithLength(uint8_t code, uint16_t length, const std::vector<uint8_t>& payload);

    JpegBuilder& Dqt(uint8_t id, const std::array<uint16_t, 64>& entries, bool sixteenBit = false);
    JpegBuilder& FlatQuantTables(uint16_t value);  // tables 0 and 1, 8-bit
    JpegBuilder& Dht(const DhtTable& table);
    JpegBuilder& Dht(const std::vector<DhtTable>& tables);  // all in one segment
    JpegBuilder& StandardTables();                             // four segments: DC 0, AC 0, DC 1, AC 1
    JpegBuilder& Sof(uint8_t code, uint16_t width, uint16_t height, const std::vector<FrameComponent>& components,
                     uint8_t precision = 8);
    JpegBuilder& Dri(uint16_t interval);
    JpegBuilder& Sos(const std::vector<ScanComponent>& components, uint8_t ss = 0, uint8_t se = 63,
                     uint8_t ahAl = 0);
    JpegBuilder& App(uint8_t n, const std::vector<uint8_t>& payload);
    JpegBuilder& Com(const std::vector<uint8_t>& payload);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    const uint8_t* data() const { return bytes_.data(); }
    int32_t size() const { return static_cast<int32_t>(bytes_.size()); }

private:
    std::vector<uint8_t> bytes_;
};

struct HuffmanCode {
    uint16_t code = 0;
    uint8_t length = 0;  // 0: the symbol has no code
};

// The canonical code of every symbol value of the table.
std::array<HuffmanCode, 256> CanonicalCodes(const DhtTable& table);

// Entropy-coded data: bits first-most-significant, 0xFF followed by a stuffed 0x00,
// the last byte padded with 1-bits.
class BitWriter {
public:
    BitWriter& Put(uint32_t value, int bits);
    BitWriter& PutSymbol(const DhtTable& table, uint8_t symbol);
    // The Huffman symbol of a value's magnitude class, then its magnitude bits.
    BitWriter& PutDc(const DhtTable& table, int32_t difference);
    // Symbol run * 16 + size, then the magnitude bits of a non-zero value.
    BitWriter& PutAc(const DhtTable& table, int run, int32_t value);
    std::vector<uint8_t> Finish();

private:
    std::vector<uint8_t> bytes_;
    uint32_t pending_ = 0;
    int pendingBits_ = 0;
};

}  // namespace jpegbytes
