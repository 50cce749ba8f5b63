// Decodes one fuzzed picture the way the raw-frame callback does: MemorySourceInit,
// DecoderStart, one decode entry, DecoderFreeAll.
//
// Input: two option bytes, then the picture.
//   byte 0, bit 0     UYVY instead of BGR24
//   byte 0, bits 1-2  destination: 0 or 3 exactly the frame's size, 1 smaller, 2 larger
//   byte 0, bit 3     fail the pool allocation numbered by byte 1 (1..256)
//   byte 1            how much smaller or larger the destination is; the failing allocation
//
// Checks: nothing written past the frame's bytes or the destination, a picture that does not
// fit is never reported decoded, a decoded picture writes every byte of its frame (two
// decodes over differently filled buffers agree), no pool block outlives the picture and the
// pool saw no rule broken.
//
// Setting PELSK_FUZZ_WRITE_SEEDS=DIR writes seed inputs (small pictures of several layouts
// made with libjpeg-turbo, and the pictures named in PELSK_FUZZ_SEED_PICTURES, colon-separated)
// and exits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/input.h"
#include "host/camera_encoder.h"
#include "fuzz/seed_files.h"
#include "host/kernel_pool.h"

// After the decoder's headers: libjpeg defines a macro with a name the decoder uses.
#include <jpeglib.h>

namespace {

// The driver hands the decoder the upper half of a capture buffer; longer inputs only slow
// the search down.
constexpr size_t kMaxPictureBytes = 65536;
// Seeds are cut to what the driver hands the decoder: the upper half of a capture buffer.
constexpr size_t kSeedPictureBytes = 32768;
// Frame headers may announce up to 8192 x 8192; larger frames get a destination that is too
// small, which the decoder must refuse before decoding anything.
constexpr uint64_t kMaxDestinationBytes = 4u << 20;
constexpr size_t kCanaryBytes = 64;
constexpr uint8_t kCanary = 0x5A;

struct Options {
    bool uyvy;
    uint32_t sizeMode;
    bool failAllocation;
    uint32_t amount;
};

[[noreturn]] void Fail(const char* what, const std::string& detail = std::string())
{
    std::fprintf(stderr, "decoder_fuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

// The harness's own byte loops stay out of the coverage feedback: they would only slow it.
#define HARNESS_LOOP __attribute__((no_sanitize("coverage")))

// Index of the first byte in [from, to) that is not `value`, or `to`.
HARNESS_LOOP size_t FirstOtherThan(const std::vector<uint8_t>& bytes, size_t from, size_t to, uint8_t value)
{
    for (size_t i = from; i < to; ++i)
        if (bytes[i] != value)
            return i;
    return to;
}

HARNESS_LOOP uint32_t Sum(const std::vector<uint8_t>& bytes, size_t count)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

void CheckPool()
{
    const std::string violations = host::PoolTakeViolations();
    if (!violations.empty())
        Fail("pool rule broken:", violations);
    if (host::PoolGetCounts().outstandingBlocks != 0) {
        host::PoolReportOutstanding(stderr);
        Fail("pool blocks outlive the picture");
    }
}

// One picture through the driver's calling order; the destination is filled with `fill` first.
int32_t DecodeOnce(const uint8_t* picture, size_t size, const Options& options, uint32_t bytesPerPixel,
                   std::vector<uint8_t>& frame, uint64_t& needed, uint32_t& destLength, uint8_t fill)
{
    MemorySourceInit(&g_Decoder.memorySource, picture, static_cast<int32_t>(size));
    DecoderStart(&g_Decoder.memorySource);

    const uint64_t width = static_cast<uint64_t>(GetImageWidth() > 0 ? GetImageWidth() : 0);
    const uint64_t height = static_cast<uint64_t>(GetImageHeight() > 0 ? GetImageHeight() : 0);
    needed = width * height * bytesPerPixel;
    uint64_t length = needed;
    if (options.sizeMode == 1)
        length = needed > options.amount + 1 ? needed - options.amount - 1 : 0;
    else if (options.sizeMode == 2)
        length = needed + options.amount + 1;
    if (length > kMaxDestinationBytes)
        length = kMaxDestinationBytes;
    destLength = static_cast<uint32_t>(length);

    frame.assign(destLength + kCanaryBytes, fill);
    std::memset(frame.data() + destLength, kCanary, kCanaryBytes);

    if (options.failAllocation)
        host::PoolFailNthAllocation(options.amount + 1);
    int32_t width32 = -1, height32 = -1;
    const int32_t failed = options.uyvy ? DecodeFrameToUyvy(&width32, &height32, frame.data(), destLength)
                                        : DecodeFrameToBgr24(&width32, &height32, frame.data(), destLength);
    DecoderFreeAll();
    host::PoolClearFaults();
    CheckPool();

    if (static_cast<uint64_t>(width32 < 0 ? 0 : width32) != width ||
        static_cast<uint64_t>(height32 < 0 ? 0 : height32) != height)
        Fail("decode entry reports another frame size than the frame header");
    // Past the frame's bytes (and past the destination) nothing may change.
    const size_t untouchedFrom = static_cast<size_t>(needed < destLength ? needed : destLength);
    const size_t touched = FirstOtherThan(frame, untouchedFrom, destLength, fill);
    if (touched != destLength)
        Fail("write past the frame's bytes, at", std::to_string(touched));
    const size_t canaryHit = FirstOtherThan(frame, destLength, frame.size(), kCanary);
    if (canaryHit != frame.size())
        Fail("write past the destination, at", std::to_string(canaryHit));
    if (failed == 0 && needed > destLength)
        Fail("a frame larger than the destination reported decoded");
    if (failed != 0 && failed != 1)
        Fail("decode entry result is neither 0 nor 1:", std::to_string(failed));
    return failed;
}

void WriteSeed(const std::string& path, uint8_t option0, uint8_t option1, const std::vector<uint8_t>& picture)
{
    std::vector<uint8_t> input{option0, option1};
    input.insert(input.end(), picture.begin(), picture.begin() + std::min(picture.size(), kSeedPictureBytes));
    fuzzseeds::WriteFile(path, input);
}

struct SeedLayout {
    const char* name;
    int width, height, components;
    int lumaH, lumaV;  // chroma is 1 x 1
    bool progressive;
    int restartRows;
    uint8_t option;  // the first option byte
};

// A small picture of the given layout, compressed by libjpeg-turbo.
std::vector<uint8_t> EncodeLayout(const SeedLayout& layout)
{
    const host::RgbImage image = host::RenderTestPattern(layout.width, layout.height, 3);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(layout.width);
    cinfo.image_height = static_cast<JDIMENSION>(layout.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 75, TRUE);
    if (layout.components == 1)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    cinfo.comp_info[0].h_samp_factor = layout.lumaH;
    cinfo.comp_info[0].v_samp_factor = layout.lumaV;
    for (int c = 1; c < cinfo.num_components; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    if (layout.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.restart_in_rows = layout.restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    const int rowBytes = layout.width * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(image.pixels.data()) + cinfo.next_scanline * rowBytes;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> jpeg(buffer, buffer + size);
    std::free(buffer);
    return jpeg;
}

void WriteSeeds(const std::string& dir, const std::string& pictures)
{
    // Option byte: bit 0 UYVY, bits 1-2 destination 0 exact, 1 smaller, 2 larger.
    const SeedLayout layouts[] = {
        {"camera_32x16", 32, 16, 3, 2, 1, false, 0, 0x00},
        {"camera_48x24_rst", 48, 24, 3, 2, 1, false, 1, 0x01},
        {"camera_40x8_odd_width", 40, 8, 3, 2, 1, false, 0, 0x00},
        {"grey_24x16", 24, 16, 1, 1, 1, false, 0, 0x01},
        {"ycc420_32x32", 32, 32, 3, 2, 2, false, 0, 0x04},
        {"ycc444_16x16", 16, 16, 3, 1, 1, false, 0, 0x03},
        {"ycc12_16x16", 16, 16, 3, 1, 2, false, 0, 0x00},
        {"progressive_32x16", 32, 16, 3, 2, 1, true, 0, 0x01},
    };
    for (const SeedLayout& layout : layouts)
        WriteSeed(dir + "/" + layout.name, layout.option, 7, EncodeLayout(layout));
    size_t start = 0;
    int number = 0;
    while (start < pictures.size()) {
        size_t end = pictures.find(':', start);
        if (end == std::string::npos)
            end = pictures.size();
        const std::vector<uint8_t> picture = fuzzseeds::ReadFile(pictures.substr(start, end - start));
        start = end + 1;
        WriteSeed(dir + "/picture_" + std::to_string(number), static_cast<uint8_t>(number & 1), 0, picture);
        ++number;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzseeds::WriteSeedsIfAsked(WriteSeeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    Options options;
    options.uyvy = (data[0] & 1) != 0;
    options.sizeMode = (data[0] >> 1) & 3;
    options.failAllocation = (data[0] & 8) != 0;
    options.amount = data[1];
    const uint8_t* picture = data + 2;
    size_t pictureSize = size - 2;
    if (pictureSize > kMaxPictureBytes)
        pictureSize = kMaxPictureBytes;
    // The decoder reads only through its source: an exact-size copy lets ASan see any overread.
    std::vector<uint8_t> bytes(picture, picture + pictureSize);
    const uint32_t bytesPerPixel = options.uyvy ? 2 : 3;

    std::vector<uint8_t> first, second;
    uint64_t needed = 0, neededAgain = 0;
    uint32_t destLength = 0, destLengthAgain = 0;
    const int32_t failed =
        DecodeOnce(bytes.data(), bytes.size(), options, bytesPerPixel, first, needed, destLength, 0x00);

    // Touch every output byte so tools that track uninitialised memory see each one.
    const uint32_t sum = Sum(first, destLength);
    if (sum == 0xFFFFFFFFu)
        std::fprintf(stderr, "%u\n", sum);

    if (failed == 0) {
        // The same picture over a buffer of other contents: a byte the decoder does not write
        // shows up as a difference, and so does state carried over from the previous picture.
        const int32_t failedAgain = DecodeOnce(bytes.data(), bytes.size(), options, bytesPerPixel, second,
                                               neededAgain, destLengthAgain, 0xFF);
        if (failedAgain != 0 || neededAgain != needed || destLengthAgain != destLength)
            Fail("the same picture decoded differently the second time");
        if (std::memcmp(first.data(), second.data(), static_cast<size_t>(needed)) != 0)
            Fail("decoded frame depends on the buffer's earlier contents (bytes left unwritten)");
    }
    return 0;
}
