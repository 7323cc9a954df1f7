"""`make demo`: a small scene that runs the three modules of quelm_ui.fast together, for real.

Forty-odd widgets (QuelmCobject owners with rectangles and z, each holding a ZRequest) are
registered with a ZSystem. A scripted pointer moves over them, presses, releases and turns the
wheel; every frame its position goes to `ZSystem.cycle` as a QmVector2, and the hover, click,
key-up and scroll callbacks change the widgets' tints and offsets. Every frame is drawn through
quelm_raylib into a real raylib window (under Xvfb when there is no display), with raylib's
function addresses taken from its Python binding. The script prints the event log and the
per-frame timings, and saves the last frame as a PNG.

    .venv/bin/python demo/scene.py [--out docs/demo-frame.png] [--fps 0] [--hidden] [--quiet]
"""

from __future__ import annotations

import argparse
import os
import statistics
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
sys.path.insert(0, str(HERE))
# The virtual display and the address table are shared with the real-raylib tests.
sys.path.insert(0, str(REPO / "tests" / "raylib_real"))

import headless  # noqa: E402
import rl_addresses  # noqa: E402
from pointer import Input, PointerScript  # noqa: E402

WIDTH, HEIGHT = 720, 420
FRAME_TIME = 1.0 / 60.0  # scene time per frame, independent of how fast frames really are


def build_script(ui) -> list[Input]:
    """The pointer's path through the scene, written against the widgets' positions."""
    at = lambda name: ui.widgets[name].centre  # noqa: E731
    s = PointerScript(12, 40)
    s.note("pointer over the backdrop (z 0)").hold(3)
    s.note("wheel over the backdrop: its hue shifts").wheel(down=True, times=2, every=3)
    s.note("to tile A1, click it: click + key-up select it").move_to(at("A1"), 12)
    s.click(held=3)
    s.note("press A2, drag to B2 while held: no hover change").move_to(at("A2"), 8).press()
    s.move_to(at("B2"), 8)
    s.note("release over B2: key-up-abandon on A2").release()
    s.note("hover moves to B2 on the frame after the release").hold(2)
    s.note("press and release in one frame: click, then key-up").tap().hold(3)
    s.note("down the column to D1 and click").move_to(at("D1"), 14).click(held=2)
    s.note("to D3 and click").move_to(at("D3"), 12).click(held=2)
    s.note("onto popup1 (z 5) above tiles B4/B5: it takes the hover").move_to(
        (at("popup1")[0] + 20, at("popup1")[1] + 8), 14)
    s.note("wheel over popup1: only the topmost target may scroll; it has no handler").wheel(
        down=True, times=2, every=3)
    s.note("close popup1 with its button").move_to(at("popup1.close"), 10).click(held=2)
    s.note("popup1 is dead: the tile under the pointer (A5) gets the hover").hold(4)
    s.note("to the dial; the wheel turns it").move_to(at("dial"), 14)
    s.wheel(down=True, times=4, every=3).wheel(down=False, times=1, every=3)
    s.note("over the list; the wheel scrolls it by rows").move_to(at("row3"), 14)
    s.wheel(down=True, times=3, every=4)
    s.note("pick the row now under the pointer").click(held=2)
    s.note("scroll back one row").wheel(down=False, times=1, every=4)
    s.note("tap another row").move_to(at("row5"), 10).tap().hold(2)
    s.note("across to C1 and click").move_to(at("C1"), 18).click(held=2)
    s.note("rest on D2").move_to(at("D2"), 10).hold(8)
    return s.frames


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default=str(REPO / "docs" / "demo-frame.png"),
                        help="PNG file for the last frame (default: docs/demo-frame.png)")
    parser.add_argument("--fps", type=int, default=0,
                        help="frame-rate cap (0: as fast as possible, the default)")
    parser.add_argument("--hidden", action="store_true",
                        help="keep the window hidden even when a display is available")
    parser.add_argument("--quiet", action="store_true", help="print only the summary")
    return parser.parse_args(argv)


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def main(argv=None) -> int:
    args = parse_args(argv)
    display = headless.VirtualDisplay(WIDTH + 80, HEIGHT + 80)
    try:
        display.start()
    except headless.DisplayError as exc:
        print(f"demo: {exc}", file=sys.stderr)
        return 2
    try:
        return run(args, display)
    finally:
        display.stop()


def run(args, display) -> int:
    import raylib
    from raylib import ffi, rl

    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
    from quelm_ui.fast.raylib import quelm_raylib
    from render import Painter
    from widgets import UI

    rl.SetTraceLogLevel(raylib.LOG_WARNING)
    rl.SetConfigFlags(raylib.FLAG_WINDOW_HIDDEN if args.hidden else 0)
    rl.InitWindow(WIDTH, HEIGHT, b"quelm_ui.fast demo")
    if not rl.IsWindowReady():
        print("demo: raylib could not open a window", file=sys.stderr)
        return 2
    try:
        rl.SetTargetFPS(args.fps)
        quelm_raylib.init_raylib_pointers(rl_addresses.raylib_pointers(rl, ffi))

        ui = UI(WIDTH, HEIGHT)
        painter = Painter(quelm_raylib, rl, ffi, WIDTH, HEIGHT)
        frames = build_script(ui)
        where = "Xvfb " + display.display if display.started_server else display.display
        print(f"quelm_ui.fast demo: {len(ui.widgets)} widgets, {len(frames)} frames, "
              f"{WIDTH}x{HEIGHT} window on {where} (Mesa software OpenGL)")
        if not args.quiet:
            print(f"{'frame':>5} {'pointer':>13} {'cycle':>8} {'draw':>8} {'present':>8} "
                  f"{'calls':>5}  input / events")

        ripples: list[list[float]] = []
        overlay: list[str] = []
        pointer = QmVector2(frames[0].x, frames[0].y)

        def on_event(frame, event, name):
            overlay.append(f"f{frame:03d}  {event:<11} {name}")
            if event == "click":
                ripples.append([pointer.x, pointer.y, 0.0, 1.0])

        ui.on_event = on_event
        timings = {"cycle": [], "draw": [], "present": [], "total": []}
        calls = []
        out = os.path.abspath(args.out)
        os.makedirs(os.path.dirname(out), exist_ok=True)

        for index, step in enumerate(frames):
            ui.frame = index
            first_event = len(ui.events)
            pointer = QmVector2(step.x, step.y)
            t0 = time.perf_counter_ns()
            ui.zsystem.cycle(pointer, step.mouse_down, step.mouse_up, step.any_wheel,
                             step.wheel_down)
            t1 = time.perf_counter_ns()
            ui.step()
            for ripple in ripples:
                ripple[2] += FRAME_TIME * 1.2
            ripples[:] = [r for r in ripples if r[2] < 1.0][-4:]
            painter.calls = 0
            pressed = ui.zsystem.clicked_request is not None
            painter.update_uniforms(ui, pointer, index * FRAME_TIME, ripples)
            painter.draw_scene(ui, pointer, pressed, overlay)
            t2 = time.perf_counter_ns()
            last = index == len(frames) - 1
            painter.present(capture_to=out if last else None)
            t3 = time.perf_counter_ns()

            timings["cycle"].append((t1 - t0) / 1000.0)
            timings["draw"].append((t2 - t1) / 1000.0)
            timings["present"].append((t3 - t2) / 1000.0)
            timings["total"].append((t3 - t0) / 1000.0)
            calls.append(painter.calls)
            if not args.quiet:
                events = ", ".join(f"{event} {name}" for _, event, name in ui.events[first_event:])
                described = " | ".join(part for part in (step.note, step.flags, events) if part)
                print(f"{index:5d} ({step.x:5.1f},{step.y:5.1f}) {timings['cycle'][-1]:6.1f}us "
                      f"{timings['draw'][-1]:6.0f}us {timings['present'][-1]:6.0f}us "
                      f"{calls[-1]:5d}  {described}")

        warm = warm_cycle(ui, frames[-1])
        report(ui, frames, timings, calls, warm, out)
        painter.unload()
        quelm_raylib.init_raylib_pointers(rl_addresses.null_pointers())
    finally:
        rl.CloseWindow()
    return 0


def warm_cycle(ui, step: Input, calls: int = 20000) -> float:
    """Microseconds per `ZSystem.cycle` in a tight loop at the last pointer position.

    Nothing changes there (same topmost target, no buttons, no wheel), so no callback runs: this
    is the dispatcher's own cost with warm caches, which the frame loop above cannot show.
    """
    from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

    pointer = QmVector2(step.x, step.y)
    cycle = ui.zsystem.cycle
    before = len(ui.events)
    start = time.perf_counter_ns()
    for _ in range(calls):
        cycle(pointer, False, False, False, False)
    elapsed = time.perf_counter_ns() - start
    assert len(ui.events) == before, "the warm loop must not fire callbacks"
    return elapsed / calls / 1000.0


def report(ui, frames, timings, calls, warm, out) -> None:
    print()
    print(f"event log ({len(ui.events)} events):")
    for frame, event, name in ui.events:
        print(f"  frame {frame:3d}  {event:<11} {name}")
    counts: dict[str, int] = {}
    for _, event, _ in ui.events:
        counts[event] = counts.get(event, 0) + 1
    print("events by kind: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
    selected = [t.name for t in ui.tiles if t.selected]
    picked = [r.name for r in ui.list.rows if r.picked]
    print(f"final state: selected tiles {selected}, picked rows {picked}, list at row "
          f"{ui.list.first + 1}, dial {(ui.dial.target_angle + 90.0) % 360.0:.0f} deg, "
          f"open popups {[p.name for p in ui.popups if p.visible]}, "
          f"live requests {len(ui.zsystem.get_active_requests())}")
    print()
    # The first frame includes the one-off work of the first draws (Mesa compiles the shaders it
    # runs then), so it is reported apart.
    print(f"per-frame timings, frames 1-{len(frames) - 1} (microseconds):")
    print(f"  {'':<10}{'mean':>9}{'median':>9}{'p95':>9}{'max':>9}{'frame 0':>11}")
    labels = {"cycle": "cycle", "draw": "draw", "present": "present", "total": "frame"}
    for key, label in labels.items():
        values = timings[key][1:]
        print(f"  {label:<10}{statistics.fmean(values):9.1f}{statistics.median(values):9.1f}"
              f"{percentile(values, 0.95):9.1f}{max(values):9.1f}{timings[key][0]:11.1f}")
    print(f"  bridge calls per frame: {min(calls)}-{max(calls)} "
          f"(mean {statistics.fmean(calls):.0f})")
    print("  cycle: ZSystem.cycle with its callbacks; draw: shader uniforms and the scene into a "
          "render texture; present: the texture to the window, end_drawing (buffer swap)")
    print(f"  ZSystem.cycle in a tight loop over the {len(ui.zsystem.live_requests)} live targets, "
          f"no callbacks: {warm:.3f} us per call")
    print()
    print(f"last frame saved to {os.path.relpath(out, REPO)}")


if __name__ == "__main__":
    sys.exit(main())
