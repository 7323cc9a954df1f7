"""Exhaustion sweep: every callable of the robustness catalogue (run.py), and the import of each
module, run with allocation k failing for k = 1, 2, ... until a run no longer reaches an injected
failure, each run in a forked child (forking.py).

    python tests/robustness/exhaust.py [--only REGEX] [--jobs 2] [--list]
    python tests/robustness/exhaust.py --replay NAME K     # point K of NAME, in this process

A callable gets one well-formed argument set (the catalogue's valid mode, seeded by its name).
A first run with no failure gives the reference: its outcome, the objects' states after it and
the number of allocations N it requests; allocations are deterministic in a forked child, so
points 1..N each reach their failure. A point must end in the reference's own outcome or in
MemoryError (or an error whose cause or context is one), never in a crash, a SystemError or
another error, and leave every vector and request in its state before the call or after the
reference, every dispatcher still running `cycle` and `get_active_requests` and every request
still firing its callback. An import must give ImportError or MemoryError, and a retry with
allocations working must import a working module. Exit status 1 on any finding.

Allocations fail through _testcapi.set_nomemory (the interpreter's raw, mem and object domains);
quelm_ui_testbeds.alloc_faults counts them and routes NumPy's data buffers through the raw domain.
"""

from __future__ import annotations

import argparse
import ast
import gc
import importlib
import os
import re
import shlex
import sys
import time

import _testcapi  # noqa: F401  (alloc_faults calls its set_nomemory)
import numpy  # noqa: F401

import quelm_ui.core.enums  # noqa: F401  (the modules' dependencies outside this system,
import quelm_ui.core.modules  # noqa: F401  loaded before the imports are swept)
import quelm_ui.fast.qmparam.qmparam  # noqa: F401
import quelm_ui.fast.qmrendertex.qm_render_tex  # noqa: F401
import quelm_ui.fast.qmshader.qmshader  # noqa: F401
import quelm_ui.fast.quelmcache.quelmcache  # noqa: F401
# The scripts beside this one: the installed-wheel check runs it under PYTHONSAFEPATH, which
# leaves the script's folder off sys.path.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from forking import EXIT_SYSTEM_ERROR, describe_status, excerpt, prepare_parent, run_pool
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui_testbeds import alloc_faults, fake_raylib

ADDRESS = re.compile(r"0x[0-9a-f]+")
CALLBACK_FIELDS = ("on_hover_func", "on_unhover_func", "on_click_func", "on_scroll_func",
                   "on_keyup_func", "on_keyup_abandon_func")


# ---------------------------------------------------------------------------------------------
# The imports: each module imported with its dependencies outside this system already loaded
# (and the modules of this system it imports swept before it), then retried.

def vector_works(m):
    return str((m.QmVector2(1, 2) + m.QmVector2(3, 4)).to_tuple()), m.md.__name__


def dispatcher_works(m):
    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
    system, owner, got = m.ZSystem(), QuelmCobject(QmRect(0, 0, 10, 10), 1), []
    request = m.ZRequest(owner, on_scroll_func=lambda: (lambda *a: got.append(a)))
    system.add(request)
    system.cycle(QmVector2(5, 5), False, False, True, True)
    return [(bind.name, down) for bind, down in got], system.get_active_requests() == [request]


def bridge_works(m):
    m.init_raylib_pointers(fake_raylib.addresses())
    fake_raylib.clear()
    m.clear_background((1, 2, 3))
    return m._base_color_qmvec_ez.x, len(m.__pyx_capi__), fake_raylib.calls()


IMPORTS = [
    ("quelm_ui.fast.qmvector2.qmvector2", vector_works,
     ("(4.0, 6.0)", "quelm_ui.core.modules")),
    ("quelm_ui.fast.zsystem.zdispatch", dispatcher_works, ([("Scroll", True)], True)),
    ("quelm_ui.fast.raylib.quelm_raylib", bridge_works,
     (255.0, 30, [("ClearBackground", (1, 2, 3, 255))])),
]


def chain(error):
    """The exception and those it was raised from or while handling, once each."""
    seen = []
    while error is not None and all(error is not e for e in seen):
        seen.append(error)
        error = error.__cause__ or error.__context__
    return seen


def error_text(error) -> str:
    return f"{type(error).__name__}: {ADDRESS.sub('0x?', str(error))}"


def is_lock_failure(error) -> bool:
    """The interpreter's io module reports a failed allocation of a file's lock (reading a
    package's source or cached code) as RuntimeError, not MemoryError."""
    return type(error) is RuntimeError and str(error) in ("can't allocate read lock",
                                                          "can't allocate write lock")


def import_point(path, works, expected, k, report):
    """One import with allocation k failing, then a retry with allocations working."""
    report.update(outcome="imported", memory=False, before={}, after={}, broken=[])
    try:
        alloc_faults.call(k, importlib.import_module, (path,))
    except BaseException as error:  # noqa: BLE001
        report.update(outcome=error_text(error), memory=True)
        if not (isinstance(error, (ImportError, MemoryError)) or is_lock_failure(error)) or \
                any(isinstance(e, SystemError) for e in chain(error)):
            report["problem"] = f"import failed with {report['outcome']}"
        del error
    report["count"] = alloc_faults.count()
    try:
        module = importlib.import_module(path)
        got = works(module)
        if got != expected:
            report["problem"] = f"the module imported on retry does not work: {got!r}"
    except BaseException as error:  # noqa: BLE001
        report["problem"] = f"retry failed: {error_text(error)}"


# ---------------------------------------------------------------------------------------------
# The callables, with the catalogue's objects in a known state.

def canonical(value, ctx, depth=0) -> str:
    """A comparable text for a call's result: the call's own objects by role, this system's
    objects by value, addresses masked."""
    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
    from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem
    from run import short
    for role, held in (("vector", ctx.vectors), ("request", ctx.requests),
                       ("system", ctx.systems), ("owner", ctx.owners)):
        for i, obj in enumerate(held):
            if value is obj:
                return f"<{role} {i}>"
    if depth > 3:
        return "..."
    if isinstance(value, QmVector2):
        return f"QmVector2({value.x!r}, {value.y!r})"
    if isinstance(value, ZRequest):
        return request_state(value, ctx, depth + 1)
    if isinstance(value, ZSystem):
        return f"ZSystem(live={canonical(value.live_requests, ctx, depth + 1)})"
    if type(value) in (list, tuple):
        return f"{type(value).__name__}[{', '.join(canonical(v, ctx, depth + 1) for v in value)}]"
    return ADDRESS.sub("0x?", f"{type(value).__qualname__}:{short(value)}")


def request_state(request, ctx, depth=0) -> str:
    from quelm_ui.fast.zsystem.zdispatch import ZRequest
    link = ZRequest.__reduce__(request)[2][0]
    owner = link() if callable(link) else link
    fields = [canonical(getattr(request, f), ctx, depth + 1) for f in CALLBACK_FIELDS]
    return f"ZRequest({canonical(owner, ctx, depth + 1)}, {', '.join(fields)})"


def snapshot(ctx) -> dict[str, str]:
    """The values of the call's vectors and requests."""
    state = {f"vector {i}": f"({v.x!r}, {v.y!r})" for i, v in enumerate(ctx.vectors)}
    for i, request in enumerate(ctx.requests):
        try:
            state[f"request {i}"] = request_state(request, ctx)
        except Exception as error:  # noqa: BLE001
            state[f"request {i}"] = f"unreadable ({error_text(error)})"
    return state


def health(ctx, tables) -> list[str]:
    """What no longer works: dispatchers run a frame and list their requests, requests whose
    owner is alive fire their hover callback in a dispatcher of their own, vectors add."""
    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
    from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem
    broken = []
    for i, system in enumerate(ctx.systems):
        try:
            ZSystem.cycle(system, QmVector2(5, 5), False, False, False, False)
            active = ZSystem.get_active_requests(system)
            if type(active) is not list or any(type(r) is not ZRequest for r in active):
                broken.append(f"system {i}: get_active_requests gave {active!r}")
        except Exception as error:  # noqa: BLE001
            broken.append(f"system {i}: {error_text(error)}")
    for i, request in enumerate(ctx.requests):
        try:
            owner = tables["request"].get_link(request)
            if not isinstance(owner, QuelmCobject) or getattr(owner, "_dead", 0):
                continue
            rect, fired = owner.get_qmrect(), []
            saved = request.on_hover_func
            request.on_hover_func = lambda: fired.append(True)
            probe = ZSystem()
            probe.add(request)
            probe.cycle(QmVector2(rect.x + rect.w / 2, rect.y + rect.h / 2), False, False, False,
                        False)
            request.on_hover_func = saved
            if not fired:
                broken.append(f"request {i}: its hover callback did not fire")
        except Exception as error:  # noqa: BLE001
            broken.append(f"request {i}: {error_text(error)}")
    for i, vector in enumerate(ctx.vectors):
        try:
            QmVector2.__add__(vector, QmVector2(0, 0))
        except Exception as error:  # noqa: BLE001
            broken.append(f"vector {i}: {error_text(error)}")
    return broken


def call_point(target, tables, k, report):
    """One call of `target` with allocation k failing (0: none), recorded in `report`."""
    import run
    ctx = run.Context(run.random.Random(f"exhaust:{target.name}"), tables, valid=True)
    try:
        report["description"], thunk = target.make(ctx)
    except Exception as error:  # noqa: BLE001
        report["description"] = f"set-up failed ({error_text(error)})"
        return
    fake_raylib.clear()
    report["before"] = snapshot(ctx)
    try:
        result = alloc_faults.call(k, thunk, ())
        report["outcome"] = f"returned {canonical(result, ctx)}"
        report["memory"] = False
    except BaseException as error:  # noqa: BLE001
        errors = chain(error)
        report["outcome"] = error_text(error)
        # ctypes reports a failure converting an argument as ArgumentError, naming the cause.
        report["memory"] = any(isinstance(e, MemoryError) for e in errors) or (
            isinstance(error, run.ctypes.ArgumentError) and ": MemoryError" in str(error))
        if any(isinstance(e, SystemError) for e in errors):
            report["problem"] = f"SystemError: {error_text(error)}"
        del error, errors
    result = None
    report["count"] = alloc_faults.count()
    report["after"] = snapshot(ctx)
    report["broken"] = health(ctx, tables)
    # Everything let go, so that deallocation and collection run over the final states.
    ctx.thunk = thunk = None
    for held in (ctx.owners, ctx.requests, ctx.systems, ctx.vectors, ctx.victims):
        held.clear()
    gc.collect()


def judge(reference, point, k) -> str | None:
    """What is wrong with point k, given the reference run; None when nothing is."""
    if point.get("problem"):
        return point["problem"]
    if point["count"] < k:
        return f"the failure was not reached ({point['count']} allocations): not deterministic"
    if point["outcome"] != reference["outcome"] and not point["memory"]:
        return f"{point['outcome']} where the call gives {reference['outcome']}"
    for key, value in point["after"].items():
        if value not in (reference["before"].get(key), reference["after"].get(key)):
            return (f"{key} is {value}, neither its state before the call "
                    f"{reference['before'].get(key)} nor after it {reference['after'].get(key)}")
    new = [b for b in point["broken"] if b not in reference["broken"]]
    if new:
        return "broken: " + "; ".join(new)
    return None


# ---------------------------------------------------------------------------------------------
# The sweep.

class Sweep:
    def __init__(self, options):
        self.options = options
        self.swept = self.points = 0
        self.findings: list[str] = []
        self.unswept: list[str] = []

    def replay_command(self, name, k):
        return " ".join(shlex.quote(a) for a in (sys.executable, sys.argv[0], "--replay", name,
                                                 str(k)))

    def finding(self, name, k, problem, output=b""):
        self.findings.append(problem)
        tail = excerpt(output) if output else ""
        print(f"FINDING {problem}: {name} k={k}\n  replay: {self.replay_command(name, k)}"
              + "".join("\n  | " + line for line in tail.splitlines()), flush=True)

    def run_points(self, points, run_one):
        """Runs run_one(name, k, report) for each (name, k) in a child; returns {(name, k):
        report} of the children that ended normally and records the others as findings."""
        reports = {}

        def run(task, report_fd):
            report: dict = {}
            try:
                run_one(*task, report)
            finally:
                os.write(report_fd, repr(report).encode("utf-8", "backslashreplace"))
            return EXIT_SYSTEM_ERROR if "SystemError" in report.get("problem", "") else 0

        def done(task, status, text, output):
            problem = describe_status(status, output)
            if problem:
                self.finding(*task, problem, output)
                return
            try:
                reports[task] = ast.literal_eval(text)
            except (ValueError, SyntaxError):
                self.finding(*task, "no report", output)

        run_pool(points, run, done, self.options.jobs, self.options.timeout)
        return reports

    def sweep(self, names, run_one):
        """The reference run of each name, then every failure point it reaches."""
        references = self.run_points([(name, 0) for name in names], run_one)
        points = []
        for name in names:
            reference = references.get((name, 0))
            if reference is None or "count" not in reference:
                self.unswept.append(name)
                continue
            if reference.get("problem"):
                self.finding(name, 0, reference["problem"])
                continue
            self.swept += 1
            points += [(name, k) for k in range(1, reference["count"] + 1)]
            if self.options.verbose:
                print(f"  {name}: {reference['count']} points, {reference['outcome']}",
                      flush=True)
        self.points += len(points)
        order = {name: i for i, name in enumerate(names)}
        for (name, k), report in sorted(self.run_points(points, run_one).items(),
                                        key=lambda item: (order[item[0][0]], item[0][1])):
            problem = judge(references[(name, 0)], report, k)
            if problem:
                self.finding(name, k, problem)


def import_names(options):
    return [path for path, _, _ in IMPORTS if re.search(options.only or "", f"import {path}")]


def run_import(name, k, report):
    path = name.removeprefix("import ")
    _, works, expected = next(entry for entry in IMPORTS if entry[0] == path)
    import_point(path, works, expected, k, report)


def planted_swallow(ctx):
    """A call that swallows a failed allocation and returns a wrong result, to check that the
    sweep reports it."""
    def thunk():
        try:
            return list(range(3))
        except MemoryError:
            return []
    return "planted swallow()", thunk


# Second argument sets, where the catalogue's valid one leaves allocations on another path.

def request_by_keyword(ctx):
    """ZRequest() with a keyword: the arguments laid out as a vectorcall."""
    from quelm_ui.fast.zsystem.zdispatch import ZRequest
    owner, callback = ctx.owner(), ctx.callback()
    return "ZRequest(owner, on_click_func=callback)", \
        lambda: ZRequest(owner, on_click_func=callback)


class Registering(QuelmCobject):
    """An owner whose first rectangle lookup registers one more request with its dispatcher."""

    pending = None

    def get_qmrect(self):
        if self.pending is not None:
            (system, request), self.pending = self.pending, None
            type(system).add(system, request)
        return QuelmCobject.get_qmrect(self)


def registry_grown_in_rebuild(ctx):
    """A rebuild during which owner code registers a request: it stays after the survivors."""
    from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem
    system = ZSystem()
    ctx.systems.append(system)
    owner = Registering(QmRect(0, 0, 10, 10), 1)
    ctx.owners.append(owner)  # requests hold their owner weakly
    request = ZRequest(owner, *(ctx.callback() for _ in range(6)))
    owner._z_request = request
    ctx.requests.append(request)
    owner.pending = (system, ctx.request(fresh=True))
    ZSystem.add(system, request)
    return "ZSystem.get_active_requests(<registry grown in the rebuild>)", \
        lambda: ZSystem.get_active_requests(system)


def unpickle_other_checksum(ctx):
    """The restore function given another layout's checksum: the message is formatted."""
    from quelm_ui.fast.zsystem.zdispatch import ZRequest, __pyx_unpickle_ZRequest
    return "__pyx_unpickle_ZRequest(ZRequest, 1, None)", \
        lambda: __pyx_unpickle_ZRequest(ZRequest, 1, None)


SECOND_SETS = [("ZRequest() by keyword", request_by_keyword),
               ("zdispatch.__pyx_unpickle_ZRequest, other checksum", unpickle_other_checksum),
               ("ZSystem.get_active_requests, registry grown", registry_grown_in_rebuild)]


def catalogue(plant=False):
    import run
    tables = run.warm_up()
    targets = run.build_targets(tables)
    targets += [run.Target(name, make) for name, make in SECOND_SETS]
    if plant:
        targets.append(run.Target("planted swallow", planted_swallow))
    return tables, {t.name: t for t in targets}


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1))
    parser.add_argument("--timeout", type=int, default=20, help="seconds before a run is a hang")
    parser.add_argument("--only", help="sweep only the names matching this regex")
    parser.add_argument("--list", action="store_true", help="list the names and exit")
    parser.add_argument("--verbose", action="store_true", help="points and outcome per name")
    parser.add_argument("--replay", nargs=2, metavar=("NAME", "K"),
                        help="run point K of NAME in this process")
    parser.add_argument("--plant", action="store_true", help=argparse.SUPPRESS)
    options = parser.parse_args(argv)
    started = time.monotonic()
    alloc_faults.route_numpy()
    sweep = Sweep(options)

    if options.replay:
        name, k = options.replay[0], int(options.replay[1])
        report: dict = {}
        if name.startswith("import "):
            run_import(name, k, report)
        else:
            tables, targets = catalogue(options.plant)
            call_point(targets[name], tables, k, report)
        for key, value in report.items():
            print(f"{key}: {value}")
        return 0

    # The imports first, while the parent has not loaded this system's modules.
    imports = [] if options.list else import_names(options)
    for path in imports:
        prepare_parent()
        sweep.sweep([f"import {path}"], run_import)
        importlib.import_module(path)
    tables, targets = catalogue(options.plant)
    names = [n for n in targets if re.search(options.only or "", n)]
    if options.list:
        print("\n".join([f"import {path}" for path, _, _ in IMPORTS] + names))
        return 0
    prepare_parent()
    sweep.sweep(names, lambda name, k, report: call_point(targets[name], tables, k, report))
    for name in sweep.unswept:
        print(f"NOT SWEPT: {name}")
    elapsed = time.monotonic() - started
    print(f"exhaustion sweep: {sweep.swept} callables and imports swept, {sweep.points} failure "
          f"points injected, {len(sweep.findings)} findings, {elapsed:.0f} s", flush=True)
    return 1 if sweep.findings or sweep.unswept else 0


if __name__ == "__main__":
    sys.exit(main())
