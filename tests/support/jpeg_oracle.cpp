#include "jpeg_oracle.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The decoder's headers come first: jpeglib.h defines MAX_COMPONENTS as a macro.
#include "decoder/decoder.h"
#include "decoder/input.h"

#include <jpeglib.h>

namespace oracle {

const int kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

namespace {

// libjpeg reports fatal errors through error_exit; we jump back out of it. The
// functions that set the jump point keep no object with a destructor across it.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info)
{
    ErrorManager* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

void InstallErrors(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.message[0] = '\0';
}

HuffmanTable FromLibjpeg(const JHUFF_TBL* t)
{
    HuffmanTable table;
    int total = 0;
    for (int l = 1; l <= 16; ++l) {
        table.bits[l] = t->bits[l];
        total += t->bits[l];
    }
    table.values.assign(t->huffval, t->huffval + total);
    table.Derive();
    return table;
}

struct StandardTables {
    HuffmanTable dc[2], ac[2];
};

StandardTables LoadStandardTables()
{
    StandardTables tables;
    jpeg_compress_struct c;
    ErrorManager err;
    InstallErrors(err);
    c.err = &err.pub;
    jpeg_create_compress(&c);
    c.in_color_space = JCS_RGB;
    c.input_components = 3;
    jpeg_set_defaults(&c);
    for (int i = 0; i < 2; ++i) {
        tables.dc[i] = FromLibjpeg(c.dc_huff_tbl_ptrs[i]);
        tables.ac[i] = FromLibjpeg(c.ac_huff_tbl_ptrs[i]);
    }
    jpeg_destroy_compress(&c);
    return tables;
}

const StandardTables& Standard()
{
    static const StandardTables tables = LoadStandardTables();
    return tables;
}

// Runs libjpeg's compressor; false on a libjpeg error. Out-parameters only, see ErrorManager.
bool RunCompress(const RgbPicture& picture, const EncodeOptions& options, unsigned char** buffer,
                 unsigned long* size)
{
    jpeg_compress_struct c;
    ErrorManager err;
    InstallErrors(err);
    c.err = &err.pub;
    if (setjmp(err.jump) != 0) {
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, buffer, size);
    c.image_width = static_cast<JDIMENSION>(picture.width);
    c.image_height = static_cast<JDIMENSION>(picture.height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    if (options.components == 1) {
        jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    } else {
        c.comp_info[0].h_samp_factor = options.lumaH;
        c.comp_info[0].v_samp_factor = options.lumaV;
        for (int i = 1; i < 3; ++i)
            c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    }
    jpeg_set_quality(&c, options.quality, TRUE);
    c.restart_interval = static_cast<unsigned int>(options.restartInterval);
    c.dct_method = JDCT_ISLOW;
    c.optimize_coding = FALSE;
    if (options.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.rgb.data() +
                                            static_cast<size_t>(c.next_scanline) * picture.width * 3);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

bool RunDecompress(const std::vector<uint8_t>& jpeg, bool ycc, DecodedPicture* out, char* message)
{
    jpeg_decompress_struct d;
    ErrorManager err;
    InstallErrors(err);
    d.err = &err.pub;
    if (setjmp(err.jump) != 0) {
        std::strcpy(message, err.message);
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    d.do_fancy_upsampling = FALSE;
    d.do_block_smoothing = FALSE;
    if (d.num_components == 1)
        d.out_color_space = JCS_GRAYSCALE;
    else
        d.out_color_space = ycc ? JCS_YCbCr : JCS_RGB;
    jpeg_start_decompress(&d);
    out->width = static_cast<int>(d.output_width);
    out->height = static_cast<int>(d.output_height);
    out->channels = d.output_components;
    out->pixels.resize(static_cast<size_t>(out->width) * out->height * out->channels);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out->pixels.data() + static_cast<size_t>(d.output_scanline) * out->width * out->channels;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

DecodedPicture Decompress(const std::vector<uint8_t>& jpeg, bool ycc)
{
    DecodedPicture picture;
    char message[JMSG_LENGTH_MAX] = {};
    if (!RunDecompress(jpeg, ycc, &picture, message)) {
        picture = DecodedPicture();
        picture.error = message[0] != '\0' ? message : "libjpeg error";
    }
    return picture;
}

// What Reencode needs from a libjpeg coefficient read.
struct CoefficientImage {
    int width = 0, height = 0;
    std::vector<JpegWriter::Component> components;
    uint16_t quant[4][64] = {};  // zig-zag order
    bool quantUsed[4] = {};
    // Per component: blocks across and down (MCU-padded), zig-zag coefficients per block.
    std::vector<int> blocksWide, blocksHigh;
    std::vector<std::vector<int16_t>> coefficients;
};

bool ReadCoefficients(const std::vector<uint8_t>& jpeg, CoefficientImage* image)
{
    jpeg_decompress_struct d;
    ErrorManager err;
    InstallErrors(err);
    d.err = &err.pub;
    if (setjmp(err.jump) != 0) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
    image->width = static_cast<int>(d.image_width);
    image->height = static_cast<int>(d.image_height);
    int maxH = 1, maxV = 1;
    for (int c = 0; c < d.num_components; ++c) {
        maxH = std::max(maxH, d.comp_info[c].h_samp_factor);
        maxV = std::max(maxV, d.comp_info[c].v_samp_factor);
    }
    const int mcusWide = (image->width + 8 * maxH - 1) / (8 * maxH);
    const int mcusHigh = (image->height + 8 * maxV - 1) / (8 * maxV);
    for (int c = 0; c < d.num_components; ++c) {
        const jpeg_component_info& ci = d.comp_info[c];
        image->components.push_back({ci.component_id, ci.h_samp_factor, ci.v_samp_factor, ci.quant_tbl_no});
        if (!image->quantUsed[ci.quant_tbl_no]) {
            image->quantUsed[ci.quant_tbl_no] = true;
            for (int k = 0; k < 64; ++k)
                image->quant[ci.quant_tbl_no][k] = d.quant_tbl_ptrs[ci.quant_tbl_no]->quantval[kZigzag[k]];
        }
        // One component alone is a non-interleaved scan: only its real blocks exist.
        const int wide = d.num_components == 1 ? static_cast<int>(ci.width_in_blocks) : mcusWide * ci.h_samp_factor;
        const int high = d.num_components == 1 ? static_cast<int>(ci.height_in_blocks) : mcusHigh * ci.v_samp_factor;
        image->blocksWide.push_back(wide);
        image->blocksHigh.push_back(high);
        image->coefficients.emplace_back(static_cast<size_t>(wide) * high * 64, 0);
        for (int by = 0; by < high; ++by) {
            JBLOCKARRAY rows = (*d.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&d), arrays[c],
                                                             static_cast<JDIMENSION>(by), 1, FALSE);
            for (int bx = 0; bx < wide; ++bx)
                for (int k = 0; k < 64; ++k)
                    image->coefficients[c][(static_cast<size_t>(by) * wide + bx) * 64 + k] =
                        rows[0][bx][kZigzag[k]];
        }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

}  // namespace

void HuffmanTable::Derive()
{
    std::memset(code, 0, sizeof(code));
    std::memset(size, 0, sizeof(size));
    uint32_t next = 0;
    size_t index = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < bits[length] && index < values.size(); ++i, ++index) {
            code[values[index]] = static_cast<uint16_t>(next++);
            size[values[index]] = static_cast<uint8_t>(length);
        }
        next <<= 1;
    }
}

HuffmanTable StandardDcTable(int chroma) { return Standard().dc[chroma ? 1 : 0]; }
HuffmanTable StandardAcTable(int chroma) { return Standard().ac[chroma ? 1 : 0]; }

int MagnitudeBits(int value)
{
    unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
    int bits = 0;
    while (magnitude != 0) {
        ++bits;
        magnitude >>= 1;
    }
    return bits;
}

void JpegWriter::Word(uint16_t w)
{
    Byte(static_cast<uint8_t>(w >> 8));
    Byte(static_cast<uint8_t>(w));
}

void JpegWriter::Marker(uint8_t code)
{
    Byte(0xFF);
    Byte(code);
}

void JpegWriter::Eoi()
{
    Flush();
    Marker(0xD9);
}

void JpegWriter::Dqt(int id, const uint16_t* zigzagValues, bool sixteenBit)
{
    Marker(0xDB);
    Word(static_cast<uint16_t>(2 + 1 + (sixteenBit ? 128 : 64)));
    Byte(static_cast<uint8_t>((sixteenBit ? 0x10 : 0) | id));
    for (int k = 0; k < 64; ++k) {
        if (sixteenBit)
            Word(zigzagValues[k]);
        else
            Byte(static_cast<uint8_t>(zigzagValues[k]));
    }
}

void JpegWriter::Dht(int tableClass, int id, const HuffmanTable& table)
{
    Marker(0xC4);
    Word(static_cast<uint16_t>(2 + 17 + table.values.size()));
    Byte(static_cast<uint8_t>((tableClass << 4) | id));
    for (int l = 1; l <= 16; ++l)
        Byte(table.bits[l]);
    for (uint8_t v : table.values)
        Byte(v);
}

void JpegWriter::StandardTables()
{
    for (int i = 0; i < 2; ++i) {
        Dht(0, i, StandardDcTable(i));
        Dht(1, i, StandardAcTable(i));
    }
}

void JpegWriter::Sof(uint8_t marker, int width, int height, const std::vector<Component>& components)
{
    Marker(marker);
    Word(static_cast<uint16_t>(8 + 3 * components.size()));
    Byte(8);
    Word(static_cast<uint16_t>(height));
    Word(static_cast<uint16_t>(width));
    Byte(static_cast<uint8_t>(components.size()));
    for (const Component& c : components) {
        Byte(static_cast<uint8_t>(c.id));
        Byte(static_cast<uint8_t>((c.h << 4) | c.v));
        Byte(static_cast<uint8_t>(c.quant));
    }
}

void JpegWriter::Dri(int interval)
{
    Marker(0xDD);
    Word(4);
    Word(static_cast<uint16_t>(interval));
}

void JpegWriter::Sos(const std::vector<ScanComponent>& components)
{
    Marker(0xDA);
    Word(static_cast<uint16_t>(6 + 2 * components.size()));
    Byte(static_cast<uint8_t>(components.size()));
    for (const ScanComponent& c : components) {
        Byte(static_cast<uint8_t>(c.id));
        Byte(static_cast<uint8_t>((c.dcTable << 4) | c.acTable));
    }
    Byte(0);
    Byte(63);
    Byte(0);
}

void JpegWriter::Bits(uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        bitBuffer_ = (bitBuffer_ << 1) | ((value >> i) & 1u);
        if (++bitCount_ == 8) {
            const uint8_t b = static_cast<uint8_t>(bitBuffer_);
            Byte(b);
            if (b == 0xFF)
                Byte(0x00);
            bitBuffer_ = 0;
            bitCount_ = 0;
        }
    }
}

void JpegWriter::Symbol(const HuffmanTable& table, int symbol)
{
    if (table.size[symbol] == 0) {
        std::fprintf(stderr, "JpegWriter: symbol 0x%02X has no code\n", symbol);
        std::abort();
    }
    Bits(table.code[symbol], table.size[symbol]);
}

void JpegWriter::DcDiff(const HuffmanTable& table, int diff)
{
    const int bits = MagnitudeBits(diff);
    Symbol(table, bits);
    if (bits != 0)
        Bits(static_cast<uint32_t>(diff < 0 ? diff + (1 << bits) - 1 : diff), bits);
}

void JpegWriter::Ac(const HuffmanTable& table, int run, int value)
{
    const int bits = MagnitudeBits(value);
    Symbol(table, (run << 4) | bits);
    Bits(static_cast<uint32_t>(value < 0 ? value + (1 << bits) - 1 : value), bits);
}

void JpegWriter::Block(const HuffmanTable& dc, const HuffmanTable& ac, const int16_t* zz, int& pred)
{
    DcDiff(dc, zz[0] - pred);
    pred = zz[0];
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (zz[k] == 0) {
            ++run;
            continue;
        }
        while (run > 15) {
            Zrl(ac);
            run -= 16;
        }
        Ac(ac, run, zz[k]);
        run = 0;
    }
    if (run > 0)
        Eob(ac);
}

void JpegWriter::Flush()
{
    if (bitCount_ > 0)
        Bits(0xFF, 8 - bitCount_);
}

void JpegWriter::Rst(int n)
{
    Flush();
    Marker(static_cast<uint8_t>(0xD0 + (n & 7)));
}

std::vector<uint8_t> Compress(const RgbPicture& picture, const EncodeOptions& options)
{
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = RunCompress(picture, options, &buffer, &size);
    std::vector<uint8_t> jpeg;
    if (ok)
        jpeg.assign(buffer, buffer + size);
    std::free(buffer);
    if (ok && !options.scanOrder.empty())
        return Reencode(jpeg, options.scanOrder, options.restartInterval);
    return jpeg;
}

DecodedPicture DecompressRgb(const std::vector<uint8_t>& jpeg) { return Decompress(jpeg, false); }
DecodedPicture DecompressYcc(const std::vector<uint8_t>& jpeg) { return Decompress(jpeg, true); }

std::vector<uint8_t> Reencode(const std::vector<uint8_t>& jpeg, const std::vector<int>& scanOrder,
                              int restartInterval)
{
    CoefficientImage image;
    if (!ReadCoefficients(jpeg, &image))
        return {};
    const int comps = static_cast<int>(image.components.size());

    JpegWriter w;
    w.Soi();
    for (int t = 0; t < 4; ++t)
        if (image.quantUsed[t])
            w.Dqt(t, image.quant[t]);
    w.Sof(0xC0, image.width, image.height, image.components);
    w.StandardTables();
    if (restartInterval > 0)
        w.Dri(restartInterval);
    std::vector<JpegWriter::ScanComponent> scan;
    for (int c : scanOrder)
        scan.push_back({image.components[c].id, c == 0 ? 0 : 1, c == 0 ? 0 : 1});
    w.Sos(scan);

    const HuffmanTable dc[2] = {StandardDcTable(0), StandardDcTable(1)};
    const HuffmanTable ac[2] = {StandardAcTable(0), StandardAcTable(1)};
    std::vector<int> pred(comps, 0);
    // A scan of one component codes its blocks one by one; otherwise by MCU.
    const bool single = scanOrder.size() == 1;
    const int unitsWide = single ? image.blocksWide[scanOrder[0]] : image.blocksWide[0] / image.components[0].h;
    const int unitsHigh = single ? image.blocksHigh[scanOrder[0]] : image.blocksHigh[0] / image.components[0].v;
    int unit = 0, restartNumber = 0;
    for (int my = 0; my < unitsHigh; ++my) {
        for (int mx = 0; mx < unitsWide; ++mx, ++unit) {
            if (restartInterval > 0 && unit > 0 && unit % restartInterval == 0) {
                w.Rst(restartNumber++);
                std::fill(pred.begin(), pred.end(), 0);
            }
            for (int c : scanOrder) {
                const JpegWriter::Component& comp = image.components[c];
                const int h = single ? 1 : comp.h;
                const int v = single ? 1 : comp.v;
                for (int by = 0; by < v; ++by)
                    for (int bx = 0; bx < h; ++bx) {
                        const size_t block =
                            static_cast<size_t>(my * v + by) * image.blocksWide[c] + static_cast<size_t>(mx * h + bx);
                        w.Block(dc[c == 0 ? 0 : 1], ac[c == 0 ? 0 : 1], &image.coefficients[c][block * 64], pred[c]);
                    }
            }
        }
    }
    w.Eoi();
    return w.bytes;
}

OurDecode DecodeOurs(const std::vector<uint8_t>& jpeg, Format format, int64_t destLength, uint8_t fill)
{
    OurDecode out;
    MemorySource& source = g_Decoder.memorySource;
    MemorySourceInit(&source, jpeg.data(), static_cast<int32_t>(jpeg.size()));
    DecoderStart(&source);
    const int64_t bytesPerPixel = format == Format::Bgr24 ? 3 : 2;
    if (destLength < 0)
        destLength = static_cast<int64_t>(GetImageWidth()) * GetImageHeight() * bytesPerPixel;
    std::vector<uint8_t> buffer(static_cast<size_t>(destLength) + kCanaryBytes, fill);
    out.result = format == Format::Bgr24
                     ? DecodeFrameToBgr24(&out.width, &out.height, buffer.data(), static_cast<uint32_t>(destLength))
                     : DecodeFrameToUyvy(&out.width, &out.height, buffer.data(), static_cast<uint32_t>(destLength));
    out.error = GetDecoderError();
    DecoderFreeAll();
    for (size_t i = 0; i < kCanaryBytes; ++i)
        if (buffer[static_cast<size_t>(destLength) + i] != fill)
            out.canaryIntact = false;
    buffer.resize(static_cast<size_t>(destLength));
    out.frame = std::move(buffer);
    return out;
}

namespace {

struct DifferenceSum {
    Difference d;
    double total = 0;
    void Add(int ours, int reference)
    {
        const int diff = ours > reference ? ours - reference : reference - ours;
        d.maxAbs = std::max(d.maxAbs, diff);
        total += diff;
        ++d.samples;
    }
    Difference Done()
    {
        d.meanAbs = d.samples != 0 ? total / static_cast<double>(d.samples) : 0;
        return d;
    }
};

}  // namespace

Difference CompareBgr24(const OurDecode& ours, const DecodedPicture& reference)
{
    DifferenceSum sum;
    const int w = reference.width, h = reference.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* o = &ours.frame[(static_cast<size_t>(h - 1 - y) * w + x) * 3];
            const uint8_t* r = &reference.pixels[(static_cast<size_t>(y) * w + x) * reference.channels];
            for (int c = 0; c < 3; ++c)
                sum.Add(o[c], reference.channels == 1 ? r[0] : r[2 - c]);
        }
    return sum.Done();
}

Difference CompareUyvy(const OurDecode& ours, const DecodedPicture& reference)
{
    DifferenceSum sum;
    const int w = reference.width, h = reference.height;
    for (int y = 0; y < h; ++y) {
        const uint8_t* line = &ours.frame[static_cast<size_t>(y) * w * 2];
        for (int x = 0; x < w; x += 2) {
            const uint8_t* first = &reference.pixels[(static_cast<size_t>(y) * w + x) * reference.channels];
            const int cb = reference.channels == 1 ? 128 : first[1];
            const int cr = reference.channels == 1 ? 128 : first[2];
            sum.Add(line[2 * x], cb);
            sum.Add(line[2 * x + 1], first[0]);
            if (x + 1 < w) {
                const uint8_t* second = first + reference.channels;
                sum.Add(line[2 * x + 2], cr);
                sum.Add(line[2 * x + 3], second[0]);
            }
        }
    }
    return sum.Done();
}

}  // namespace oracle
