// Colour conversion of the JPEG decoder: YCbCr (JFIF) to red, green, blue
// and a zero byte per pixel, in 16.16 fixed point. The portable path uses
// 256-entry tables; the SSE2 path computes the same rounded products with
// 16-bit multiplies, eight pixels at a time.
#include "resources/jpeg_decoder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct colour_tables {
    int cr_r[256];
    int cb_b[256];
    int cb_g[256];       // -22554 k(Cb)
    int cr_g[256];       // 32768 - 46802 k(Cr)
    uint8_t clamp[1024]; // index + 384
};

colour_tables make_colour_tables() {
    colour_tables t{};
    for (int i = 0; i < 256; ++i) {
        int k = i - 128;
        t.cr_r[i] = (91882 * k + 32768) >> 16;
        t.cb_b[i] = (116130 * k + 32768) >> 16;
        t.cb_g[i] = -22554 * k;
        t.cr_g[i] = 32768 - 46802 * k;
    }
    for (int i = 0; i < 1024; ++i) {
        int v = i - 384;
        t.clamp[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return t;
}

const colour_tables& tables() {
    static const colour_tables t = make_colour_tables();
    return t;
}

} // namespace

void jpeg_ycc_to_rgbx_portable(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int chroma_shift,
                               int count, uint8_t* out) {
    const colour_tables& t = tables();
    const uint8_t* clamp = t.clamp + 384;
    for (int x = 0; x < count; ++x) {
        int l = y[x], b = cb[x >> chroma_shift], r = cr[x >> chroma_shift];
        out[4 * x] = clamp[l + t.cr_r[r]];
        out[4 * x + 1] = clamp[l + ((t.cb_g[b] + t.cr_g[r]) >> 16)];
        out[4 * x + 2] = clamp[l + t.cb_b[b]];
        out[4 * x + 3] = 0;
    }
}

void jpeg_rgb_to_rgbx(const uint8_t* r, const uint8_t* g, const uint8_t* b, int chroma_shift, int count,
                      uint8_t* out) {
    for (int x = 0; x < count; ++x) {
        out[4 * x] = r[x];
        out[4 * x + 1] = g[x >> chroma_shift];
        out[4 * x + 2] = b[x >> chroma_shift];
        out[4 * x + 3] = 0;
    }
}

#if defined(__SSE2__)

namespace {

// (x * c + 32768) >> 16 for 16-bit x and c: the high half of the product,
// plus one when the low half is 32768 or more.
inline __m128i mul_round(__m128i x, __m128i c) {
    return _mm_add_epi16(_mm_mulhi_epi16(x, c), _mm_srli_epi16(_mm_mullo_epi16(x, c), 15));
}

} // namespace

void jpeg_ycc_to_rgbx_sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int chroma_shift,
                           int count, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    // 91882 = 65536 + 26346; 116130 = 2 * 65536 - 14942; -46802 = -65536 + 18734.
    const __m128i red_c = _mm_set1_epi16(26346);
    const __m128i blue_c = _mm_set1_epi16(-14942);
    const __m128i green_c = _mm_set_epi16(18734, -22554, 18734, -22554, 18734, -22554, 18734, -22554);
    const __m128i half = _mm_set1_epi32(32768);
    for (int x = 0; x < count; x += 8) {
        __m128i luma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + x)), zero);
        __m128i b, r;
        if (chroma_shift) {
            int32_t b4, r4;
            __builtin_memcpy(&b4, cb + (x >> 1), 4);
            __builtin_memcpy(&r4, cr + (x >> 1), 4);
            b = _mm_cvtsi32_si128(b4);
            r = _mm_cvtsi32_si128(r4);
            b = _mm_unpacklo_epi8(b, b);
            r = _mm_unpacklo_epi8(r, r);
        } else {
            b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x));
            r = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x));
        }
        __m128i kb = _mm_sub_epi16(_mm_unpacklo_epi8(b, zero), bias);
        __m128i kr = _mm_sub_epi16(_mm_unpacklo_epi8(r, zero), bias);

        __m128i red = _mm_add_epi16(luma, _mm_add_epi16(kr, mul_round(kr, red_c)));
        __m128i blue = _mm_add_epi16(luma, _mm_add_epi16(_mm_add_epi16(kb, kb), mul_round(kb, blue_c)));
        // Green rounds the sum of both products once.
        __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(kb, kr), green_c);
        __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(kb, kr), green_c);
        lo = _mm_srai_epi32(_mm_add_epi32(lo, half), 16);
        hi = _mm_srai_epi32(_mm_add_epi32(hi, half), 16);
        __m128i green = _mm_add_epi16(luma, _mm_sub_epi16(_mm_packs_epi32(lo, hi), kr));

        __m128i r8 = _mm_packus_epi16(red, red);
        __m128i g8 = _mm_packus_epi16(green, green);
        __m128i b8 = _mm_packus_epi16(blue, blue);
        __m128i rg = _mm_unpacklo_epi8(r8, g8);
        __m128i bz = _mm_unpacklo_epi8(b8, zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_unpacklo_epi16(rg, bz));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x + 16), _mm_unpackhi_epi16(rg, bz));
    }
}

void jpeg_ycc_to_rgbx(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int chroma_shift, int count,
                      uint8_t* out) {
    jpeg_ycc_to_rgbx_sse2(y, cb, cr, chroma_shift, count, out);
}

#else

void jpeg_ycc_to_rgbx(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int chroma_shift, int count,
                      uint8_t* out) {
    jpeg_ycc_to_rgbx_portable(y, cb, cr, chroma_shift, count, out);
}

#endif
