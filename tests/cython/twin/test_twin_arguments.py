"""Argument errors of every Python-visible callable, compared with a Cython 3.0.12 build of the
same signatures (twin.pyx): for a battery of faulty calls per callable (counts, unknown, repeated
and non-string keywords, positional and keyword mixes, wrong types, failing conversions, two
faults at once, a method without its receiver) both raise the same exception with the same text.

Only what must differ is normalised: the twin's types live in the module `qm_twin`, so their
names in messages are mapped onto the names of our types.
"""

from __future__ import annotations

import ctypes
import importlib
import itertools
import re
import sys
from dataclasses import dataclass
from pathlib import Path

import pytest

from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.raylib import quelm_raylib
from quelm_ui.fast.zsystem import zdispatch

TWIN_PYX = Path(__file__).with_name("twin.pyx")
TWIN_MODULE = "qm_twin"
EXTENSION_TYPES = ("QmVector2", "QmRect", "QmShader", "ZRequest")
CONSTRUCTORS = ("__init__", "__cinit__")  # compared by calling the type


# ---- the signatures, read from twin.pyx ----

@dataclass(frozen=True)
class Param:
    name: str
    kind: str          # "object", a C type, an extension type, a container or "vector[...]"
    none_ok: bool
    required: bool


@dataclass(frozen=True)
class Signature:
    owner: str | None  # class name, None for a module function
    name: str
    static: bool
    params: tuple[Param, ...]
    varargs: bool


def _param(text: str) -> Param | None:
    text = text.strip()
    if text in ("self", "/", "") or text.startswith("*"):
        return None
    text, _, default = text.partition("=")
    none_ok = not text.endswith("not None")
    words = text.removesuffix("not None").split()
    kind = " ".join(words[:-1]) or "object"
    return Param(words[-1], kind, none_ok, not default)


def read_signatures() -> list[Signature]:
    source = TWIN_PYX.read_text()
    signatures = []
    owner = None
    static = False
    pattern = re.compile(r"^([ \t]*)(?:@(\w+)|cdef class (\w+)|(?:c?p?def) (\w+)\(([^)]*)\))",
                         re.MULTILINE)
    for match in pattern.finditer(re.sub(r",\s*\n\s*", ", ", source)):
        indent, decorator, cls, name, params = match.groups()
        if decorator:
            static = static or decorator == "staticmethod"
            continue
        if cls:
            owner = cls
            continue
        if not indent:
            owner = None
        parsed = tuple(p for p in map(_param, params.split(",")) if p)
        signatures.append(Signature(owner, name, static, parsed, "*args" in params))
        static = False
    return signatures


SIGNATURES = read_signatures()


# ---- the two implementations ----

@pytest.fixture(scope="session")
def twin(cybuild):
    cython_dir = cybuild.ensure_cython("cython==3.0.12")
    root = cybuild.build("twin", {TWIN_MODULE: TWIN_PYX}, cython_dir=cython_dir, cplus=True)
    sys.path.insert(0, str(root))
    try:
        return importlib.import_module(TWIN_MODULE)
    finally:
        sys.path.remove(str(root))


class Impl:
    """One implementation: its types and the modules holding its functions."""

    def __init__(self, types: dict[str, type], modules: list):
        self.types = types
        self.modules = modules

    def instance(self, type_name: str):
        cls = self.types[type_name]
        return cls(1.0, 2.0) if type_name == "QmVector2" else cls.__new__(cls)

    def callable(self, sig: Signature):
        if sig.owner is None:
            return next(vars(m)[sig.name] for m in self.modules if sig.name in vars(m))
        cls = self.types[sig.owner]
        return cls if sig.name in CONSTRUCTORS else getattr(cls, sig.name)

    def receiver(self, sig: Signature):
        if sig.owner is None or sig.static or sig.name in CONSTRUCTORS:
            return ()
        return (self.instance(sig.owner),)


def ours() -> Impl:
    types = {"QmVector2": QmVector2, "QmRect": QmRect, "QmShader": QmShader,
             "ZRequest": zdispatch.ZRequest, "ZSystem": zdispatch.ZSystem}
    return Impl(types, [quelm_raylib, zdispatch])


def theirs(module) -> Impl:
    types = {name: getattr(module, name) for name in (*EXTENSION_TYPES, "ZSystem")}
    return Impl(types, [module])


def normalised(error: BaseException, names: dict[str, str]) -> tuple[type, str]:
    text = str(error)
    for twin_name, our_name in names.items():
        text = text.replace(twin_name, our_name)
    return type(error), text


# ---- values: valid ones and faulty ones, per parameter kind ----

class Boom(Exception):
    pass


def _raise(what):
    raise Boom(what)


class FailingBool:
    def __bool__(self):
        _raise("__bool__")


class FailingIndex:
    def __index__(self):
        _raise("__index__")


class FailingFloat:
    def __float__(self):
        _raise("__float__")


class FailingInt:
    def __int__(self):
        _raise("__int__")


class IndexOnly:
    def __index__(self):
        return 3


class StrFromInt:
    def __int__(self):
        return "x"


class FailingIter:
    def __iter__(self):
        _raise("__iter__")


class TupleSub(tuple):
    pass


class ListSub(list):
    pass


class DictSub(dict):
    pass


class StrSub(str):
    pass


@dataclass(frozen=True)
class Inst:
    """An instance of the named extension type, made by each implementation."""
    type_name: str


INTEGERS = ["s", None, 2**31, -2**31 - 1, 2**63, 2**64, FailingInt(), StrFromInt(), IndexOnly(),
            FailingIndex(), b"1"]
FLOATS = ["s", None, 10**400, FailingFloat(), FailingIndex(), b"1", 1j]
MAPPING = {"x": 1, "y": 2, "z": 3, "w": 4}
BAD = {
    "int": INTEGERS,
    "long": INTEGERS,
    "float": FLOATS,
    "double": FLOATS,
    "bint": [FailingBool()],
    "tuple": [[1, 2], TupleSub((1, 2)), 1, "ab"],
    "list": [(1, 2), ListSub((1, 2)), 1],
    "dict": [DictSub(), [], 1],
    "str": [b"n", StrSub("n"), 1],
    "vector[float]": [5, None, ["a"], [1.0, FailingFloat()], "ab", FailingIter(), [None]],
    "vector[Vector4]": [5, None, [1], [{"x": 1}], [{**MAPPING, "x": "a"}],
                        [{"x": 1, "y": 2, "w": 3}], [{**MAPPING, "z": FailingFloat()}],
                        FailingIter(), "ab", [MAPPING, 7]],
}
GOOD = {"object": 0, "int": 1, "long": 1, "float": 1.5, "double": 1.5, "bint": True,
        "tuple": (1, 2, 3, 4), "list": [1, 2], "dict": {}, "str": "n", "vector[float]": [],
        "vector[Vector4]": []}


def good(param: Param):
    return Inst(param.kind) if param.kind in EXTENSION_TYPES else GOOD[param.kind]


def bad(param: Param) -> list:
    if param.kind in EXTENSION_TYPES:
        others = [Inst(name) for name in EXTENSION_TYPES if name != param.kind][:2]
        return [1, "s", *others, *([] if param.none_ok else [None])]
    values = list(BAD.get(param.kind, []))
    if not param.none_ok:
        values.append(None)
    return values


# ---- the battery ----

@dataclass
class Call:
    label: str
    args: tuple
    kwargs: tuple = ()          # (key, value) pairs; keys need not be strings
    receiver: bool = True       # False: a method called on its type without an instance
    init_slot: bool = False     # True: __init__ called on an instance, keywords in a dict
    new_slot: bool = False      # True: the type's __new__ called with these arguments
    vectorcall: bool = False    # True: made through PyObject_Vectorcall with these kwnames


def battery(sig: Signature) -> list[Call]:
    params = sig.params
    valid = [good(p) for p in params]
    required = sum(p.required for p in params)
    count = len(params)
    calls = [
        Call("too many", (*valid, 0)),
        Call("too many + keyword", (*valid, 0), (("bogus", 1),)),
        Call("unknown keyword", tuple(valid), (("bogus", 1),)),
        Call("unknown keywords", tuple(valid), (("bogus", 1), ("other_bogus", 2))),
        Call("non-string keyword", tuple(valid), ((1, 2),)),
        Call("non-string keyword, vectorcall", tuple(valid), ((1, 2),), vectorcall=True),
        Call("unknown then non-string keyword, vectorcall", tuple(valid),
             (("bogus", 1), (1, 2)), vectorcall=True),
        Call("non-string then unknown keyword, vectorcall", tuple(valid),
             ((1, 2), ("bogus", 1)), vectorcall=True),
        Call("unknown keyword as str subclass", tuple(valid), ((StrSub("bogus"), 1),)),
        Call("positional + keyword", (0,), (("bogus", 1),)),
        Call("two positionals + keyword", (0, 0), (("bogus", 1),)),
    ]
    if sig.owner and not sig.static and sig.name not in CONSTRUCTORS:
        calls += [Call("no receiver", (), receiver=False),
                  Call("no receiver, keyword", (), (("bogus", 1),), receiver=False)]
    for given in range(required):
        calls.append(Call(f"{given} positional", tuple(valid[:given])))
        calls.append(Call(f"{given} positional + unknown", tuple(valid[:given]), (("bogus", 1),)))
        rest = tuple((p.name, v) for p, v in zip(params[given + 1:], valid[given + 1:]))
        calls.append(Call(f"missing {params[given].name} by keyword", tuple(valid[:given]), rest))
    for i, param in enumerate(params):
        calls.append(Call(f"{param.name} twice", tuple(valid), ((param.name, valid[i]),)))
        calls.append(Call(f"{param.name} by str-subclass keyword", tuple(valid[:i]),
                          ((StrSub(param.name), valid[i]),)))
        calls.append(Call(f"{param.name} twice + unknown", tuple(valid),
                          (("bogus", 1), (param.name, valid[i]))))
        for value in bad(param):
            args = list(valid)
            args[i] = value
            calls.append(Call(f"{param.name}={value!r}", tuple(args)))
            calls.append(Call(f"{param.name}={value!r} by keyword", (),
                              tuple((p.name, a) for p, a in zip(params, args))))
            calls.append(Call(f"{param.name}={value!r} + unknown", tuple(args), (("bogus", 1),)))
    for (i, first), (j, second) in itertools.combinations(enumerate(params), 2):
        for a, b in itertools.product(bad(first)[:3], bad(second)[:3]):
            args = list(valid)
            args[i], args[j] = a, b
            calls.append(Call(f"{first.name}={a!r}, {second.name}={b!r}", tuple(args)))
            calls.append(Call(f"{first.name}={a!r}, {second.name}={b!r} reversed keywords", (),
                              tuple((p.name, x) for p, x in reversed(list(zip(params, args))))))
    if sig.varargs:
        calls += [Call("keyword", (), (("x", 1),)), Call("keywords", (1, 2), (("x", 1), ("y", 2))),
                  Call("keyword, vectorcall", (1, 2), (("x", 1), ("y", 2)), vectorcall=True)]
    if sig.name in CONSTRUCTORS:
        calls += [Call(f"instance.__init__, {call.label}", call.args, call.kwargs, init_slot=True)
                  for call in list(calls) if not call.vectorcall]
        calls.append(Call("__init__ without instance", (), receiver=False, init_slot=True))
        calls += [Call("__new__ without type", (), new_slot=True),
                  Call("__new__ of int", (int,), new_slot=True)]
    if count == 0:
        calls += [Call("one positional", (1,)), Call("two positionals", (1, 2)),
                  Call("keyword", (), (("bogus", 1),)),
                  Call("keyword, vectorcall", (), (("bogus", 1),), vectorcall=True)]
    return calls


# A private prototype: the shared ctypes.pythonapi entry keeps the argument types others give it.
_vectorcall = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.c_void_p,
                                ctypes.c_size_t, ctypes.c_void_p)(
    ("PyObject_Vectorcall", ctypes.pythonapi))


def vectorcall(func, args: tuple, kwargs: tuple):
    """PyObject_Vectorcall with keyword names as given, strings or not."""
    values = (ctypes.py_object * max(1, len(args) + len(kwargs)))(
        *args, *(value for _, value in kwargs))
    kwnames = tuple(key for key, _ in kwargs)
    names = ctypes.c_void_p(id(kwnames)) if kwnames else None
    return _vectorcall(func, ctypes.cast(values, ctypes.c_void_p), len(args), names)


def outcome(impl: Impl, sig: Signature, call: Call):
    """The exception the call raises in `impl`, or None."""
    def resolve(value):
        return impl.instance(value.type_name) if isinstance(value, Inst) else value

    func = impl.callable(sig)
    receiver = impl.receiver(sig) if call.receiver else ()
    if call.init_slot:
        func = impl.instance(sig.owner).__init__ if call.receiver else func.__init__
    if call.new_slot:
        func, receiver = impl.types[sig.owner].__new__, ()
    args = (*receiver, *map(resolve, call.args))
    kwargs = tuple((key, resolve(value)) for key, value in call.kwargs)
    try:
        if call.vectorcall:
            vectorcall(func, args, kwargs)
        else:
            func(*args, **dict(kwargs))
    except Exception as error:
        return error
    return None


# QmVector2 keeps a vectorcall constructor for speed, so the interpreter itself refuses a keyword
# dict with a non-string key ("keywords must be strings") before the constructor runs; for a type
# without one, the constructor reports "__init__() keywords must be strings".
INTERPRETER_FIRST = {
    ("QmVector2", "__init__", "non-string keyword"): (TypeError, "keywords must be strings"),
}


def test_every_callable_has_a_twin():
    def visible(namespace, kinds):
        return {name for name, attr in vars(namespace).items()
                if type(attr).__name__ in kinds
                or type(getattr(attr, "__func__", None)).__name__ in kinds}

    ours_ = {(None, name) for module in (quelm_raylib, zdispatch)
             for name in visible(module, {"quelm_function"})}
    for cls in (QmVector2, zdispatch.ZRequest, zdispatch.ZSystem):
        ours_ |= {(cls.__name__, name) for name in visible(cls, {"quelm_method",
                                                                 "quelm_function"})}
    ours_ |= {("QmVector2", "__init__"), ("ZRequest", "__init__"), ("ZSystem", "__cinit__")}
    assert {(s.owner, s.name) for s in SIGNATURES} == ours_


@pytest.mark.parametrize("sig", SIGNATURES, ids=lambda s: f"{s.owner or 'module'}.{s.name}")
def test_argument_errors_match_cython(twin, sig):
    our_impl, twin_impl = ours(), theirs(twin)
    names = {f"{TWIN_MODULE}.{name}": f"{cls.__module__}.{cls.__qualname__}"
             for name, cls in our_impl.types.items()}
    compared, mismatches = 0, []
    for call in battery(sig):
        expected = outcome(twin_impl, sig, call)
        if expected is None:
            continue  # not a fault for this signature (e.g. 2**31 where a C long is taken)
        compared += 1
        got = outcome(our_impl, sig, call)
        want = INTERPRETER_FIRST.get((sig.owner, sig.name, call.label),
                                     normalised(expected, names))
        have = normalised(got, names) if got is not None else (type(None), "no error")
        if have != want:
            mismatches.append(f"{call.label}: {have[0].__name__}: {have[1]!r}\n"
                              f"    expected {want[0].__name__}: {want[1]!r}")
    assert compared, "the battery holds no faulty call for this signature"
    assert not mismatches, f"{len(mismatches)} of {compared} differ:\n" + "\n".join(mismatches)
