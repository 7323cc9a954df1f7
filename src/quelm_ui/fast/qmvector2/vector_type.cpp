// The QmVector2 type object: allocation through the free list, construction and the x/y
// properties.
#include "quelm_ui/fast/qmvector2/vector_internal.hpp"

#include "quelm_ui/fast/common/args.hpp"
#include "quelm_ui/fast/common/convert.hpp"
#include "quelm_ui/fast/common/errors.hpp"
#include "quelm_ui/fast/common/ref.hpp"

#include <cstring>

namespace qm::vector2 {
namespace {

// Module-wide stack of released vectors, most recently released on top.
constexpr int kFreeListCapacity = 1000;
QmVector2Object* g_free_list[kFreeListCapacity];
int g_free_count = 0;

// Inlined into make_vector, which every operator result goes through.
[[gnu::always_inline]] inline QmVector2Object* allocate_vector() noexcept {
    QmVector2Object* obj;
    if (g_free_count > 0) {
        obj = g_free_list[--g_free_count];
    } else {
        obj = static_cast<QmVector2Object*>(PyObject_Malloc(sizeof(QmVector2Object)));
        if (!obj) {
            PyErr_NoMemory();
            return nullptr;
        }
    }
    std::memset(static_cast<void*>(obj), 0, sizeof(QmVector2Object));
    PyObject_Init(reinterpret_cast<PyObject*>(obj), &QmVector2Type);
    obj->vtab = &kMethods;
    return obj;
}

void vector_dealloc(PyObject* self) noexcept {
    if (g_free_count < kFreeListCapacity) {
        g_free_list[g_free_count++] = as_vector(self);
    } else {
        PyObject_Free(self);
    }
}

PyObject* vector_tp_new(PyTypeObject*, PyObject*, PyObject*) noexcept {
    return reinterpret_cast<PyObject*>(allocate_vector());
}

// Reads x then y from an object shaped like a pygame vector, storing each as soon as it is
// converted. May call back into Python.
int init_from_vector_like(QmVector2Object* self, PyObject* arg) noexcept {
    double component = 0.0;
    Ref x = Ref::steal(PyObject_GetAttr(arg, g_names.x));
    if (!x || to_double(x.get(), component) < 0) {
        return -1;
    }
    self->data.x = component;
    Ref y = Ref::steal(PyObject_GetAttr(arg, g_names.y));
    if (!y || to_double(y.get(), component) < 0) {
        return -1;
    }
    self->data.y = component;
    return 0;
}

// Item `index` of a list or tuple (subclasses through the sequence protocol), as a new
// reference; a list that shrank while its items were converted gives IndexError.
Ref sequence_item(PyObject* seq, Py_ssize_t index) noexcept {
    if (PyList_CheckExact(seq)) {
        if (index >= PyList_GET_SIZE(seq)) {
            PyErr_SetString(PyExc_IndexError, "list index out of range");
            return Ref();
        }
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        return Ref::borrow(PyList_GET_ITEM(seq, index));
        // GCOVR_EXCL_BR_STOP
    }
    if (PyTuple_CheckExact(seq)) {
        if (index >= PyTuple_GET_SIZE(seq)) {
            PyErr_SetString(PyExc_IndexError, "tuple index out of range");
            return Ref();
        }
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
        return Ref::borrow(PyTuple_GET_ITEM(seq, index));
        // GCOVR_EXCL_BR_STOP
    }
    return Ref::steal(PySequence_GetItem(seq, index));
}

int init_from_sequence(QmVector2Object* self, PyObject* arg) noexcept {
    const Py_ssize_t length = PyList_CheckExact(arg)    ? PyList_GET_SIZE(arg)
                              : PyTuple_CheckExact(arg) ? PyTuple_GET_SIZE(arg)
                                                        : PyObject_Length(arg);
    if (length < 0) {
        return -1;
    }
    if (length != 2) {
        PyErr_Format(PyExc_TypeError, "QmVector2() takes a sequence of length 2, but got %zd",
                     length);
        return -1;
    }
    double component = 0.0;
    Ref x = sequence_item(arg, 0);
    if (!x || to_double(x.get(), component) < 0) {
        return -1;
    }
    self->data.x = component;
    Ref y = sequence_item(arg, 1);
    if (!y || to_double(y.get(), component) < 0) {
        return -1;
    }
    self->data.y = component;
    return 0;
}

// Looks for the pygame-vector marker; only AttributeError counts as absence.
int has_vector_marker(PyObject* arg) noexcept {
    PyObject* raw = nullptr;
    const int found = PyObject_GetOptionalAttr(arg, g_names.clamp_magnitude_ip, &raw);
    Ref marker = Ref::steal(raw);
    return found;
}

int init_from_one(QmVector2Object* self, PyObject* arg) noexcept {
    if (is_vector(arg)) {
        self->data = as_vector(arg)->data;
        return 0;
    }
    const int vector_like = has_vector_marker(arg);
    if (vector_like < 0) {
        return -1;
    }
    if (vector_like) {
        return init_from_vector_like(self, arg);
    }
    if (PyList_Check(arg) || PyTuple_Check(arg)) {
        return init_from_sequence(self, arg);
    }
    Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(arg)));
    if (type_name) { // GCOVR_EXCL_BR_LINE: a type always has a name
        PyErr_Format(PyExc_TypeError, "QmVector2() invalid constructor argument: %U",
                     type_name.get());
    }
    return -1;
}

// The constructor's work on already-separated positional arguments.
int init_from_args(QmVector2Object* self, PyObject* const* args, Py_ssize_t nargs) noexcept {
    double component = 0.0;
    switch (nargs) {
    case 0:
        self->data = Vec2{0.0, 0.0};
        return 0;
    case 1:
        return init_from_one(self, args[0]);
    case 2:
        if (to_double(args[0], component) < 0) {
            return -1;
        }
        self->data.x = component;
        if (to_double(args[1], component) < 0) {
            return -1;
        }
        self->data.y = component;
        return 0;
    default:
        PyErr_Format(PyExc_TypeError, "QmVector2() takes 0, 1, or 2 arguments, but %zd were given",
                     nargs);
        return -1;
    }
}

int vector_init(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    if (kwargs && PyDict_GET_SIZE(kwargs) != 0) {
        refuse_keywords("__init__", kwargs);
        // GCOVR_EXCL_BR_START: the type assert inside the item macro
    } else if (init_from_args(as_vector(self), &PyTuple_GET_ITEM(args, 0),
                              // GCOVR_EXCL_BR_STOP
                              PyTuple_GET_SIZE(args)) == 0) {
        return 0;
    }
    traceback("__init__");
    return -1;
}

// QmVector2(...) without an argument tuple: allocation and __init__ in one step (the type is
// final, so no subclass __init__ can be skipped).
PyObject* vector_vectorcall(PyObject*, PyObject* const* args, size_t nargsf,
                            PyObject* kwnames) noexcept {
    if (kwnames && PyTuple_GET_SIZE(kwnames) != 0) {
        refuse_keywords("__init__", kwnames);
        traceback("__init__");
        return nullptr;
    }
    Ref self = Ref::steal(reinterpret_cast<PyObject*>(allocate_vector()));
    if (!self) {
        return nullptr;
    }
    if (init_from_args(self.as<QmVector2Object>(), args, PyVectorcall_NARGS(nargsf)) < 0) {
        traceback("__init__");
        return nullptr;
    }
    return self.release();
}

PyObject* get_x(PyObject* self, void*) noexcept {
    return PyFloat_FromDouble(as_vector(self)->data.x);
}

PyObject* get_y(PyObject* self, void*) noexcept {
    return PyFloat_FromDouble(as_vector(self)->data.y);
}

// Converts first and stores only a valid value: a failed assignment leaves the vector alone.
int set_component(PyObject* value, double& component, const char* operation) noexcept {
    double converted = 0.0;
    if (!value) {
        err::cannot_delete();
    } else if (to_double(value, converted) == 0) {
        component = converted;
        return 0;
    }
    traceback(operation);
    return -1;
}

int set_x(PyObject* self, PyObject* value, void*) noexcept {
    return set_component(value, as_vector(self)->data.x, "x.__set__");
}

int set_y(PyObject* self, PyObject* value, void*) noexcept {
    return set_component(value, as_vector(self)->data.y, "y.__set__");
}

PyGetSetDef vector_getset[] = {
    {"x", get_x, set_x,
     "The x component, a float.\n"
     "\n"
     "Assigning converts the value as float() does (an int, a float, or an object with __float__ "
     "or __index__); a value that does not convert raises TypeError (OverflowError for an int too "
     "large for a double) and leaves the vector unchanged. Deleting raises NotImplementedError "
     "\"__del__\".\n",
     nullptr},
    {"y", get_y, set_y, "The y component, a float; assigned and guarded as x.\n", nullptr},
    {"length", get_length, nullptr,
     "The Euclidean length sqrt(x*x + y*y), a float (read-only).\n"
     "\n"
     "There is no scaling against overflow: the length of (1e200, 0) is inf.\n",
     nullptr},
    {"xx", get_xx, nullptr, "A new vector (x, x) (read-only).\n", nullptr},
    {"yy", get_yy, nullptr, "A new vector (y, y) (read-only).\n", nullptr},
    {"xy", get_xy, nullptr, "A new vector (x, y), a copy (read-only).\n", nullptr},
    {"yx", get_yx, nullptr, "A new vector (y, x) (read-only).\n", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr PyTypeObject make_vector_type() noexcept {
    PyTypeObject type = {PyVarObject_HEAD_INIT(nullptr, 0)};
    type.tp_name = "quelm_ui.fast.qmvector2.qmvector2.QmVector2";
    type.tp_basicsize = sizeof(QmVector2Object);
    type.tp_dealloc = vector_dealloc;
    type.tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    type.tp_doc =
        "QmVector2(*args)\n--\n\n"
        "A mutable 2-D vector of two doubles, x and y: the toolkit's positions, sizes and "
        "offsets.\n"
        "\n"
        "QmVector2() is (0.0, 0.0) and QmVector2(x, y) takes two numbers. A single argument is "
        "copied: a QmVector2, a pygame Vector2 (any object with x, y and clamp_magnitude_ip), or "
        "a list or tuple of exactly two numbers. Keywords are refused. The type is final, "
        "hashable by value although mutable, and cannot be pickled (copying works).\n"
        "\n"
        "Raises:\n"
        "    TypeError: a keyword, more than two arguments, a list or tuple whose length is not 2, "
        "any other single argument (a number alone included), or a component without a float "
        "conversion.\n"
        "    OverflowError: an int too large for a double.\n";
    type.tp_getset = vector_getset;
    type.tp_init = vector_init;
    type.tp_new = vector_tp_new;
    type.tp_vectorcall = vector_vectorcall;
    return type;
}

} // namespace

constinit PyTypeObject QmVector2Type = make_vector_type();

QmVector2Object* make_vector(const Vec2& value) noexcept {
    QmVector2Object* obj = allocate_vector();
    if (obj) {
        obj->data = value;
    }
    return obj;
}

int sequence_pair(PyObject* seq, Vec2& out) noexcept {
    Vec2 value{};
    Ref x = sequence_item(seq, 0);
    if (!x || to_double(x.get(), value.x) < 0) {
        return -1;
    }
    Ref y = sequence_item(seq, 1);
    if (!y || to_double(y.get(), value.y) < 0) {
        return -1;
    }
    out = value;
    return 0;
}

int ready_vector_type() noexcept {
    if (PyType_HasFeature(&QmVector2Type, Py_TPFLAGS_READY)) {
        return 0; // readied by an earlier initialisation that failed later on
    }
    install_operator_slots(QmVector2Type);
    install_conversion_slots(QmVector2Type);
    return PyType_Ready(&QmVector2Type);
}

} // namespace qm::vector2
