// Binary contract of the sibling type Cache (module quelm_ui.fast.quelmcache.quelmcache).
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/sibling_slots.hpp"

namespace qm::siblings {

// 7 entries, none called by this system.
struct CacheMethods {
    UnusedSlot unused[7];
};

struct CacheObject {
    PyObject_HEAD const CacheMethods* vtab;
    PyObject* cache_arr;
};

inline constexpr const char* kCacheModule = "quelm_ui.fast.quelmcache.quelmcache";
inline constexpr const char* kCacheName = "Cache";
inline constexpr size_t kCacheSize = 32;

static_assert(sizeof(CacheObject) == kCacheSize);
static_assert(offsetof(CacheObject, cache_arr) == 24);
static_assert(sizeof(CacheMethods) == 7 * sizeof(void*));

} // namespace qm::siblings
