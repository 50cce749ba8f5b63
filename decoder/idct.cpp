#include "decoder/idct.h"

#include "platform/pool.h"

// Products and sums wrap like 32-bit two's complement, so they are formed in
// uint32_t (defined wrap-around) and only turned signed for the arithmetic shifts.
namespace {

constexpr uint32_t FIX_0_298631336 = 2446;
constexpr uint32_t FIX_0_390180644 = 3196;
constexpr uint32_t FIX_0_541196100 = 4433;
constexpr uint32_t FIX_0_765366865 = 6270;
constexpr uint32_t FIX_0_899976223 = 7373;
constexpr uint32_t FIX_1_175875602 = 9633;
constexpr uint32_t FIX_1_501321110 = 12299;
constexpr uint32_t FIX_1_847759065 = 15137;
constexpr uint32_t FIX_1_961570560 = 16069;
constexpr uint32_t FIX_2_053119869 = 16819;
constexpr uint32_t FIX_2_562915447 = 20995;
constexpr uint32_t FIX_3_072711026 = 25172;

inline uint32_t Wide(int16_t v) { return static_cast<uint32_t>(static_cast<int32_t>(v)); }
inline int16_t Keep16(uint32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
inline int32_t Signed(uint32_t v) { return static_cast<int32_t>(v); }

// One-dimensional kernel: s[0..7] taken every `step` entries, d[0..7] out.
inline void Kernel(const int16_t* in, int32_t step, uint32_t* d)
{
    const uint32_t s0 = Wide(in[0]), s1 = Wide(in[step]), s2 = Wide(in[2 * step]), s3 = Wide(in[3 * step]);
    const uint32_t s4 = Wide(in[4 * step]), s5 = Wide(in[5 * step]), s6 = Wide(in[6 * step]), s7 = Wide(in[7 * step]);

    uint32_t z1 = (s2 + s6) * FIX_0_541196100;
    const uint32_t t2 = z1 - s6 * FIX_1_847759065;
    const uint32_t t3 = z1 + s2 * FIX_0_765366865;
    const uint32_t t0 = (s0 + s4) << 13;
    const uint32_t t1 = (s0 - s4) << 13;
    const uint32_t e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;

    z1 = s7 + s1;
    uint32_t z2 = s5 + s3;
    uint32_t z3 = s7 + s3;
    uint32_t z4 = s5 + s1;
    const uint32_t z5 = (z3 + z4) * FIX_1_175875602;
    uint32_t o0 = s7 * FIX_0_298631336;
    uint32_t o1 = s5 * FIX_2_053119869;
    uint32_t o2 = s3 * FIX_3_072711026;
    uint32_t o3 = s1 * FIX_1_501321110;
    z1 = z1 * (0u - FIX_0_899976223);
    z2 = z2 * (0u - FIX_2_562915447);
    z3 = z3 * (0u - FIX_1_961570560) + z5;
    z4 = z4 * (0u - FIX_0_390180644) + z5;
    o0 += z1 + z3;
    o1 += z2 + z4;
    o2 += z2 + z3;
    o3 += z1 + z4;

    d[0] = e10 + o3;
    d[7] = e10 - o3;
    d[1] = e11 + o2;
    d[6] = e11 - o2;
    d[2] = e12 + o1;
    d[5] = e12 - o1;
    d[3] = e13 + o0;
    d[4] = e13 - o0;
}

inline uint8_t DcSample(int16_t s0)
{
    const int32_t v = ((static_cast<int32_t>(s0) + 16) >> 5) + 128;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Every sample of a block whose only coefficient is the DC term; exactly what
// both passes give for such a block, 16-bit wrap of the first pass included.
inline void DcOnlyBlock(int16_t dc, uint8_t* samples)
{
    const uint8_t value = DcSample(Keep16(Wide(dc) << 2));
    RtlFillMemory(samples, 64, value);
}

}  // namespace

void InverseDct8x8(int16_t* coefficients, uint8_t* samples)
{
    uint32_t d[8];

    // Pass 1: rows, in place, two fraction bits kept for pass 2.
    for (int32_t v = 0; v < 8; ++v) {
        int16_t* row = coefficients + 8 * v;
        if ((row[1] | row[2] | row[3] | row[4] | row[5] | row[6] | row[7]) == 0) {
            const int16_t dc = Keep16(Wide(row[0]) << 2);
            for (int32_t k = 0; k < 8; ++k)
                row[k] = dc;
            continue;
        }
        Kernel(row, 1, d);
        for (int32_t k = 0; k < 8; ++k)
            row[k] = Keep16(static_cast<uint32_t>(Signed(d[k] + 1024u) >> 11));
    }

    // Pass 2: columns, level shift and saturation.
    for (int32_t x = 0; x < 8; ++x) {
        const int16_t* col = coefficients + x;
        if ((col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56]) == 0) {
            const uint8_t value = DcSample(col[0]);
            for (int32_t y = 0; y < 8; ++y)
                samples[8 * y + x] = value;
            continue;
        }
        Kernel(col, 8, d);
        for (int32_t k = 0; k < 8; ++k) {
            const int32_t value = (Signed(d[k] + 131072u) >> 18) + 128;
            // Bits 8..15 set means out of 0..255; the sign picks the end.
            samples[8 * k + x] =
                static_cast<uint8_t>((value & 0xFF00) != 0 ? (value < 0 ? 0 : 255) : value);
        }
    }
}

void TransformMcuRow()
{
    const int32_t n = g_Decoder.blocksPerMcuRow;
    if (n <= 0)
        return;
    const int16_t* coef = g_Decoder.blockPtr[0];
    uint8_t* samples = g_Decoder.sampleBuf;
    const int32_t* maxZag = g_Decoder.blockMaxZag;
    for (int32_t i = 0; i < n; ++i, coef += 64, samples += 64) {
        // A block whose data stopped after the DC term (most chroma blocks) is flat.
        if (maxZag[i] <= 1) {
            DcOnlyBlock(coef[0], samples);
            continue;
        }
        RtlCopyMemory(g_Decoder.idctWork, coef, sizeof(g_Decoder.idctWork));
        InverseDct8x8(g_Decoder.idctWork, samples);
    }
}
