// The hit-test scan: eight rows at a time with AVX2 (rows transposed into x, y, w, h lanes),
// the remainder one by one.
#include "quelm_ui/fast/zsystem/hit_test.hpp"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace qm::zsystem {
namespace {

#if defined(__AVX2__)

// Bit k set when row first + k contains the pointer and lies above best_z.
inline unsigned block_mask(const HitRows& rows, ptrdiff_t first, __m256i px, __m256i py,
                           __m256i best_z) noexcept {
    const auto* base = reinterpret_cast<const __m256i*>(rows.rects + first * 4);
    const __m256i r01 = _mm256_loadu_si256(base);        // x0 y0 w0 h0 | x1 y1 w1 h1
    const __m256i r23 = _mm256_loadu_si256(base + 1);    // rows 2, 3
    const __m256i r45 = _mm256_loadu_si256(base + 2);    // rows 4, 5
    const __m256i r67 = _mm256_loadu_si256(base + 3);    // rows 6, 7
    const __m256i xy0 = _mm256_unpacklo_epi32(r01, r23); // x0 x2 y0 y2 | x1 x3 y1 y3
    const __m256i wh0 = _mm256_unpackhi_epi32(r01, r23); // w0 w2 h0 h2 | w1 w3 h1 h3
    const __m256i xy1 = _mm256_unpacklo_epi32(r45, r67); // x4 x6 y4 y6 | x5 x7 y5 y7
    const __m256i wh1 = _mm256_unpackhi_epi32(r45, r67);
    // Lanes hold rows 0 2 4 6 1 3 5 7.
    const __m256i x = _mm256_unpacklo_epi64(xy0, xy1);
    const __m256i y = _mm256_unpackhi_epi64(xy0, xy1);
    const __m256i w = _mm256_unpacklo_epi64(wh0, wh1);
    const __m256i h = _mm256_unpackhi_epi64(wh0, wh1);
    const __m256i right = _mm256_add_epi32(x, w);
    const __m256i bottom = _mm256_add_epi32(y, h);
    // Inside: not (x > px or y > py), and right > px and bottom > py.
    const __m256i inside = _mm256_andnot_si256(
        _mm256_or_si256(_mm256_cmpgt_epi32(x, px), _mm256_cmpgt_epi32(y, py)),
        _mm256_and_si256(_mm256_cmpgt_epi32(right, px), _mm256_cmpgt_epi32(bottom, py)));
    // Back to row order, then the z test on the rows as stored.
    const __m256i to_rows = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i inside_rows = _mm256_permutevar8x32_epi32(inside, to_rows);
    const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows.z + first));
    const __m256i hit = _mm256_and_si256(inside_rows, _mm256_cmpgt_epi32(z, best_z));
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(hit)));
}

#endif

} // namespace

ptrdiff_t next_candidate(const HitRows& rows, int32_t px, int32_t py, int32_t best_z,
                         ptrdiff_t start) noexcept {
    ptrdiff_t i = start < 0 ? 0 : start;
#if defined(__AVX2__)
    const __m256i px_lanes = _mm256_set1_epi32(px);
    const __m256i py_lanes = _mm256_set1_epi32(py);
    const __m256i best_lanes = _mm256_set1_epi32(best_z);
    // Four blocks per step: one branch per 32 rows.
    for (; i + 32 <= rows.count; i += 32) {
        const unsigned mask = block_mask(rows, i, px_lanes, py_lanes, best_lanes) |
                              block_mask(rows, i + 8, px_lanes, py_lanes, best_lanes) << 8 |
                              block_mask(rows, i + 16, px_lanes, py_lanes, best_lanes) << 16 |
                              block_mask(rows, i + 24, px_lanes, py_lanes, best_lanes) << 24;
        if (mask != 0) {
            return i + __builtin_ctz(mask);
        }
    }
    for (; i + 8 <= rows.count; i += 8) {
        const unsigned mask = block_mask(rows, i, px_lanes, py_lanes, best_lanes);
        if (mask != 0) {
            return i + __builtin_ctz(mask);
        }
    }
#endif
    for (; i < rows.count; ++i) {
        if (rows.z[i] > best_z && row_contains(rows.rects + i * 4, px, py)) {
            return i;
        }
    }
    return -1;
}

} // namespace qm::zsystem
