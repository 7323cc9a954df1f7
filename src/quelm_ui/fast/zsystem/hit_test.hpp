// The per-frame hit test over the dispatcher's int32 rows, free of Python: which rows contain
// the pointer and lie above the best z found so far.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::zsystem {

// Rows of the hit arrays: `rects` holds `count` rows of x, y, w, h back to back, `z` one value
// per row. Both stay valid (their arrays are held) for as long as the scan runs.
struct HitRows {
    const int32_t* rects;
    const int32_t* z;
    ptrdiff_t count;
};

// x + y with 32-bit wrap-around, as the row bounds are summed.
inline int32_t wrapping_add(int32_t a, int32_t b) noexcept {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Left and top edges inside, right and bottom edges outside.
inline bool row_contains(const int32_t* row, int32_t px, int32_t py) noexcept {
    return row[0] <= px && px < wrapping_add(row[0], row[2]) && row[1] <= py &&
           py < wrapping_add(row[1], row[3]);
}

// The first row at or after `start` that contains (px, py) and whose z is strictly greater
// than `best_z`, or -1 when there is none.
ptrdiff_t next_candidate(const HitRows& rows, int32_t px, int32_t py, int32_t best_z,
                         ptrdiff_t start) noexcept;

} // namespace qm::zsystem
