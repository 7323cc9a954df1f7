"""Benchmark harness: every case times our statement and its peers' statements in one run and
reports the ratio ours / peer, so figures from a busy shared machine stay comparable."""

from __future__ import annotations

import gc
import timeit
from dataclasses import dataclass, field


@dataclass
class Case:
    """One operation, written once for us and once per peer.

    ``stmt`` and ``peers`` are timeit statements run against ``setup``; ``goals`` maps a peer
    name to the largest acceptable ratio ours / peer.
    """

    group: str
    name: str
    stmt: str
    peers: dict[str, str] = field(default_factory=dict)
    setup: str = "pass"
    goals: dict[str, float] = field(default_factory=dict)
    globals: dict | None = None


@dataclass
class Result:
    case: Case
    ours_ns: float
    peers_ns: dict[str, float]

    def ratio(self, peer: str) -> float | None:
        peer_ns = self.peers_ns.get(peer)
        return None if not peer_ns else self.ours_ns / peer_ns

    def goal_failures(self) -> list[str]:
        failures = []
        for peer, limit in self.case.goals.items():
            ratio = self.ratio(peer)
            if ratio is not None and ratio > limit:
                failures.append(f"{peer}: {ratio:.2f}x > {limit:.2f}x")
        return failures


def time_statement(stmt: str, setup: str, globs: dict | None, repeat: int, min_time: float) -> float:
    """Best time per execution, in nanoseconds."""
    timer = timeit.Timer(stmt, setup, globals=dict(globs or {}))
    number = 1
    while True:
        elapsed = timer.timeit(number)
        if elapsed >= min_time:
            break
        number *= 2 if elapsed <= 0 else max(2, min(10, int(min_time / elapsed) + 1))
    gc_was_enabled = gc.isenabled()
    gc.disable()
    try:
        best = min(timer.repeat(repeat=repeat, number=number))
    finally:
        if gc_was_enabled:
            gc.enable()
    return best / number * 1e9


def run_case(case: Case, repeat: int = 7, min_time: float = 0.02) -> Result:
    # Interleave the measurements so that a load spike hits all contenders alike.
    ours: list[float] = []
    peers: dict[str, list[float]] = {name: [] for name in case.peers}
    for _ in range(3):
        ours.append(time_statement(case.stmt, case.setup, case.globals, repeat, min_time))
        for name, stmt in case.peers.items():
            peers[name].append(time_statement(stmt, case.setup, case.globals, repeat, min_time))
    return Result(case, min(ours), {name: min(times) for name, times in peers.items()})


def format_table(results: list[Result]) -> str:
    peer_names: list[str] = []
    for result in results:
        for name in result.case.peers:
            if name not in peer_names:
                peer_names.append(name)
    header = ["group", "case", "ours ns"]
    for name in peer_names:
        header += [f"{name} ns", f"ours/{name}"]
    header.append("goals")
    rows = [header, ["---"] * len(header)]
    for result in results:
        row = [result.case.group, result.case.name, f"{result.ours_ns:.1f}"]
        for name in peer_names:
            peer_ns = result.peers_ns.get(name)
            ratio = result.ratio(name)
            row += ["" if peer_ns is None else f"{peer_ns:.1f}", "" if ratio is None else f"{ratio:.2f}"]
        goals = [f"<={limit:g}x {peer}" for peer, limit in result.case.goals.items()]
        failures = result.goal_failures()
        row.append(("; ".join(goals) + (" MISSED" if failures else " met")) if goals else "")
        rows.append(row)
    return "\n".join("| " + " | ".join(cells) + " |" for cells in rows)
