#include "decoder/idct.h"

#include "decoder/kernels.h"
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

#if defined(__SSE2__)

// Eight columns (or rows) at once. Every step of the kernel is a sum of constant
// multiples of the eight inputs, and 32-bit wrap-around keeps such sums exact in
// any grouping, so each output is formed as pairs of 16-bit inputs times 16-bit
// constants (one multiply-add per pair) without changing a single bit.
using I16x8 = int16_t __attribute__((vector_size(16)));
using I32x4 = int32_t __attribute__((vector_size(16)));
using U32x4 = uint32_t __attribute__((vector_size(16)));
using I64x2 = int64_t __attribute__((vector_size(16)));
using C8x16 = char __attribute__((vector_size(16)));

inline I16x8 Load8(const int16_t* p)
{
    I16x8 v;
    __builtin_memcpy(&v, p, sizeof(v));
    return v;
}

inline I16x8 InterleaveLo(I16x8 a, I16x8 b) { return __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11); }
inline I16x8 InterleaveHi(I16x8 a, I16x8 b) { return __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15); }

inline I16x8 Lo32(I16x8 a, I16x8 b)
{
    return reinterpret_cast<I16x8>(
        __builtin_shufflevector(reinterpret_cast<I32x4>(a), reinterpret_cast<I32x4>(b), 0, 4, 1, 5));
}
inline I16x8 Hi32(I16x8 a, I16x8 b)
{
    return reinterpret_cast<I16x8>(
        __builtin_shufflevector(reinterpret_cast<I32x4>(a), reinterpret_cast<I32x4>(b), 2, 6, 3, 7));
}
inline I16x8 Lo64(I16x8 a, I16x8 b)
{
    return reinterpret_cast<I16x8>(
        __builtin_shufflevector(reinterpret_cast<I64x2>(a), reinterpret_cast<I64x2>(b), 0, 2));
}
inline I16x8 Hi64(I16x8 a, I16x8 b)
{
    return reinterpret_cast<I16x8>(
        __builtin_shufflevector(reinterpret_cast<I64x2>(a), reinterpret_cast<I64x2>(b), 1, 3));
}

inline void Transpose(I16x8* v)
{
    const I16x8 a0 = InterleaveLo(v[0], v[1]), a1 = InterleaveHi(v[0], v[1]);
    const I16x8 a2 = InterleaveLo(v[2], v[3]), a3 = InterleaveHi(v[2], v[3]);
    const I16x8 a4 = InterleaveLo(v[4], v[5]), a5 = InterleaveHi(v[4], v[5]);
    const I16x8 a6 = InterleaveLo(v[6], v[7]), a7 = InterleaveHi(v[6], v[7]);
    const I16x8 b0 = Lo32(a0, a2), b1 = Hi32(a0, a2), b2 = Lo32(a1, a3), b3 = Hi32(a1, a3);
    const I16x8 b4 = Lo32(a4, a6), b5 = Hi32(a4, a6), b6 = Lo32(a5, a7), b7 = Hi32(a5, a7);
    v[0] = Lo64(b0, b4);
    v[1] = Hi64(b0, b4);
    v[2] = Lo64(b1, b5);
    v[3] = Hi64(b1, b5);
    v[4] = Lo64(b2, b6);
    v[5] = Hi64(b2, b6);
    v[6] = Lo64(b3, b7);
    v[7] = Hi64(b3, b7);
}

// Multiplier pair (a for the first input of each pair, b for the second).
inline I16x8 Pair(int16_t a, int16_t b) { return I16x8{a, b, a, b, a, b, a, b}; }

inline U32x4 MulAdd(I16x8 pairs, I16x8 constants)
{
    return reinterpret_cast<U32x4>(__builtin_ia32_pmaddwd128(pairs, constants));
}

// The kernel as pair products. The odd outputs expand z1..z5 into one factor per input:
//   o0 = 2260 s1 - 6436 s3 + 9633 s5 - 11363 s7     o1 = 6437 s1 - 11362 s3 + 2261 s5 + 9633 s7
//   o2 = 9633 s1 - 2259 s3 - 11362 s5 - 6436 s7     o3 = 11363 s1 + 9633 s3 + 6437 s5 + 2260 s7
// The even part uses t3 = 10703 s2 + 4433 s6 and t2 = 4433 s2 - 10704 s6.
// `bias` is added to every output before it is shifted.
inline void KernelHalf(I16x8 p04, I16x8 p26, I16x8 p13, I16x8 p57, uint32_t bias, U32x4* d)
{
    const U32x4 t0 = MulAdd(p04, Pair(8192, 8192)) + bias;
    const U32x4 t1 = MulAdd(p04, Pair(8192, -8192)) + bias;
    const U32x4 t3 = MulAdd(p26, Pair(10703, 4433));
    const U32x4 t2 = MulAdd(p26, Pair(4433, -10704));
    const U32x4 e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    const U32x4 o0 = MulAdd(p13, Pair(2260, -6436)) + MulAdd(p57, Pair(9633, -11363));
    const U32x4 o1 = MulAdd(p13, Pair(6437, -11362)) + MulAdd(p57, Pair(2261, 9633));
    const U32x4 o2 = MulAdd(p13, Pair(9633, -2259)) + MulAdd(p57, Pair(-11362, -6436));
    const U32x4 o3 = MulAdd(p13, Pair(11363, 9633)) + MulAdd(p57, Pair(6437, 2260));
    d[0] = e10 + o3;
    d[7] = e10 - o3;
    d[1] = e11 + o2;
    d[6] = e11 - o2;
    d[2] = e12 + o1;
    d[5] = e12 - o1;
    d[3] = e13 + o0;
    d[4] = e13 - o0;
}

struct KernelOut {
    U32x4 lo[8];
    U32x4 hi[8];
};

// s[k] holds input k of eight kernels, one per lane.
inline void KernelVec(const I16x8* s, uint32_t bias, KernelOut* out)
{
    KernelHalf(InterleaveLo(s[0], s[4]), InterleaveLo(s[2], s[6]), InterleaveLo(s[1], s[3]),
               InterleaveLo(s[5], s[7]), bias, out->lo);
    KernelHalf(InterleaveHi(s[0], s[4]), InterleaveHi(s[2], s[6]), InterleaveHi(s[1], s[3]),
               InterleaveHi(s[5], s[7]), bias, out->hi);
}

// Output rows k of the second pass. Results lie in -8192..8191, so the signed pack is
// exact; the unsigned pack then clamps value + 128 to 0..255.
inline void StoreSamples(const KernelOut& d, uint8_t* samples)
{
    const I16x8 shift = {128, 128, 128, 128, 128, 128, 128, 128};
    for (int32_t k = 0; k < 8; k += 2) {
        const I16x8 r0 = __builtin_ia32_packssdw128(reinterpret_cast<I32x4>(d.lo[k]) >> 18,
                                                    reinterpret_cast<I32x4>(d.hi[k]) >> 18) + shift;
        const I16x8 r1 = __builtin_ia32_packssdw128(reinterpret_cast<I32x4>(d.lo[k + 1]) >> 18,
                                                    reinterpret_cast<I32x4>(d.hi[k + 1]) >> 18) + shift;
        const C8x16 bytes = __builtin_ia32_packuswb128(r0, r1);
        __builtin_memcpy(samples + 8 * k, &bytes, sizeof(bytes));
    }
}

// Keep16(x >> 11): bits 11..26 of x, moved to the top and shifted back with their sign.
inline I32x4 RowResult(U32x4 x) { return reinterpret_cast<I32x4>(x << 5) >> 16; }

void InverseDct8x8Sse2(const int16_t* coefficients, uint8_t* samples)
{
    I16x8 v[8];
    for (int32_t i = 0; i < 8; ++i)
        v[i] = Load8(coefficients + 8 * i);

    // Pass 1: lane i works on row i, so the inputs are the columns.
    Transpose(v);
    KernelOut d;
    KernelVec(v, 1024u, &d);
    for (int32_t k = 0; k < 8; ++k)
        v[k] = __builtin_ia32_packssdw128(RowResult(d.lo[k]), RowResult(d.hi[k]));

    // Pass 2: lane x works on column x; the inputs are the rows of pass 1.
    Transpose(v);
    KernelVec(v, 131072u, &d);
    StoreSamples(d, samples);
}


// Blocks whose data ended by zig-zag position 10 have coefficients only in rows and
// columns 0..3. The zero inputs drop out of every sum, so half the products and only
// four lanes of the first pass remain; the results are bit for bit the full ones.
constexpr int32_t SPARSE_MAX_ZAG = 10;

// The kernel with s4..s7 zero: p02 pairs (s0, s2), p13 pairs (s1, s3).
inline void KernelHalf4(I16x8 p02, I16x8 p13, uint32_t bias, U32x4* d)
{
    const U32x4 e10 = MulAdd(p02, Pair(8192, 10703)) + bias;
    const U32x4 e13 = MulAdd(p02, Pair(8192, -10703)) + bias;
    const U32x4 e11 = MulAdd(p02, Pair(8192, 4433)) + bias;
    const U32x4 e12 = MulAdd(p02, Pair(8192, -4433)) + bias;
    const U32x4 o0 = MulAdd(p13, Pair(2260, -6436));
    const U32x4 o1 = MulAdd(p13, Pair(6437, -11362));
    const U32x4 o2 = MulAdd(p13, Pair(9633, -2259));
    const U32x4 o3 = MulAdd(p13, Pair(11363, 9633));
    d[0] = e10 + o3;
    d[7] = e10 - o3;
    d[1] = e11 + o2;
    d[6] = e11 - o2;
    d[2] = e12 + o1;
    d[5] = e12 - o1;
    d[3] = e13 + o0;
    d[4] = e13 - o0;
}

void InverseDct4x4Sse2(const int16_t* coefficients, uint8_t* samples)
{
    // Pass 1 on rows 0..3 (rows 4..7 give 0): columns 0..3 of them, one row per lane.
    const I16x8 a0 = InterleaveLo(Load8(coefficients), Load8(coefficients + 8));
    const I16x8 a1 = InterleaveLo(Load8(coefficients + 16), Load8(coefficients + 24));
    const I16x8 c01 = Lo32(a0, a1);  // column 0 in the low half, column 1 in the high half
    const I16x8 c23 = Hi32(a0, a1);
    U32x4 d[8];
    KernelHalf4(InterleaveLo(c01, c23), InterleaveHi(c01, c23), 1024u, d);
    // Column k of the first pass for rows 0..3, two columns per vector.
    const I16x8 k01 = __builtin_ia32_packssdw128(RowResult(d[0]), RowResult(d[1]));
    const I16x8 k23 = __builtin_ia32_packssdw128(RowResult(d[2]), RowResult(d[3]));
    const I16x8 k45 = __builtin_ia32_packssdw128(RowResult(d[4]), RowResult(d[5]));
    const I16x8 k67 = __builtin_ia32_packssdw128(RowResult(d[6]), RowResult(d[7]));

    // Rows 0..3 of the first pass, eight columns each.
    const I16x8 b0 = InterleaveLo(k01, k23), b1 = InterleaveHi(k01, k23);
    const I16x8 b2 = InterleaveLo(k45, k67), b3 = InterleaveHi(k45, k67);
    const I16x8 e0 = InterleaveLo(b0, b1), e1 = InterleaveHi(b0, b1);
    const I16x8 e2 = InterleaveLo(b2, b3), e3 = InterleaveHi(b2, b3);
    const I16x8 r0 = Lo64(e0, e2), r1 = Hi64(e0, e2), r2 = Lo64(e1, e3), r3 = Hi64(e1, e3);

    // Pass 2: one column per lane, rows 4..7 zero.
    KernelOut out;
    KernelHalf4(InterleaveLo(r0, r2), InterleaveLo(r1, r3), 131072u, out.lo);
    KernelHalf4(InterleaveHi(r0, r2), InterleaveHi(r1, r3), 131072u, out.hi);
    StoreSamples(out, samples);
}

#endif  // __SSE2__

}  // namespace

void InverseDct8x8Reference(int16_t* coefficients, uint8_t* samples)
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

void InverseDct8x8(int16_t* coefficients, uint8_t* samples)
{
#if defined(__SSE2__)
    InverseDct8x8Sse2(coefficients, samples);
#else
    InverseDct8x8Reference(coefficients, samples);
#endif
}

void TransformBlockFast(const int16_t* coefficients, int32_t maxZag, uint8_t* samples)
{
#if defined(__SSE2__)
    // The vector transforms leave the store as it is: no copy needed.
    if (maxZag <= SPARSE_MAX_ZAG)
        InverseDct4x4Sse2(coefficients, samples);
    else
        InverseDct8x8Sse2(coefficients, samples);
#else
    TransformBlockReference(coefficients, maxZag, samples);
#endif
}

void TransformBlockReference(const int16_t* coefficients, int32_t, uint8_t* samples)
{
    RtlCopyMemory(g_Decoder.idctWork, coefficients, sizeof(g_Decoder.idctWork));
    InverseDct8x8Reference(g_Decoder.idctWork, samples);
}

void TransformMcuRow()
{
    const int32_t n = g_Decoder.blocksPerMcuRow;
    if (n <= 0)
        return;
    const int16_t* coef = g_Decoder.blockPtr[0];
    uint8_t* samples = g_Decoder.sampleBuf;
    const int32_t* maxZag = g_Decoder.blockMaxZag;
    void (*const transform)(const int16_t*, int32_t, uint8_t*) = g_DecoderKernels.transformBlock;
    for (int32_t i = 0; i < n; ++i, coef += 64, samples += 64) {
        // A block whose data stopped after the DC term (most chroma blocks) is flat.
        if (maxZag[i] <= 1) {
            DcOnlyBlock(coef[0], samples);
            continue;
        }
        transform(coef, maxZag[i], samples);
    }
}
