"""Runs the benchmark modules (bench/bench_*.py, or those named on the command line) and prints
one ratio table. Each module exposes ``cases() -> list[harness.Case]``."""

from __future__ import annotations

import argparse
import importlib.util
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
    args = parser.parse_args()

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

    print(f"Python {platform.python_version()} on {platform.machine()}; "
          "times are the best per-operation figure; ratio = ours / peer (lower is better).")
    print(harness.format_table(results))
    missed = [r for r in results if r.goal_failures()]
    print(f"\n{len(results) - len(missed)} of {len(results)} cases meet their goals.")
    for result in missed:
        print(f"  missed: {result.case.group} / {result.case.name}: "
              + "; ".join(result.goal_failures()))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
