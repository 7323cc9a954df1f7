// Binary contract of the sibling type QuelmCobject (module quelm_ui.fast.quelmcobj.quelmcobj),
// the owner of an input request.
#pragma once

#include <Python.h>

#include "quelm_ui/fast/common/qmparam_abi.hpp"
#include "quelm_ui/fast/common/qmrect_abi.hpp"
#include "quelm_ui/fast/common/quelmcache_abi.hpp"
#include "quelm_ui/fast/common/sibling_slots.hpp"

#include <cstdint>

namespace qm::siblings {

struct QuelmCobjectObject;

// 34 entries; the first 17 have fixed positions, of which this system calls get_param_strict
// (5) and get_qmrect (17), always with the dispatch flag 0 so Python overrides take effect.
struct QuelmCobjectMethods {
    UnusedSlot _set_node_type;   // 1
    UnusedSlot _get_param_names; // 2
    UnusedSlot _find_param;      // 3
    UnusedSlot _add_param;       // 4
    QmParamObject* (*get_param_strict)(QuelmCobjectObject* self, PyObject* name,
                                       int skip_dispatch) noexcept;                    // 5
    UnusedSlot get_param;                                                              // 6
    UnusedSlot get_param_value;                                                        // 7
    UnusedSlot set_param_value;                                                        // 8
    UnusedSlot relx_custom;                                                            // 9
    UnusedSlot rely_custom;                                                            // 10
    UnusedSlot relm_custom;                                                            // 11
    UnusedSlot relx;                                                                   // 12
    UnusedSlot rely;                                                                   // 13
    UnusedSlot set_hover_state;                                                        // 14
    UnusedSlot relm;                                                                   // 15
    UnusedSlot rel;                                                                    // 16
    QmRectObject* (*get_qmrect)(QuelmCobjectObject* self, int skip_dispatch) noexcept; // 17
    UnusedSlot unused[17];                                                             // 18-34
};

// Object fields hold references (None when unset); `_z_request` is a ZRequest or None.
struct QuelmCobjectObject {
    PyObject_HEAD const QuelmCobjectMethods* vtab;
    int32_t _sended_z_link;
    int32_t _dragging;
    int32_t _is_kup;
    int32_t _kup_abandoned;
    int32_t _force_state_set_continue;
    int32_t _visible;
    int32_t _active;
    int32_t _changed;
    int32_t _first_update;
    int32_t _wait_mode;
    int32_t _dead;
    int32_t booted;
    PyObject* coordinates;
    PyObject* absolute_coordinates;
    PyObject* size;
    PyObject* _resize_ratio;
    PyObject* _style;
    PyObject* hover_state;
    PyObject* _system_callbacks;
    PyObject* params;
    PyObject* _blacklisted_params;
    PyObject* _next_frame_functions;
    uint16_t node_type;
    PyObject* _params_map;
    PyObject* _param_links;
    PyObject* cache;
    int32_t _has_position_anim;
    uint8_t _custom_flags;
    PyObject* _z_request;
    PyObject* specific_cache_whitelist;
};

inline constexpr const char* kQuelmCobjectModule = "quelm_ui.fast.quelmcobj.quelmcobj";
inline constexpr const char* kQuelmCobjectName = "QuelmCobject";
inline constexpr size_t kQuelmCobjectSize = 208;

static_assert(sizeof(QuelmCobjectObject) == kQuelmCobjectSize);
static_assert(offsetof(QuelmCobjectObject, _dead) == 64);
static_assert(offsetof(QuelmCobjectObject, coordinates) == 72);
static_assert(offsetof(QuelmCobjectObject, node_type) == 152);
static_assert(offsetof(QuelmCobjectObject, cache) == 176);
static_assert(offsetof(QuelmCobjectObject, _has_position_anim) == 184);
static_assert(offsetof(QuelmCobjectObject, _custom_flags) == 188);
static_assert(offsetof(QuelmCobjectObject, _z_request) == 192);
static_assert(sizeof(QuelmCobjectMethods) == 34 * sizeof(void*));
QM_TABLE_SLOT(QuelmCobjectMethods, get_param_strict, 5);
QM_TABLE_SLOT(QuelmCobjectMethods, get_qmrect, 17);

} // namespace qm::siblings
