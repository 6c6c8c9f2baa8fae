// Turning an instrument's packed I/Q values into doubles in one pass. The converters may run in place
// inside the destination vector, with the packed values in its upper part: they load every value of a
// group before storing any result, and the results of the first k samples end no later than where the
// packed values of sample k start, provided `in` lies at least 8 bytes per sample above `out`
// (or the two do not overlap at all).
#pragma once

#include <trelvan/Records.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trv::convert {

inline uint32_t littleEndianU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline float littleEndianFloat(const unsigned char* p) {
    const uint32_t bits = littleEndianU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// `count` pairs of IEEE-754 single-precision values, least significant byte first, I then Q, each
// widened to double without scaling.
inline void fromLittleEndianFloats(const unsigned char* in, IQ_Elem* out, std::size_t count) {
    std::size_t k = 0;
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
    // x86 is little-endian: the bytes are the floats.
    double* d = &out[0].I;
    for (; k + 4 <= count; k += 4) {
        const __m128 a = _mm_loadu_ps(reinterpret_cast<const float*>(in + 8 * k));
        const __m128 b = _mm_loadu_ps(reinterpret_cast<const float*>(in + 8 * k + 16));
        _mm_storeu_pd(d + 2 * k, _mm_cvtps_pd(a));
        _mm_storeu_pd(d + 2 * k + 2, _mm_cvtps_pd(_mm_movehl_ps(a, a)));
        _mm_storeu_pd(d + 2 * k + 4, _mm_cvtps_pd(b));
        _mm_storeu_pd(d + 2 * k + 6, _mm_cvtps_pd(_mm_movehl_ps(b, b)));
    }
#endif
    for (; k < count; ++k) {
        const float i = littleEndianFloat(in + 8 * k);
        const float q = littleEndianFloat(in + 8 * k + 4);
        out[k] = IQ_Elem{i, q};
    }
}

// `count` pairs of signed 32-bit values, least significant byte first, I then Q, to `2 count` doubles.
inline void fromLittleEndianInt32(const unsigned char* in, double* out, std::size_t count) {
    std::size_t k = 0;
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
    for (; k + 2 <= count; k += 2) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * k));
        _mm_storeu_pd(out + 2 * k, _mm_cvtepi32_pd(v));
        _mm_storeu_pd(out + 2 * k + 2, _mm_cvtepi32_pd(_mm_srli_si128(v, 8)));
    }
#endif
    for (; k < count; ++k) {
        out[2 * k] = static_cast<int32_t>(littleEndianU32(in + 8 * k));
        out[2 * k + 1] = static_cast<int32_t>(littleEndianU32(in + 8 * k + 4));
    }
}

// `count` pairs of signed 16-bit values, I then Q, in host order: each times `scale` in single
// precision (the device's own scale is a float), then times `gain` in double.
inline void fromScaledInt16(const int16_t* in, float scale, double gain, IQ_Elem* out, std::size_t count) {
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128 s = _mm_set1_ps(scale);
    const __m128d g = _mm_set1_pd(gain);
    double* d = &out[0].I;
    for (; k + 4 <= count; k += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * k));
        // Sign-extend by placing each 16-bit value in the upper half of a 32-bit lane.
        const __m128 lo = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)), s);
        const __m128 hi = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)), s);
        _mm_storeu_pd(d + 2 * k, _mm_mul_pd(_mm_cvtps_pd(lo), g));
        _mm_storeu_pd(d + 2 * k + 2, _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(lo, lo)), g));
        _mm_storeu_pd(d + 2 * k + 4, _mm_mul_pd(_mm_cvtps_pd(hi), g));
        _mm_storeu_pd(d + 2 * k + 6, _mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(hi, hi)), g));
    }
#endif
    for (; k < count; ++k) {
        const int16_t i = in[2 * k], q = in[2 * k + 1];
        out[k] = IQ_Elem{double(float(i) * scale) * gain, double(float(q) * scale) * gain};
    }
}

}  // namespace trv::convert
