"""The callables behind every Python-visible method and function: method descriptors called
without a bound method, static factories, names, text signatures and return annotations."""

import inspect

import pytest

from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.raylib import quelm_raylib
from quelm_ui.fast.zsystem import zdispatch

METHOD_DESCRIPTOR = 1 << 17  # Py_TPFLAGS_METHOD_DESCRIPTOR

TYPES = [QmVector2, zdispatch.ZRequest, zdispatch.ZSystem]


def own_functions(cls):
    for name, attr in vars(cls).items():
        if type(attr).__name__ == "quelm_method":
            yield name, attr


@pytest.mark.parametrize("cls", TYPES, ids=lambda cls: cls.__name__)
def test_methods_are_method_descriptors(cls):
    methods = dict(own_functions(cls))
    assert methods, f"{cls.__name__} has no methods of its own"
    for name, method in methods.items():
        assert type(method).__flags__ & METHOD_DESCRIPTOR, name
        assert method.__qualname__ == f"{cls.__name__}.{name}"
        assert method.__module__ == cls.__module__
        assert inspect.signature(method).parameters  # readable: at least `self`


def test_method_descriptor_checks_its_instance():
    with pytest.raises(TypeError) as info:
        QmVector2.to_int(5)
    assert str(info.value) == ("descriptor 'to_int' for 'quelm_ui.fast.qmvector2.qmvector2.QmVector2' "
                               "objects doesn't apply to a 'int' object")


def test_bound_access_and_unbound_call_agree():
    vector = QmVector2(2.7, -2.7)
    bound = vector.get_int
    assert bound.__self__ is vector
    assert QmVector2.get_int(vector) == bound() == QmVector2(2.0, -2.0)
    assert vars(QmVector2)["get_int"].__get__(None, QmVector2) is QmVector2.get_int


@pytest.mark.parametrize("name, annotations", [
    ("to_int", {"return": "QmVector2"}),
    ("to_tuple", {"return": "tuple[float, float]"}),
    ("get_int_tuple", {"return": "tuple[int, int]"}),
    ("copy", {}),
    ("sadd", {}),
    ("dot", {}),
    ("to_pygame", {}),
])
def test_return_annotations(name, annotations):
    assert getattr(QmVector2, name).__annotations__ == annotations


@pytest.mark.parametrize("assign, error", [
    (lambda func: setattr(func, "__annotations__", {"return": "X"}), None),
    (lambda func: setattr(func, "__annotations__", [("return", "X")]), TypeError),
    (lambda func: delattr(func, "__annotations__"), TypeError),
])
def test_annotations_are_replaced_by_a_dict_only(assign, error):
    func = QmVector2.dot
    saved = func.__annotations__
    try:
        if error is None:
            assign(func)
            assert func.__annotations__ == {"return": "X"}
        else:
            with pytest.raises(error, match="^__annotations__ must be set to a dict object$"):
                assign(func)
            assert func.__annotations__ is saved
    finally:
        func.__annotations__ = saved


def test_module_functions_do_not_bind():
    func = quelm_raylib.begin_drawing

    class Holder:
        method = func

    assert Holder().method is func
    assert func.__module__ == "quelm_ui.fast.raylib.quelm_raylib"
    assert str(inspect.signature(quelm_raylib.draw_texture_rec)) == (
        "(texture, source_rec, position, color)")
