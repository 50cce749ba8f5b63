// The fast kernels against the plain ones they replace: the same bytes for every
// input, hostile ones included (extreme coefficients, wrapping products, damaged
// streams, tables that are no prefix code).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "decoder/colour_tables.h"
#include "decoder/decoder.h"
#include "decoder/geometry.h"
#include "decoder/idct.h"
#include "decoder/input.h"
#include "decoder/kernels.h"
#include "support/jpeg_oracle.h"
#include "support/test_pictures.h"

namespace {

using oracle::Format;

// ---- Inverse DCT.

using Block = std::vector<int16_t>;

// Blocks of every kind the transform meets or could meet: typical sparse ones,
// full-range noise, and the values at which the 32-bit sums and 16-bit stores wrap.
std::vector<Block> TransformInputs()
{
    std::vector<Block> blocks;
    std::mt19937 random(20240611);
    const int16_t extremes[] = {-32768, -32767, -16385, -16384, -8193, -8192, -4113, -1, 0,
                                1,      4079,   4080,   8191,   8192,  16383, 16384, 32767};
    auto pick = [&](int kind) -> int16_t {
        switch (kind) {
        case 0: return static_cast<int16_t>(random());
        case 1: return static_cast<int16_t>(static_cast<int>(random() % 2001) - 1000);
        case 2: return extremes[random() % std::size(extremes)];
        default: return static_cast<int16_t>(static_cast<int>(random() % 31) - 15);
        }
    };
    for (int trial = 0; trial < 20000; ++trial) {
        Block b(64, 0);
        const int kind = trial % 4;
        const int last = trial % 3 == 0 ? 64 : 1 + static_cast<int>(random() % 20);
        for (int k = 0; k < last; ++k)
            if (k == 0 || random() % 3 != 0)
                b[oracle::kZigzag[k]] = pick(kind);
        blocks.push_back(b);
    }
    // One coefficient at each position, and each position beside a DC term, at every extreme.
    for (int pos = 0; pos < 64; ++pos)
        for (int16_t v : extremes) {
            Block b(64, 0);
            b[pos] = v;
            blocks.push_back(b);
            b[0] = static_cast<int16_t>(-v);
            blocks.push_back(b);
        }
    // Whole blocks of one extreme, and of alternating extremes.
    for (int16_t v : extremes) {
        blocks.push_back(Block(64, v));
        Block b(64, v);
        for (int i = 1; i < 64; i += 2)
            b[i] = static_cast<int16_t>(-1 - v);
        blocks.push_back(b);
    }
    return blocks;
}

TEST(FastKernels, InverseDctMatchesTheReferenceForEveryKindOfBlock)
{
    for (const Block& block : TransformInputs()) {
        Block reference = block;
        Block fast = block;
        uint8_t expected[64], actual[64];
        std::memset(actual, 0xEE, sizeof(actual));
        InverseDct8x8Reference(reference.data(), expected);
        InverseDct8x8(fast.data(), actual);
        ASSERT_EQ(std::memcmp(expected, actual, 64), 0) << testing::PrintToString(block);

        // The block transform may rely on everything from the block's end on being zero.
        int end = 64;
        while (end > 1 && block[oracle::kZigzag[end - 1]] == 0)
            --end;
        for (int maxZag : {end, 64}) {
            std::memset(actual, 0xEE, sizeof(actual));
            FAST_KERNELS.transformBlock(block.data(), maxZag, actual);
            ASSERT_EQ(std::memcmp(expected, actual, 64), 0) << "maxZag " << maxZag << testing::PrintToString(block);
        }
    }
}

TEST(FastKernels, BlockTransformLeavesTheCoefficientStoreAlone)
{
    std::mt19937 random(3);
    std::vector<int16_t> store(64 * 4);
    for (int16_t& c : store)
        c = static_cast<int16_t>(random());
    const std::vector<int16_t> before = store;
    uint8_t samples[64];
    for (int i = 0; i < 4; ++i)
        FAST_KERNELS.transformBlock(store.data() + 64 * i, 64, samples);
    EXPECT_EQ(store, before);
}

// ---- Row writers.

class FastRowWriters : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = g_Decoder;
        BuildColourTables();
    }
    void TearDown() override { g_Decoder = saved_; }

    DecoderContext saved_;
};

TEST_F(FastRowWriters, MatchTheReferenceOnEveryLineAndStopAtTheLineEnd)
{
    std::mt19937 random(11);
    for (int mcus : {1, 2, 11, 40}) {
        std::vector<uint8_t> samples(256 * mcus);
        for (uint8_t& s : samples)
            s = static_cast<uint8_t>(random());
        // Extremes of luma against extremes of chroma, where every clamp bites.
        for (int i = 0; i < 16 && i < static_cast<int>(samples.size()); ++i)
            samples[i] = i % 2 == 0 ? 0 : 255;
        g_Decoder.sampleBuf = samples.data();
        g_Decoder.mcusPerRow = mcus;
        for (int L = 0; L < 8; ++L) {
            for (int bytesPerPixel : {3, 2}) {
                const size_t width = static_cast<size_t>(16 * mcus * bytesPerPixel);
                std::vector<uint8_t> expected(width + 16, 0xA5), actual(width + 16, 0xA5);
                if (bytesPerPixel == 3) {
                    REFERENCE_KERNELS.rowBgr24(L, expected.data());
                    FAST_KERNELS.rowBgr24(L, actual.data());
                } else {
                    REFERENCE_KERNELS.rowUyvy(L, expected.data());
                    FAST_KERNELS.rowUyvy(L, actual.data());
                }
                ASSERT_EQ(expected, actual) << mcus << " MCUs, line " << L << ", " << bytesPerPixel << " bytes a pixel";
            }
        }
    }
}

// ---- Whole pictures and MCU rows.

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::vector<uint8_t> bytes(std::filesystem::file_size(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return {};
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    bytes.resize(got);
    return bytes;
}

struct Picture {
    std::string name;
    std::vector<uint8_t> jpeg;
};

// The benchmark's photographs and the test fixtures.
std::vector<Picture> CameraPictures()
{
    std::vector<Picture> pictures;
    const std::filesystem::path data = PELSK_TEST_DATA_DIR;
    for (const auto& dir : {data, data / ".." / ".." / "bench" / "frames"}) {
        if (!std::filesystem::is_directory(dir))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().extension() == ".jpg")
                pictures.push_back({entry.path().filename().string(), ReadFile(entry.path())});
    }
    std::sort(pictures.begin(), pictures.end(), [](const Picture& a, const Picture& b) { return a.name < b.name; });
    return pictures;
}

// A random prefix code over random symbol values, repeats allowed: long codes,
// codes whose magnitude bits spill past the look-up byte, sizes up to 15.
oracle::HuffmanTable RandomTable(std::mt19937& random, bool dc)
{
    oracle::HuffmanTable table;
    uint32_t free = 2;  // free codes at the current length
    int total = 0;
    for (int length = 1; length <= 16 && total < 255; ++length) {
        const uint32_t room = std::min<uint32_t>(free - (length < 16 ? 1 : 0), static_cast<uint32_t>(255 - total));
        const int count = room == 0 ? 0 : static_cast<int>(random() % (std::min<uint32_t>(room, 24) + 1));
        table.bits[length] = static_cast<uint8_t>(count);
        total += count;
        free = (free - static_cast<uint32_t>(count)) * 2;
    }
    for (int i = 0; i < total; ++i)
        table.values.push_back(static_cast<uint8_t>(dc ? random() % 21 : random() % 256));
    return table;
}

// Pictures nobody's encoder makes: random tables, extreme 16-bit quantisation
// values, and random entropy-coded bytes with stuffing, markers and restarts.
std::vector<Picture> HostilePictures()
{
    std::vector<Picture> pictures;
    std::mt19937 random(99);
    for (int n = 0; n < 24; ++n) {
        oracle::JpegWriter w;
        w.Soi();
        uint16_t q[64];
        for (uint16_t& v : q)
            v = static_cast<uint16_t>(n % 3 == 0 ? 65535 - random() % 4 : 1 + random() % 65535);
        w.Dqt(0, q, true);
        w.Dqt(1, q, true);
        w.Dht(0, 0, RandomTable(random, true));
        w.Dht(0, 1, RandomTable(random, true));
        w.Dht(1, 0, RandomTable(random, false));
        w.Dht(1, 1, RandomTable(random, false));
        if (n % 4 == 1)
            w.Dri(1 + static_cast<int>(random() % 3));
        w.Sof(0xC0, 32, 16, {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}});
        w.Sos({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}});
        const int length = 200 + static_cast<int>(random() % 600);
        for (int i = 0; i < length; ++i) {
            const uint8_t b = static_cast<uint8_t>(random());
            w.Byte(b);
            if (b == 0xFF)
                w.Byte(random() % 8 == 0 ? static_cast<uint8_t>(0xD0 + random() % 8) : 0x00);
        }
        w.Eoi();
        pictures.push_back({"hostile" + std::to_string(n), w.bytes});
    }
    return pictures;
}

// Damaged copies: flipped bits, a cut, overwritten bytes, an extreme quantisation value.
std::vector<uint8_t> Damage(const std::vector<uint8_t>& jpeg, int kind, std::mt19937& random)
{
    std::vector<uint8_t> bytes = jpeg;
    const size_t from = bytes.size() / 4;
    auto position = [&] { return from + random() % (bytes.size() - from); };
    switch (kind % 4) {
    case 0:
        for (int i = 0; i < 3; ++i)
            bytes[position()] ^= static_cast<uint8_t>(1u << (random() % 8));
        break;
    case 1: bytes.resize(position()); break;
    case 2: {
        const size_t p = position();
        for (size_t i = p; i < p + 40 && i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(random());
        break;
    }
    default:
        for (size_t i = 0; i + 6 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xDB) {
                bytes[std::min(bytes.size() - 1, i + 5 + random() % 64)] = 0xFF;
                break;
            }
        break;
    }
    return bytes;
}

class KernelSets : public testing::Test {
protected:
    void TearDown() override { g_DecoderKernels = FAST_KERNELS; }

    static oracle::OurDecode Decode(const std::vector<uint8_t>& jpeg, Format format, const DecoderKernels& kernels)
    {
        g_DecoderKernels = kernels;
        oracle::OurDecode out = oracle::DecodeOurs(jpeg, format, 640 * 480 * 3);
        g_DecoderKernels = FAST_KERNELS;
        return out;
    }

    static void ExpectSameDecode(const std::vector<uint8_t>& jpeg, const std::string& name)
    {
        for (Format format : {Format::Bgr24, Format::Uyvy}) {
            const oracle::OurDecode reference = Decode(jpeg, format, REFERENCE_KERNELS);
            const oracle::OurDecode fast = Decode(jpeg, format, FAST_KERNELS);
            ASSERT_EQ(fast.result, reference.result) << name << " " << testing::PrintToString(format);
            ASSERT_EQ(fast.error, reference.error) << name << " " << testing::PrintToString(format);
            ASSERT_TRUE(fast.frame == reference.frame) << name << " " << testing::PrintToString(format);
        }
    }
};

TEST_F(KernelSets, GiveTheSameBytesForEveryCameraPicture)
{
    const std::vector<Picture> pictures = CameraPictures();
    ASSERT_GE(pictures.size(), 20u) << "the benchmark's photographs were not found";
    for (const Picture& p : pictures) {
        ASSERT_NO_FATAL_FAILURE(ExpectSameDecode(p.jpeg, p.name));
        EXPECT_EQ(Decode(p.jpeg, Format::Uyvy, FAST_KERNELS).result, 0) << p.name;
    }
}

TEST_F(KernelSets, GiveTheSameBytesAndErrorsForDamagedAndHostilePictures)
{
    std::mt19937 random(5);
    std::vector<Picture> pictures = HostilePictures();
    for (const Picture& p : CameraPictures()) {
        if (p.name.find("320x240") == std::string::npos)
            continue;
        for (int kind = 0; kind < 4; ++kind)
            pictures.push_back({p.name + " damaged " + std::to_string(kind), Damage(p.jpeg, kind, random)});
    }
    for (const Picture& p : pictures)
        ASSERT_NO_FATAL_FAILURE(ExpectSameDecode(p.jpeg, p.name));
}

// Everything DecodeMcuRow leaves behind, beside the coefficients it wrote.
struct RowState {
    int32_t result;
    int32_t errorCode;
    uint32_t bitBuf;
    int32_t bitsLeft;
    int32_t inBufLeft;
    intptr_t inBufOffset;
    int32_t padToggle;
    int32_t restartsLeft;
    int32_t nextRestartNum;
    std::vector<int32_t> lastDcVal;
    std::vector<int32_t> maxZag;
    std::vector<int16_t> coefficients;  // empty once the blocks are gone

    bool operator==(const RowState&) const = default;
};

std::vector<RowState> DecodeRows(const std::vector<uint8_t>& jpeg, int32_t (*decodeMcuRow)())
{
    std::vector<RowState> states;
    DecoderContext& d = g_Decoder;
    MemorySourceInit(&d.memorySource, jpeg.data(), static_cast<int32_t>(jpeg.size()));
    if (DecoderStart(&d.memorySource) == 1 && BeginDecoding() == DECODE_OK) {
        const int rows = (d.imageHeight + d.maxMcuYSize - 1) / d.maxMcuYSize;
        for (int row = 0; row < rows; ++row) {
            RowState s;
            s.result = decodeMcuRow();
            s.errorCode = d.errorCode;
            s.bitBuf = d.bitBuf;
            s.bitsLeft = d.bitsLeft;
            s.inBufLeft = d.inBufLeft;
            s.inBufOffset = d.inBufPtr - d.inArea;
            s.padToggle = d.padToggle;
            s.restartsLeft = d.restartsLeft;
            s.nextRestartNum = d.nextRestartNum;
            s.lastDcVal.assign(d.lastDcVal, d.lastDcVal + MAX_COMPONENTS);
            s.maxZag.assign(d.blockMaxZag, d.blockMaxZag + d.blocksPerMcuRow);
            if (s.result == 1)
                s.coefficients.assign(d.coeffStore, d.coeffStore + 64 * d.blocksPerMcuRow);
            states.push_back(s);
            if (s.result != 1)
                break;
        }
    }
    DecoderFreeAll();
    return states;
}

TEST_F(KernelSets, CoefficientDecodersLeaveTheSameStateAfterEveryRow)
{
    std::mt19937 random(17);
    std::vector<Picture> pictures = HostilePictures();
    const std::vector<Picture> camera = CameraPictures();
    for (const Picture& p : camera)
        if (p.name.find("coffee_320x240") != std::string::npos || p.name.find("rst1") != std::string::npos)
            for (int kind = 0; kind < 3; ++kind)
                pictures.push_back({p.name + " damaged " + std::to_string(kind), Damage(p.jpeg, kind, random)});
    int failedRows = 0;
    for (const Picture& p : pictures) {
        const std::vector<RowState> reference = DecodeRows(p.jpeg, DecodeMcuRowReference);
        const std::vector<RowState> fast = DecodeRows(p.jpeg, DecodeMcuRowFast);
        ASSERT_EQ(fast.size(), reference.size()) << p.name;
        for (size_t row = 0; row < reference.size(); ++row) {
            ASSERT_TRUE(fast[row] == reference[row]) << p.name << " row " << row;
            failedRows += reference[row].result != 1;
        }
    }
    EXPECT_GT(failedRows, 0) << "no picture reached an error path";
}

}  // namespace
