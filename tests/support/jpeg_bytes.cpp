#include "support/jpeg_bytes.h"

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE
#include <stdexcept>

#include <jpeglib.h>

namespace jpegbytes {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// libjpeg's defaults are the annex K tables; read them through its public structures.
DhtTable FromLibjpeg(bool ac, int index, uint8_t id)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_YCbCr;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    const JHUFF_TBL* source = ac ? cinfo.ac_huff_tbl_ptrs[index] : cinfo.dc_huff_tbl_ptrs[index];
    DhtTable table;
    table.classAndId = static_cast<uint8_t>((ac ? 0x10 : 0x00) | (id & 0x0F));
    int total = 0;
    for (int i = 0; i < 16; ++i) {
        table.counts[i] = source->bits[i + 1];
        total += source->bits[i + 1];
    }
    table.symbols.assign(source->huffval, source->huffval + total);
    jpeg_destroy_compress(&cinfo);
    return table;
}

int MagnitudeClass(int32_t value)
{
    uint32_t magnitude = static_cast<uint32_t>(value < 0 ? -value : value);
    int size = 0;
    while (magnitude != 0) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

// The low size bits of value, as the standard codes negative values (one's complement).
uint32_t MagnitudeBits(int32_t value, int size)
{
    const int32_t bits = value < 0 ? value - 1 : value;
    return static_cast<uint32_t>(bits) & ((size == 0) ? 0u : ((1u << size) - 1u));
}

}  // namespace

DhtTable StandardDcLuminance(uint8_t id) { return FromLibjpeg(false, 0, id); }
DhtTable StandardAcLuminance(uint8_t id) { return FromLibjpeg(true, 0, id); }
DhtTable StandardDcChrominance(uint8_t id) { return FromLibjpeg(false, 1, id); }
DhtTable StandardAcChrominance(uint8_t id) { return FromLibjpeg(true, 1, id); }

std::array<uint16_t, 64> FlatQuant(uint16_t value)
{
    std::array<uint16_t, 64> table;
    table.fill(value);
    return table;
}

std::vector<FrameComponent> CameraComponents() { return {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}; }

std::vector<ScanComponent> CameraScan() { return {{1, 0, 0}, {2, 1, 1}, {3, 1, 1}}; }

std::vector<uint8_t> DhtTablePayload(const DhtTable& table)
{
    std::vector<uint8_t> out(1 + table.counts.size() + table.symbols.size());
    out[0] = table.classAndId;
    std::copy(table.counts.begin(), table.counts.end(), out.begin() + 1);
    std::copy(table.symbols.begin(), table.symbols.end(), out.begin() + 1 + 16);
    return out;
}

JpegBuilder& JpegBuilder::Bytes(std::initializer_list<uint8_t> bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

JpegBuilder& JpegBuilder::Bytes(const std::vector<uint8_t>& bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

JpegBuilder& JpegBuilder::Fill(std::size_t count, uint8_t value)
{
    bytes_.insert(bytes_.end(), count, value);
    return *this;
}

JpegBuilder& JpegBuilder::Marker(uint8_t code) { return Bytes({0xFF, code}); }

JpegBuilder& JpegBuilder::Segment(uint8_t code, const std::vector<uint8_t>& payload)
{
    if (payload.size() + 2 > 0xFFFF)
        throw std::length_error("segment payload too long");
    return SegmentWithLength(code, static_cast<uint16_t>(payload.size() + 2), payload);
}

JpegBuilder& JpegBuilder::SegmentWithLength(uint8_t code, uint16_t length, const std::vector<uint8_t>& payload)
{
    Marker(code);
    Put16(bytes_, length);
    return Bytes(payload);
}

JpegBuilder& JpegBuilder::Dqt(uint8_t id, const std::array<uint16_t, 64>& entries, bool sixteenBit)
{
    std::vector<uint8_t> payload;
    payload.push_back(static_cast<uint8_t>((sixteenBit ? 0x10 : 0x00) | (id & 0x0F)));
    for (uint16_t entry : entries) {
        if (sixteenBit)
            Put16(payload, entry);
        else
            payload.push_back(static_cast<uint8_t>(entry));
    }
    return Segment(0xDB, payload);
}

JpegBuilder& JpegBuilder::FlatQuantTables(uint16_t value) { return Dqt(0, FlatQuant(value)).Dqt(1, FlatQuant(value)); }

JpegBuilder& JpegBuilder::Dht(const DhtTable& table) { return Segment(0xC4, DhtTablePayload(table)); }

JpegBuilder& JpegBuilder::Dht(const std::vector<DhtTable>& tables)
{
    std::vector<uint8_t> payload;
    for (const DhtTable& table : tables) {
        const std::vector<uint8_t> one = DhtTablePayload(table);
        payload.insert(payload.end(), one.begin(), one.end());
    }
    return Segment(0xC4, payload);
}

JpegBuilder& JpegBuilder::StandardTables()
{
    return Dht(StandardDcLuminance()).Dht(StandardAcLuminance()).Dht(StandardDcChrominance()).Dht(
        StandardAcChrominance());
}

JpegBuilder& JpegBuilder::Sof(uint8_t code, uint16_t width, uint16_t height,
                              const std::vector<FrameComponent>& components, uint8_t precision)
{
    std::vector<uint8_t> payload;
    payload.push_back(precision);
    Put16(payload, height);
    Put16(payload, width);
    payload.push_back(static_cast<uint8_t>(components.size()));
    for (const FrameComponent& c : components) {
        payload.push_back(c.id);
        payload.push_back(static_cast<uint8_t>((c.h << 4) | (c.v & 0x0F)));
        payload.push_back(c.quant);
    }
    return Segment(code, payload);
}

JpegBuilder& JpegBuilder::Dri(uint16_t interval)
{
    std::vector<uint8_t> payload;
    Put16(payload, interval);
    return Segment(0xDD, payload);
}

JpegBuilder& JpegBuilder::Sos(const std::vector<ScanComponent>& components, uint8_t ss, uint8_t se, uint8_t ahAl)
{
    std::vector<uint8_t> payload;
    payload.push_back(static_cast<uint8_t>(components.size()));
    for (const ScanComponent& c : components) {
        payload.push_back(c.id);
        payload.push_back(static_cast<uint8_t>((c.dc << 4) | (c.ac & 0x0F)));
    }
    payload.push_back(ss);
    payload.push_back(se);
    payload.push_back(ahAl);
    return Segment(0xDA, payload);
}

JpegBuilder& JpegBuilder::App(uint8_t n, const std::vector<uint8_t>& payload)
{
    return Segment(static_cast<uint8_t>(0xE0 + (n & 0x0F)), payload);
}

JpegBuilder& JpegBuilder::Com(const std::vector<uint8_t>& payload) { return Segment(0xFE, payload); }

std::array<HuffmanCode, 256> CanonicalCodes(const DhtTable& table)
{
    std::array<HuffmanCode, 256> codes{};
    uint32_t code = 0;
    size_t symbol = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int n = 0; n < table.counts[length - 1] && symbol < table.symbols.size(); ++n, ++symbol, ++code)
            codes[table.symbols[symbol]] = HuffmanCode{static_cast<uint16_t>(code), static_cast<uint8_t>(length)};
        code <<= 1;
    }
    return codes;
}

BitWriter& BitWriter::Put(uint32_t value, int bits)
{
    for (int i = bits - 1; i >= 0; --i) {
        pending_ = (pending_ << 1) | ((value >> i) & 1u);
        if (++pendingBits_ == 8) {
            bytes_.push_back(static_cast<uint8_t>(pending_));
            if (pending_ == 0xFF)
                bytes_.push_back(0x00);
            pending_ = 0;
            pendingBits_ = 0;
        }
    }
    return *this;
}

BitWriter& BitWriter::PutSymbol(const DhtTable& table, uint8_t symbol)
{
    const HuffmanCode code = CanonicalCodes(table)[symbol];
    if (code.length == 0)
        throw std::invalid_argument("symbol has no code in this table");
    return Put(code.code, code.length);
}

BitWriter& BitWriter::PutDc(const DhtTable& table, int32_t difference)
{
    const int size = MagnitudeClass(difference);
    PutSymbol(table, static_cast<uint8_t>(size));
    return Put(MagnitudeBits(difference, size), size);
}

BitWriter& BitWriter::PutAc(const DhtTable& table, int run, int32_t value)
{
    const int size = MagnitudeClass(value);
    PutSymbol(table, static_cast<uint8_t>((run << 4) | size));
    return Put(MagnitudeBits(value, size), size);
}

std::vector<uint8_t> BitWriter::Finish()
{
    if (pendingBits_ != 0)
        Put(0xFF, 8 - pendingBits_);
    std::vector<uint8_t> out;
    out.swap(bytes_);
    return out;
}

}  // namespace jpegbytes
