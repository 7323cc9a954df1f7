// Pure component-pair arithmetic on qm_vector2_t, with the results plain IEEE double arithmetic
// gives per component: on x86-64 both lanes in one SSE operation (SSE2, and SSE4.1 for the
// rounding), elsewhere one component at a time. Both paths give the same bits.
#pragma once

#include "quelm_ui/fast/qmvector2/qmvector2_api.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cmath>

namespace qm::vector2 {

using Vec2 = qm_vector2_t;

#if defined(__x86_64__)

inline __m128d load(const Vec2& v) noexcept {
    return _mm_loadu_pd(&v.x);
}
inline Vec2 store(__m128d lanes) noexcept {
    Vec2 v;
    _mm_storeu_pd(&v.x, lanes);
    return v;
}

inline Vec2 add(const Vec2& a, const Vec2& b) noexcept {
    return store(_mm_add_pd(load(a), load(b)));
}
inline Vec2 sub(const Vec2& a, const Vec2& b) noexcept {
    return store(_mm_sub_pd(load(a), load(b)));
}
inline Vec2 mul(const Vec2& a, const Vec2& b) noexcept {
    return store(_mm_mul_pd(load(a), load(b)));
}
inline Vec2 div(const Vec2& a, const Vec2& b) noexcept {
    return store(_mm_div_pd(load(a), load(b)));
}
inline Vec2 scale(const Vec2& a, double s) noexcept {
    return store(_mm_mul_pd(load(a), _mm_set1_pd(s)));
}
inline Vec2 div_scalar(const Vec2& a, double s) noexcept {
    return store(_mm_div_pd(load(a), _mm_set1_pd(s)));
}
// Floor of the IEEE quotient, per component (rounding toward negative infinity).
inline Vec2 floor_div(const Vec2& a, const Vec2& b) noexcept {
    return store(
        _mm_round_pd(_mm_div_pd(load(a), load(b)), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}
inline Vec2 floor_div_scalar(const Vec2& a, double s) noexcept {
    return store(_mm_round_pd(_mm_div_pd(load(a), _mm_set1_pd(s)),
                              _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}
// Sign bit flipped (0.0 becomes -0.0).
inline Vec2 negate(const Vec2& a) noexcept {
    return store(_mm_xor_pd(load(a), _mm_set1_pd(-0.0)));
}
// Sign bit cleared.
inline Vec2 absolute(const Vec2& a) noexcept {
    return store(_mm_andnot_pd(_mm_set1_pd(-0.0), load(a)));
}
// Rounded toward zero, held as doubles (1e300 stays 1e300).
inline Vec2 truncate(const Vec2& a) noexcept {
    return store(_mm_round_pd(load(a), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
}
// x*x + y*y, squares formed per component then added x-term plus y-term.
inline double length_squared(const Vec2& a) noexcept {
    const __m128d squares = _mm_mul_pd(load(a), load(a));
    return _mm_cvtsd_f64(_mm_add_sd(squares, _mm_unpackhi_pd(squares, squares)));
}
inline double dot(const Vec2& a, const Vec2& b) noexcept {
    const __m128d products = _mm_mul_pd(load(a), load(b));
    return _mm_cvtsd_f64(_mm_add_sd(products, _mm_unpackhi_pd(products, products)));
}

#else

inline Vec2 add(const Vec2& a, const Vec2& b) noexcept {
    return Vec2{a.x + b.x, a.y + b.y};
}
inline Vec2 sub(const Vec2& a, const Vec2& b) noexcept {
    return Vec2{a.x - b.x, a.y - b.y};
}
inline Vec2 mul(const Vec2& a, const Vec2& b) noexcept {
    return Vec2{a.x * b.x, a.y * b.y};
}
inline Vec2 div(const Vec2& a, const Vec2& b) noexcept {
    return Vec2{a.x / b.x, a.y / b.y};
}
inline Vec2 scale(const Vec2& a, double s) noexcept {
    return Vec2{a.x * s, a.y * s};
}
inline Vec2 div_scalar(const Vec2& a, double s) noexcept {
    return Vec2{a.x / s, a.y / s};
}
// Floor of the IEEE quotient, per component (rounding toward negative infinity).
inline Vec2 floor_div(const Vec2& a, const Vec2& b) noexcept {
    return Vec2{std::floor(a.x / b.x), std::floor(a.y / b.y)};
}
inline Vec2 floor_div_scalar(const Vec2& a, double s) noexcept {
    return Vec2{std::floor(a.x / s), std::floor(a.y / s)};
}
// Sign bit flipped (0.0 becomes -0.0).
inline Vec2 negate(const Vec2& a) noexcept {
    return Vec2{-a.x, -a.y};
}
// Sign bit cleared.
inline Vec2 absolute(const Vec2& a) noexcept {
    return Vec2{std::fabs(a.x), std::fabs(a.y)};
}
// Rounded toward zero, held as doubles (1e300 stays 1e300).
inline Vec2 truncate(const Vec2& a) noexcept {
    return Vec2{std::trunc(a.x), std::trunc(a.y)};
}
// x*x + y*y, squares formed per component then added x-term plus y-term (-ffp-contract=off keeps
// the two roundings: no fused multiply-add).
inline double length_squared(const Vec2& a) noexcept {
    return a.x * a.x + a.y * a.y;
}
inline double dot(const Vec2& a, const Vec2& b) noexcept {
    return a.x * b.x + a.y * b.y;
}

#endif

// Exact comparison, x first (0.0 equals -0.0; a NaN component equals nothing).
inline bool equal(const Vec2& a, const Vec2& b) noexcept {
    return a.x == b.x && a.y == b.y;
}
inline double length(const Vec2& a) noexcept {
    return std::sqrt(length_squared(a));
}
inline double distance_squared(const Vec2& a, const Vec2& b) noexcept {
    return length_squared(sub(a, b));
}
// Multiplication by the reciprocal length (not a division): (3, 4) gives (0.6000000000000001,
// 0.8). A zero (or underflowing) squared length gives (0, 0); an overflowing one gives zeros too,
// since the reciprocal is then 0.
inline Vec2 normalized(const Vec2& a) noexcept {
    const double squared = length_squared(a);
    if (squared == 0.0) {
        return Vec2{0.0, 0.0};
    }
    return scale(a, 1.0 / std::sqrt(squared));
}

} // namespace qm::vector2
