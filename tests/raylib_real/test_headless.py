"""The virtual display behind the real-raylib tests and the demo, and the address table."""

from __future__ import annotations

import ctypes
import os
import socket
import stat

import pytest

import headless
import rl_addresses


@pytest.fixture
def no_display(monkeypatch):
    monkeypatch.delenv("DISPLAY", raising=False)
    monkeypatch.delenv("LIBGL_ALWAYS_SOFTWARE", raising=False)
    return monkeypatch


def fake_xvfb(tmp_path, body: str) -> str:
    path = tmp_path / "Xvfb"
    path.write_text("#!/bin/bash\n" + body + "\n")
    path.chmod(path.stat().st_mode | stat.S_IXUSR)
    return str(path)


def test_starts_xvfb_and_stops_it(no_display):
    display = headless.VirtualDisplay(width=64, height=48)
    name = display.start()
    try:
        assert name.startswith(":") and os.environ["DISPLAY"] == name
        assert os.environ["LIBGL_ALWAYS_SOFTWARE"] == "1"
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as sock:
            sock.connect(f"/tmp/.X11-unix/X{name[1:]}")  # accepts connections already
        process = display.process
        assert display.started_server and process.poll() is None
    finally:
        display.stop()
    assert process.poll() is not None
    assert "DISPLAY" not in os.environ and "LIBGL_ALWAYS_SOFTWARE" not in os.environ


def test_uses_an_existing_display(no_display):
    no_display.setenv("DISPLAY", ":4242")
    with headless.VirtualDisplay() as display:
        assert display.display == ":4242" and not display.started_server
        assert os.environ["LIBGL_ALWAYS_SOFTWARE"] == "1"
    assert os.environ["DISPLAY"] == ":4242"
    assert "LIBGL_ALWAYS_SOFTWARE" not in os.environ


@pytest.mark.parametrize(
    "script, message",
    [
        (None, "Xvfb is not installed: run `bash tools/install-system-deps.sh`"),
        ("echo 'Fatal server error: no screens' >&2; exit 1",
         "Xvfb exited with status 1 at start-up\nXvfb output:\nFatal server error: no screens"),
        ('echo junk >&"$2"; exec sleep 30', "unreadable display number b'junk\\n'"),
        ("exec sleep 30", "Xvfb did not report a display within 1 s"),
    ],
    ids=["missing", "exits", "garbage", "silent"],
)
def test_failures_are_reported_and_leave_the_environment_alone(no_display, tmp_path, script,
                                                               message):
    binary = None if script is None else fake_xvfb(tmp_path, script)
    no_display.setattr(headless.shutil, "which", lambda name: binary)
    display = headless.VirtualDisplay(timeout=1.0)
    with pytest.raises(headless.DisplayError) as info:
        display.start()
    assert message in str(info.value)
    assert display.process is None  # a server that was started has been ended
    assert "DISPLAY" not in os.environ and "LIBGL_ALWAYS_SOFTWARE" not in os.environ


def test_addresses_are_the_binding_functions(raylib_session):
    rl, ffi = raylib_session.rl, raylib_session.ffi
    pointers = rl_addresses.raylib_pointers(rl, ffi)
    assert len(set(pointers.values())) == len(rl_addresses.BRIDGE_FUNCTIONS) == 14
    assert all(address > 0 for address in pointers.values())
    # An address from the helper, called with raylib's prototype, is raylib's function.
    class Color(ctypes.Structure):
        _fields_ = [(c, ctypes.c_ubyte) for c in "rgba"]

    color_to_int = ctypes.CFUNCTYPE(ctypes.c_int, Color)(
        rl_addresses.function_address("ColorToInt", rl, ffi))
    assert color_to_int(Color(1, 2, 3, 4)) == rl.ColorToInt((1, 2, 3, 4)) == 0x01020304
    with pytest.raises(AttributeError):
        rl_addresses.function_address("NoSuchFunction", rl, ffi)
