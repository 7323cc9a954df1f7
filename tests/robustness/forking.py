"""The fork harness of the robustness run and the exhaustion sweep: each task runs in a child
forked from a warmed-up parent, with its output captured, so that a crash, hang or sanitizer
report is pinned to the task that caused it."""

from __future__ import annotations

import ctypes
import os
import signal
import sys
import tempfile

# Exit code of a child that found a broken C-API contract rather than crashing.
EXIT_SYSTEM_ERROR = 3
SANITIZER_MARKERS = (b"ERROR: AddressSanitizer", b"runtime error:", b"ERROR: LeakSanitizer",
                     b"Fatal Python error")


def describe_status(status: int, output: bytes) -> str | None:
    if os.WIFSIGNALED(status):
        sig = os.WTERMSIG(status)
        if sig == signal.SIGALRM:
            return "hang (timeout)"
        return f"crash ({signal.Signals(sig).name})"
    code = os.WEXITSTATUS(status)
    if code == EXIT_SYSTEM_ERROR:
        return "broken C-API contract"
    if any(marker in output for marker in SANITIZER_MARKERS):
        return "sanitizer report"
    if code != 0:
        return f"exit code {code}"
    return None


def excerpt(output: bytes) -> str:
    """The part of a child's output worth printing: from the first sanitizer or fatal-error
    marker on, else the end."""
    lines = output.splitlines()
    starts = [i for i, line in enumerate(lines) if any(m in line for m in SANITIZER_MARKERS)]
    chosen = lines[starts[0]:starts[0] + 40] if starts else lines[-40:]
    return b"\n".join(chosen).decode("utf-8", "replace")


class Slot:
    """One child in flight: its pid, task and the files it writes."""

    def __init__(self):
        self.report = tempfile.TemporaryFile()
        self.output = tempfile.TemporaryFile()
        self.pid = 0
        self.task = None


def prepare_parent() -> None:
    """Children share the warmed-up heap without touching it. Under AddressSanitizer, hand the
    allocator's quarantine back first: forking copies the parent's page tables, so a smaller
    parent forks several times faster."""
    import gc
    gc.collect()
    gc.freeze()
    purge = getattr(ctypes.CDLL(None), "__sanitizer_purge_allocator", None)
    if purge is not None:
        purge()


def exit_child(code: int) -> None:
    """Ends a child without running the parent's Python-level clean-up. A coverage build
    (QM_COVERAGE set) leaves through the C library's exit, so that the counters are written."""
    if os.environ.get("QM_COVERAGE"):
        ctypes.CDLL(None).exit(code)
    os._exit(code)


def child(slot: Slot, run, timeout: int) -> None:
    """The forked child: run(task, report_fd) with its output captured, then a hard exit."""
    code = 70
    try:
        signal.signal(signal.SIGALRM, signal.SIG_DFL)
        signal.alarm(timeout)
        out = slot.output.fileno()
        os.dup2(out, 1)
        os.dup2(out, 2)
        code = run(slot.task, slot.report.fileno())
        sys.stdout.flush()
        sys.stderr.flush()
    except BaseException:
        import traceback
        traceback.print_exc()
        code = 71
    finally:
        exit_child(code)


def run_pool(tasks, run, done, jobs: int, timeout: int) -> None:
    """Runs run(task, report_fd) in a forked child for each task of the iterator `tasks`, at most
    `jobs` at a time; the next task is drawn only when a child can start. As each child ends,
    calls done(task, status, report, output) in the parent (report: what the child wrote to
    report_fd; output: its stdout and stderr)."""
    slots = [Slot() for _ in range(max(1, jobs))]
    free = list(slots)
    busy: dict[int, Slot] = {}
    tasks = iter(tasks)
    more = True
    while True:
        while more and free:
            task = next(tasks, StopIteration)
            if task is StopIteration:
                more = False
                break
            slot = free.pop()
            slot.task = task
            for f in (slot.report, slot.output):
                f.seek(0)
                f.truncate()
            sys.stdout.flush()
            sys.stderr.flush()
            pid = os.fork()
            if pid == 0:
                child(slot, run, timeout)
            slot.pid = pid
            busy[pid] = slot
        if not busy:
            break
        pid, status = os.waitpid(-1, 0)
        slot = busy.pop(pid)
        free.append(slot)
        size = os.fstat(slot.report.fileno()).st_size
        report = os.pread(slot.report.fileno(), size, 0) if size else b""
        size = os.fstat(slot.output.fileno()).st_size
        output = os.pread(slot.output.fileno(), size, 0) if size else b""
        done(slot.task, status, report.decode("utf-8", "replace"), output)
