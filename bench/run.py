"""Runs the benchmark modules (bench/bench_*.py, or those named on the command line) and prints
one ratio table; optionally writes the same run's chart and headline table (bench/report.py).
Each module exposes ``cases() -> list[harness.Case]``."""

from __future__ import annotations

import argparse
import datetime
import importlib.util
import os
import pathlib
import platform
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import harness  # noqa: E402


def load(path: pathlib.Path):
    spec = importlib.util.spec_from_file_location(path.stem, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("modules", nargs="*", help="benchmark module names (default: all)")
    parser.add_argument("--quick", action="store_true", help="fewer repeats (smoke run)")
    parser.add_argument("-k", default="", help="only cases whose name contains this text")
    parser.add_argument("--chart", type=pathlib.Path, help="write the ratio chart here (.svg/.png)")
    parser.add_argument("--headline", type=pathlib.Path, help="write the headline table here (.md)")
    parser.add_argument("--readme", type=pathlib.Path,
                        help="also put the headline table between this file's bench-headline "
                             "markers")
    args = parser.parse_args()
    if args.chart:
        import matplotlib  # noqa: F401  (bench-only dependency: fail before the long run)
    load_before = os.getloadavg()[0]

    paths = sorted(HERE.glob("bench_*.py"))
    if args.modules:
        wanted = {name.removesuffix(".py") for name in args.modules}
        paths = [p for p in paths if p.stem in wanted or p.stem.removeprefix("bench_") in wanted]
    repeat, min_time = (2, 0.005) if args.quick else (7, 0.02)

    results = []
    for path in paths:
        for case in load(path).cases():
            if args.k and args.k not in case.name:
                continue
            results.append(harness.run_case(case, repeat=repeat, min_time=min_time))
            print(f"  {case.group}: {case.name} done", file=sys.stderr, flush=True)

    load_after = os.getloadavg()[0]
    context = (f"Python {platform.python_version()} on {platform.machine()} "
               f"({os.cpu_count()} cores), {datetime.datetime.now(datetime.UTC):%Y-%m-%d %H:%M} "
               f"UTC{', quick run' if args.quick else ''}; 1-minute load average "
               f"{load_before:.1f} at the start, {load_after:.1f} at the end.")
    print(context + " Times are the best per-operation figure; ratio = ours / peer "
          "(lower is better).")
    print(harness.format_table(results))
    missed = [r for r in results if r.goal_failures()]
    print(f"\n{len(results) - len(missed)} of {len(results)} cases meet their goals.")
    for result in missed:
        print(f"  missed: {result.case.group} / {result.case.name}: "
              + "; ".join(result.goal_failures()))
    write_report(args, results, context)
    return 0


def write_report(args: argparse.Namespace, results: list, context: str) -> None:
    import report

    if args.chart:
        report.write_chart(results, args.chart, context)
        print(f"chart: {args.chart}")
    if args.headline or args.readme:
        headline = report.headline_markdown(results, context)
        if args.headline:
            args.headline.parent.mkdir(parents=True, exist_ok=True)
            args.headline.write_text(f"# Benchmark headline figures\n\n{headline}")
            print(f"headline table: {args.headline}")
        if args.readme and not report.update_readme(args.readme, headline):
            print(f"{args.readme} has no {report.README_START} marker: not updated",
                  file=sys.stderr)


if __name__ == "__main__":
    raise SystemExit(main())
