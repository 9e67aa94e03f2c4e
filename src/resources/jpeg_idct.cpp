// Inverse DCT of the integer path: a separable 8-point AAN transform on
// 16-bit lanes. The coefficients arrive multiplied by the AAN scale factors
// with 2 fraction bits (see jpeg_aan_scale), so each 1-D pass is butterflies
// plus four kinds of constant multiply. A multiply shifts the operand left by
// 2 and keeps the high half of the 32-bit product: x * c / 16384, with c in
// Q14. The two passes together gain 8, so output = (value >> 5) + 128.
//
// The portable path imitates the SIMD lanes exactly (wrapping adds, high-half
// multiplies, saturating packs), so both give the same bytes.
#include "resources/jpeg_decoder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const uint16_t jpeg_aan_scale[64] = {
    16384, 22725, 21407, 19266, 16384, 12873, 8867,  4520,  22725, 31521, 29692, 26722, 22725,
    17855, 12299, 6270,  21407, 29692, 27969, 25172, 21407, 16819, 11585, 5906,  19266, 26722,
    25172, 22654, 19266, 15137, 10426, 5315,  16384, 22725, 21407, 19266, 16384, 12873, 8867,
    4520,  12873, 17855, 16819, 15137, 12873, 10114, 6967,  3552,  8867,  12299, 11585, 10426,
    8867,  6967,  4799,  2446,  4520,  6270,  5906,  5315,  4520,  3552,  2446,  1247};

namespace {

// Q14 constants: sqrt(2), 1.8478 (2 cos(pi/8)), -0.7654 (-2 sin(pi/8)), and
// -1.8526, the negative partner of the rotation.
constexpr int16_t c_sqrt2 = 23170;
constexpr int16_t c_rot_cos = 30273;
constexpr int16_t c_rot_sin = -12540;
constexpr int16_t c_rot_neg_cos = -30353;

// --- portable lanes -------------------------------------------------------

inline int16_t add(int16_t a, int16_t b) { return int16_t(uint16_t(a) + uint16_t(b)); }
inline int16_t sub(int16_t a, int16_t b) { return int16_t(uint16_t(a) - uint16_t(b)); }
inline int16_t mul(int16_t x, int16_t c) {
    int16_t shifted = int16_t(uint16_t(uint16_t(x) << 2));
    return int16_t((int32_t(shifted) * c) >> 16);
}

// One 8-point pass over in[0..7] (stride apart), written back in place.
inline void aan_1d(int16_t* p, int stride) {
    int16_t in0 = p[0], in1 = p[stride], in2 = p[2 * stride], in3 = p[3 * stride];
    int16_t in4 = p[4 * stride], in5 = p[5 * stride], in6 = p[6 * stride], in7 = p[7 * stride];

    // Even part.
    int16_t t10 = add(in0, in4);
    int16_t t11 = sub(in0, in4);
    int16_t t13 = add(in2, in6);
    int16_t t12 = sub(mul(sub(in2, in6), c_sqrt2), t13);
    int16_t e0 = add(t10, t13);
    int16_t e3 = sub(t10, t13);
    int16_t e1 = add(t11, t12);
    int16_t e2 = sub(t11, t12);

    // Odd part.
    int16_t z13 = add(in5, in3);
    int16_t z10 = sub(in5, in3);
    int16_t z11 = add(in1, in7);
    int16_t z12 = sub(in1, in7);
    int16_t o7 = add(z11, z13);
    int16_t o11 = mul(sub(z11, z13), c_sqrt2);
    int16_t o10 = add(mul(z10, c_rot_neg_cos), mul(z12, c_rot_sin));
    int16_t o12 = add(mul(z12, c_rot_cos), mul(z10, c_rot_sin));
    int16_t o6 = sub(o12, o7);
    int16_t o5 = sub(o11, o6);
    int16_t o4 = add(o10, o5);

    p[0] = add(e0, o7);
    p[7 * stride] = sub(e0, o7);
    p[stride] = add(e1, o6);
    p[6 * stride] = sub(e1, o6);
    p[2 * stride] = add(e2, o5);
    p[5 * stride] = sub(e2, o5);
    p[4 * stride] = add(e3, o4);
    p[3 * stride] = sub(e3, o4);
}

inline uint8_t output_sample(int16_t v) {
    int s = (v >> 5) + 128; // never leaves the 16-bit range: no signed saturation needed
    return uint8_t(s < 0 ? 0 : s > 255 ? 255 : s);
}

} // namespace

void jpeg_idct_8x8_portable(const int16_t* coefficients, uint8_t* out, int stride) {
    int16_t work[64];
    for (int i = 0; i < 64; ++i)
        work[i] = coefficients[i];
    for (int column = 0; column < 8; ++column)
        aan_1d(work + column, 8);
    for (int row = 0; row < 8; ++row) {
        int16_t* r = work + row * 8;
        aan_1d(r, 1);
        for (int x = 0; x < 8; ++x)
            out[row * stride + x] = output_sample(r[x]);
    }
}

#if defined(__SSE2__)

namespace {

struct lanes {
    __m128i v[8];
};

inline __m128i mul(__m128i x, __m128i c) { return _mm_mulhi_epi16(_mm_slli_epi16(x, 2), c); }

inline void aan_1d(lanes& l) {
    const __m128i k_sqrt2 = _mm_set1_epi16(c_sqrt2);
    const __m128i k_cos = _mm_set1_epi16(c_rot_cos);
    const __m128i k_sin = _mm_set1_epi16(c_rot_sin);
    const __m128i k_neg_cos = _mm_set1_epi16(c_rot_neg_cos);

    __m128i t10 = _mm_add_epi16(l.v[0], l.v[4]);
    __m128i t11 = _mm_sub_epi16(l.v[0], l.v[4]);
    __m128i t13 = _mm_add_epi16(l.v[2], l.v[6]);
    __m128i t12 = _mm_sub_epi16(mul(_mm_sub_epi16(l.v[2], l.v[6]), k_sqrt2), t13);
    __m128i e0 = _mm_add_epi16(t10, t13);
    __m128i e3 = _mm_sub_epi16(t10, t13);
    __m128i e1 = _mm_add_epi16(t11, t12);
    __m128i e2 = _mm_sub_epi16(t11, t12);

    __m128i z13 = _mm_add_epi16(l.v[5], l.v[3]);
    __m128i z10 = _mm_sub_epi16(l.v[5], l.v[3]);
    __m128i z11 = _mm_add_epi16(l.v[1], l.v[7]);
    __m128i z12 = _mm_sub_epi16(l.v[1], l.v[7]);
    __m128i o7 = _mm_add_epi16(z11, z13);
    __m128i o11 = mul(_mm_sub_epi16(z11, z13), k_sqrt2);
    __m128i o10 = _mm_add_epi16(mul(z10, k_neg_cos), mul(z12, k_sin));
    __m128i o12 = _mm_add_epi16(mul(z12, k_cos), mul(z10, k_sin));
    __m128i o6 = _mm_sub_epi16(o12, o7);
    __m128i o5 = _mm_sub_epi16(o11, o6);
    __m128i o4 = _mm_add_epi16(o10, o5);

    l.v[0] = _mm_add_epi16(e0, o7);
    l.v[7] = _mm_sub_epi16(e0, o7);
    l.v[1] = _mm_add_epi16(e1, o6);
    l.v[6] = _mm_sub_epi16(e1, o6);
    l.v[2] = _mm_add_epi16(e2, o5);
    l.v[5] = _mm_sub_epi16(e2, o5);
    l.v[4] = _mm_add_epi16(e3, o4);
    l.v[3] = _mm_sub_epi16(e3, o4);
}

inline void transpose(lanes& l) {
    __m128i a0 = _mm_unpacklo_epi16(l.v[0], l.v[1]);
    __m128i a1 = _mm_unpackhi_epi16(l.v[0], l.v[1]);
    __m128i a2 = _mm_unpacklo_epi16(l.v[2], l.v[3]);
    __m128i a3 = _mm_unpackhi_epi16(l.v[2], l.v[3]);
    __m128i a4 = _mm_unpacklo_epi16(l.v[4], l.v[5]);
    __m128i a5 = _mm_unpackhi_epi16(l.v[4], l.v[5]);
    __m128i a6 = _mm_unpacklo_epi16(l.v[6], l.v[7]);
    __m128i a7 = _mm_unpackhi_epi16(l.v[6], l.v[7]);

    __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    __m128i b7 = _mm_unpackhi_epi32(a5, a7);

    l.v[0] = _mm_unpacklo_epi64(b0, b4);
    l.v[1] = _mm_unpackhi_epi64(b0, b4);
    l.v[2] = _mm_unpacklo_epi64(b1, b5);
    l.v[3] = _mm_unpackhi_epi64(b1, b5);
    l.v[4] = _mm_unpacklo_epi64(b2, b6);
    l.v[5] = _mm_unpackhi_epi64(b2, b6);
    l.v[6] = _mm_unpacklo_epi64(b3, b7);
    l.v[7] = _mm_unpackhi_epi64(b3, b7);
}

} // namespace

void jpeg_idct_8x8_sse2(const int16_t* coefficients, uint8_t* out, int stride) {
    lanes l;
    for (int i = 0; i < 8; ++i)
        l.v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * i));
    aan_1d(l); // lanes are columns
    transpose(l);
    aan_1d(l); // lanes are rows
    const __m128i level = _mm_set1_epi16(128);
    for (int i = 0; i < 8; ++i)
        l.v[i] = _mm_adds_epi16(_mm_srai_epi16(l.v[i], 5), level);
    transpose(l);
    for (int i = 0; i < 8; i += 2) {
        __m128i packed = _mm_packus_epi16(l.v[i], l.v[i + 1]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i * stride), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (i + 1) * stride), _mm_srli_si128(packed, 8));
    }
}

void jpeg_idct_8x8(const int16_t* coefficients, uint8_t* out, int stride) {
    jpeg_idct_8x8_sse2(coefficients, out, stride);
}

#else

void jpeg_idct_8x8(const int16_t* coefficients, uint8_t* out, int stride) {
    jpeg_idct_8x8_portable(coefficients, out, stride);
}

#endif
