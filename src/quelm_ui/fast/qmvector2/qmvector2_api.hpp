// Binary contract of QmVector2: the instance record and its native method table, as other
// extension modules see them. Importers include only this header.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>

namespace qm::vector2 {

struct qm_vector2_t {
    double x;
    double y;
};

struct QmVector2Object;

// Native method table, in binding slot order. Slots 1-7 are static. Object results are new
// references, or null with an exception set. No slot checks the type of its vector arguments:
// callers pass real QmVector2 instances, never None. The trailing int of `copy` and `sadd` is
// the dispatch flag, accepted and ignored (the type is final).
struct qm_vector2_methods_t {
    QmVector2Object* (*new_)(double x, double y) noexcept;                            // 1 "new"
    QmVector2Object* (*cfrom_list)(PyObject* list) noexcept;                          // 2
    QmVector2Object* (*cfrom_ints)(int32_t x, int32_t y) noexcept;                    // 3
    QmVector2Object* (*cfrom_floats)(float x, float y) noexcept;                      // 4
    QmVector2Object* (*cfrom_tuple)(PyObject* tuple) noexcept;                        // 5
    QmVector2Object* (*cfrom_qmvector2)(QmVector2Object* other) noexcept;             // 6
    QmVector2Object* (*cfrom_xy)(double x, double y) noexcept;                        // 7
    PyObject* (*c_get_int_tuple)(QmVector2Object* self) noexcept;                     // 8
    QmVector2Object* (*_add)(QmVector2Object* self, QmVector2Object* other) noexcept; // 9
    QmVector2Object* (*_sub)(QmVector2Object* self, QmVector2Object* other) noexcept; // 10
    void (*_iadd)(QmVector2Object* self, QmVector2Object* other) noexcept;            // 11
    void (*_isub)(QmVector2Object* self, QmVector2Object* other) noexcept;            // 12
    void (*_imul)(QmVector2Object* self, QmVector2Object* other) noexcept;            // 13
    void (*_sadd)(QmVector2Object* self, QmVector2Object* new_vec,
                  QmVector2Object* old_vec) noexcept;                            // 14
    QmVector2Object* (*copy)(QmVector2Object* self, int skip_dispatch) noexcept; // 15
    void (*sadd)(QmVector2Object* self, QmVector2Object* new_vec, QmVector2Object* old_vec,
                 int skip_dispatch) noexcept; // 16
};

// Invariant: vtab points at the module's single table from allocation on.
struct QmVector2Object {
    PyObject_HEAD const qm_vector2_methods_t* vtab;
    qm_vector2_t data;
};

inline constexpr const char* kModulePath = "quelm_ui.fast.qmvector2.qmvector2";
inline constexpr const char* kTypeName = "QmVector2";
inline constexpr size_t kRecordSize = 40;

static_assert(sizeof(qm_vector2_t) == 16 && offsetof(qm_vector2_t, y) == 8);
static_assert(sizeof(QmVector2Object) == kRecordSize);
static_assert(offsetof(QmVector2Object, vtab) == 16 && offsetof(QmVector2Object, data) == 24);

#define QM_VECTOR2_SLOT(field, position)                                                           \
    static_assert(offsetof(qm_vector2_methods_t, field) == ((position) - 1) * sizeof(void*))
QM_VECTOR2_SLOT(new_, 1);
QM_VECTOR2_SLOT(cfrom_list, 2);
QM_VECTOR2_SLOT(cfrom_ints, 3);
QM_VECTOR2_SLOT(cfrom_floats, 4);
QM_VECTOR2_SLOT(cfrom_tuple, 5);
QM_VECTOR2_SLOT(cfrom_qmvector2, 6);
QM_VECTOR2_SLOT(cfrom_xy, 7);
QM_VECTOR2_SLOT(c_get_int_tuple, 8);
QM_VECTOR2_SLOT(_add, 9);
QM_VECTOR2_SLOT(_sub, 10);
QM_VECTOR2_SLOT(_iadd, 11);
QM_VECTOR2_SLOT(_isub, 12);
QM_VECTOR2_SLOT(_imul, 13);
QM_VECTOR2_SLOT(_sadd, 14);
QM_VECTOR2_SLOT(copy, 15);
QM_VECTOR2_SLOT(sadd, 16);
static_assert(sizeof(qm_vector2_methods_t) == 16 * sizeof(void*));
#undef QM_VECTOR2_SLOT

} // namespace qm::vector2
