"""A display for raylib on machines without one: Xvfb plus Mesa's software OpenGL.

`VirtualDisplay` starts Xvfb on a display number that the server picks itself (`-displayfd`, so
two runs on one machine never race for a number), waits until the server accepts connections,
points DISPLAY at it and forces Mesa's software rasteriser. When the process already has a
DISPLAY, that one is used and no server is started. `stop()` (or leaving the `with` block)
ends the server and restores the environment.
"""

from __future__ import annotations

import ctypes
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

INSTALL_HINT = (
    "run `bash tools/install-system-deps.sh` as root (Debian packages xvfb, libgl1-mesa-dri)")


class DisplayError(RuntimeError):
    """The virtual display could not be started."""


def _die_with_parent() -> None:
    # Runs in the child before exec: the server gets SIGTERM when its parent dies, so a crashed
    # test run does not leave an Xvfb behind.
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def _accepts_connections(number: int) -> bool:
    path = f"/tmp/.X11-unix/X{number}"
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as sock:
        sock.settimeout(1.0)
        try:
            sock.connect(path)
        except OSError:
            return False
    return True


class VirtualDisplay:
    def __init__(self, width: int = 1280, height: int = 800, depth: int = 24,
                 timeout: float = 20.0) -> None:
        self.width = width
        self.height = height
        self.depth = depth
        self.timeout = timeout
        self.process: subprocess.Popen | None = None
        self.display: str | None = None
        self._saved_env: dict[str, str | None] = {}
        self._runtime_dir: tempfile.TemporaryDirectory | None = None

    # -- environment -------------------------------------------------------------------------
    def _setenv(self, name: str, value: str) -> None:
        if name not in self._saved_env:
            self._saved_env[name] = os.environ.get(name)
        os.environ[name] = value

    def _configure_gl(self) -> None:
        # Mesa's software rasteriser: the same pixels on every machine, no GPU needed.
        self._setenv("LIBGL_ALWAYS_SOFTWARE", "1")
        # Mesa and GLFW complain on stderr when there is no usable runtime directory.
        runtime = os.environ.get("XDG_RUNTIME_DIR")
        if not runtime or not os.path.isdir(runtime) or not os.access(runtime, os.W_OK):
            self._runtime_dir = tempfile.TemporaryDirectory(prefix="qm-xdg-")
            os.chmod(self._runtime_dir.name, 0o700)
            self._setenv("XDG_RUNTIME_DIR", self._runtime_dir.name)

    # -- server ------------------------------------------------------------------------------
    def start(self) -> str:
        """Make a display available and return its name (":N").

        On failure raises DisplayError, with the environment left as it was.
        """
        if self.display is not None:
            return self.display
        try:
            return self._start()
        except BaseException:
            self.stop()
            raise

    def _start(self) -> str:
        self._configure_gl()
        existing = os.environ.get("DISPLAY")
        if existing:
            self.display = existing
            return existing

        xvfb = shutil.which("Xvfb")
        if xvfb is None:
            raise DisplayError(f"no DISPLAY and Xvfb is not installed: {INSTALL_HINT}")

        read_fd, write_fd = os.pipe()
        log = tempfile.TemporaryFile(prefix="qm-xvfb-")
        try:
            try:
                self.process = subprocess.Popen(
                    [xvfb, "-displayfd", str(write_fd), "-screen", "0",
                     f"{self.width}x{self.height}x{self.depth}", "-nolisten", "tcp", "-noreset"],
                    stdin=subprocess.DEVNULL, stdout=log, stderr=log, pass_fds=(write_fd,),
                    preexec_fn=_die_with_parent, close_fds=True)
            except OSError as exc:
                raise DisplayError(f"cannot run {xvfb}: {exc}") from None
            finally:
                os.close(write_fd)
            try:
                number = self._read_display_number(read_fd)
            except DisplayError as exc:
                self._terminate()
                log.seek(0)
                output = log.read().decode(errors="replace").strip()
                raise DisplayError(f"{exc}\nXvfb output:\n{output}") from None
        finally:
            os.close(read_fd)
            log.close()

        self.display = f":{number}"
        self._setenv("DISPLAY", self.display)
        return self.display

    def _read_display_number(self, read_fd: int) -> int:
        # Xvfb writes the display number followed by a newline once it accepts connections.
        deadline = time.monotonic() + self.timeout
        data = b""
        os.set_blocking(read_fd, False)
        while not data.endswith(b"\n"):
            if self.process is not None and self.process.poll() is not None:
                raise DisplayError(f"Xvfb exited with status {self.process.returncode} at start-up")
            if time.monotonic() > deadline:
                raise DisplayError(f"Xvfb did not report a display within {self.timeout:.0f} s")
            try:
                chunk = os.read(read_fd, 64)
            except BlockingIOError:
                time.sleep(0.02)
                continue
            if not chunk:
                time.sleep(0.02)
                continue
            data += chunk
        try:
            number = int(data.strip())
        except ValueError:
            raise DisplayError(f"Xvfb reported an unreadable display number {data!r}") from None
        while not _accepts_connections(number):
            if self.process is not None and self.process.poll() is not None:
                raise DisplayError(f"Xvfb exited with status {self.process.returncode}")
            if time.monotonic() > deadline:
                raise DisplayError(f"display :{number} does not accept connections")
            time.sleep(0.05)
        return number

    def _terminate(self) -> None:
        proc, self.process = self.process, None
        if proc is None or proc.poll() is not None:
            return
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(timeout=5)

    def stop(self) -> None:
        """End the server (if this object started one) and restore the environment."""
        self._terminate()
        for name, value in self._saved_env.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        self._saved_env.clear()
        if self._runtime_dir is not None:
            self._runtime_dir.cleanup()
            self._runtime_dir = None
        self.display = None

    @property
    def started_server(self) -> bool:
        return self.process is not None

    def __enter__(self) -> "VirtualDisplay":
        self.start()
        return self

    def __exit__(self, *exc_info) -> None:
        self.stop()
