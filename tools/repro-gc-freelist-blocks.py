"""Allocated blocks that rise in every round of a leak measurement, with nothing kept.

A full collection (gc.collect()) empties the interpreter's free lists at its end. An object
freed right after it then sits on a free list, still counted by sys.getallocatedblocks(), until
the next full collection: for one, the int that gc.collect() returns when it is no cached small
int (more than 256 collected objects on 3.14, more than 1024 on 3.15, whose small-int cache is
larger), and, with a gc.callbacks entry (Hypothesis installs one at its first @given run), the
values of the info dict it hands the callback after the collection (3.15 adds "candidates" and
"duration").

So "collect, count, make garbage, collect, count" grows in every round while the count over all
rounds stays flat, and a second collection before each count removes the effect. Uses no module
of this project:

    python tools/repro-gc-freelist-blocks.py
"""

import gc
import sys

ROUNDS = 50


def make_garbage(count):
    for _ in range(count):
        cycle = []
        cycle.append(cycle)


def footprint(collections):
    for _ in range(collections):
        gc.collect()
    return sys.getallocatedblocks()


def measure(garbage, collections):
    deltas = [0] * ROUNDS
    start = footprint(2)
    for index in range(ROUNDS):
        before = footprint(collections)
        make_garbage(garbage)
        after = footprint(collections)
        deltas[index] = after - before
    return deltas[1:], footprint(2) - start


def main():
    gc.disable()  # only the measurement's own collections, so each finds a round's garbage
    print(sys.version.split()[0], "debug" if hasattr(sys, "gettotalrefcount") else "release")
    for garbage in (600, 2000):
        for collections in (1, 2):
            deltas, total = measure(garbage, collections)
            print(f"{garbage:4} cyclic lists a round, {collections} collection(s) before each "
                  f"count: growth per round {sorted(set(deltas))}, over {ROUNDS} rounds {total}")


if __name__ == "__main__":
    main()
