"""The published form of one benchmark run: a chart of every ratio ours / peer (log scale, goals
drawn) and a short markdown table of headline figures. matplotlib is a bench-only dependency
(tools/requirements-bench.txt), imported only when a chart is asked for."""

from __future__ import annotations

import math
import pathlib
import re
from collections.abc import Sequence

from harness import Result

# Peer colours and markers, fixed so that charts from different runs compare at a glance.
PEER_STYLE = {
    "pygame": ("#1f77b4", "o"),
    "complex": ("#ff7f0e", "s"),
    "numpy": ("#2ca02c", "D"),
    "python": ("#9467bd", "^"),
    "mark_dirty": ("#7f7f7f", "v"),
    "cffi": ("#8c564b", "o"),
    "ctypes": ("#17becf", "s"),
    "raylib": ("#e377c2", "P"),
}
FALLBACK_STYLE = ("#bcbd22", "X")
MISSED_RING = "#e00000"
README_START = "<!-- bench-headline:start -->"
README_END = "<!-- bench-headline:end -->"


def groups_in_order(results: Sequence[Result]) -> list[str]:
    return list(dict.fromkeys(r.case.group for r in results))


def peers_in_order(results: Sequence[Result]) -> list[str]:
    return list(dict.fromkeys(peer for r in results for peer in r.case.peers))


def write_chart(results: Sequence[Result], path: pathlib.Path, title: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.lines import Line2D
    from matplotlib.ticker import FuncFormatter, LogLocator, NullFormatter

    groups = groups_in_order(results)
    rows = [[r for r in results if r.case.group == g] for g in groups]
    ratios = [r.ratio(p) for r in results for p in r.case.peers if r.ratio(p)]
    ratios += [goal for r in results for goal in r.case.goals.values()]
    low, high = min(ratios + [1.0]), max(ratios + [1.0])
    wide_range = high / low >= 300  # label decades only

    fig, axes = plt.subplots(len(groups), 1, sharex=True, squeeze=False, layout="constrained",
                             figsize=(9, 1.4 + 0.3 * len(results) + 0.35 * len(groups)),
                             gridspec_kw={"height_ratios": [len(r) + 0.6 for r in rows]})
    for ax, group, group_rows in zip(axes[:, 0], groups, rows):
        ax.set_xscale("log")
        ax.set_xlim(low / 1.6, high * 1.6)
        ax.xaxis.set_major_locator(LogLocator(subs=(1.0,) if wide_range else (1.0, 2.0, 5.0)))
        ax.xaxis.set_major_formatter(FuncFormatter(lambda x, _: f"{x:g}x"))
        ax.xaxis.set_minor_formatter(NullFormatter())
        ax.set_ylim(len(group_rows) - 0.5, -0.5)
        ax.set_yticks(range(len(group_rows)), [r.case.name for r in group_rows], fontsize=8)
        ax.set_title(group, loc="left", fontsize=9, fontweight="bold")
        ax.axvline(1.0, color="#444444", linewidth=0.8)
        ax.grid(axis="x", which="major", color="#dddddd", linewidth=0.6)
        ax.set_axisbelow(True)
        for y, result in enumerate(group_rows):
            missed = {peer for peer, goal in result.case.goals.items()
                      if (result.ratio(peer) or 0.0) > goal}
            for peer in result.case.peers:
                ratio = result.ratio(peer)
                if ratio is None:
                    continue
                colour, marker = PEER_STYLE.get(peer, FALLBACK_STYLE)
                ax.plot(ratio, y, marker=marker, color=colour, markersize=6, linestyle="none",
                        markeredgecolor=MISSED_RING if peer in missed else colour,
                        markeredgewidth=1.8 if peer in missed else 0.5)
            for peer, goal in result.case.goals.items():
                colour, _ = PEER_STYLE.get(peer, FALLBACK_STYLE)
                ax.plot([goal, goal], [y - 0.4, y + 0.4], color=colour, linewidth=1.6,
                        linestyle=(0, (2, 1)))
    bottom = axes[-1, 0]
    bottom.set_xlabel("ours / peer time (log scale; left of 1 = ours faster)", fontsize=9)

    handles = [Line2D([], [], marker=PEER_STYLE.get(p, FALLBACK_STYLE)[1], linestyle="none",
                      color=PEER_STYLE.get(p, FALLBACK_STYLE)[0], label=p)
               for p in peers_in_order(results)]
    handles.append(Line2D([], [], color="#444444", linestyle=(0, (2, 1)),
                          label="goal, in the peer's colour"))
    handles.append(Line2D([], [], marker="o", linestyle="none", color="white",
                          markeredgecolor=MISSED_RING, markeredgewidth=1.8, label="goal missed"))
    fig.legend(handles=handles, loc="outside upper center", ncol=min(len(handles), 6),
               fontsize=8, frameon=False)
    fig.supxlabel(title, fontsize=8)
    path.parent.mkdir(parents=True, exist_ok=True)
    # A fixed hash salt and no date keep the SVG the same for the same figures.
    with matplotlib.rc_context({"svg.hashsalt": "quelm-bench"}):
        fig.savefig(path, metadata={"Date": None})
    plt.close(fig)


def geometric_mean(values: Sequence[float]) -> float:
    return math.exp(sum(math.log(v) for v in values) / len(values))


def headline_table(results: Sequence[Result]) -> str:
    """One row per group and peer: the typical ratio, its range and the goals met."""
    lines = ["| group | peer | cases | ours / peer (geometric mean) | range | goals met |",
             "|---|---|---:|---:|---:|---:|"]
    for group in groups_in_order(results):
        in_group = [r for r in results if r.case.group == group]
        for peer in peers_in_order(in_group):
            ratios = [r.ratio(peer) for r in in_group if r.ratio(peer) is not None]
            if not ratios:
                continue
            with_goal = [r for r in in_group if peer in r.case.goals and r.ratio(peer)]
            met = sum(r.ratio(peer) <= r.case.goals[peer] for r in with_goal)
            spread = f"{min(ratios):.2g}x – {max(ratios):.2g}x" if len(ratios) > 1 else "–"
            goals = f"{met} of {len(with_goal)}" if with_goal else "–"
            lines.append(f"| {group} | {peer} | {len(ratios)} | {geometric_mean(ratios):.2g}x | "
                         f"{spread} | {goals} |")
    return "\n".join(lines)


def headline_markdown(results: Sequence[Result], context: str) -> str:
    missed = [f"{r.case.group} / {r.case.name} ({'; '.join(r.goal_failures())})"
              for r in results if r.goal_failures()]
    summary = f"{len(results) - len(missed)} of {len(results)} cases meet their goals"
    summary += f"; missed: {', '.join(missed)}." if missed else "."
    return f"{headline_table(results)}\n\n{summary}\n\n{context}\n"


def update_readme(readme: pathlib.Path, headline: str) -> bool:
    """Replaces the text between the README's headline markers; False when it has none."""
    text = readme.read_text()
    pattern = re.compile(re.escape(README_START) + r".*?" + re.escape(README_END), re.DOTALL)
    if not pattern.search(text):
        return False
    block = f"{README_START}\n{headline}{README_END}"
    readme.write_text(pattern.sub(lambda _: block, text, count=1))
    return True
