"""The raylib bridge against the two ways Python code reaches raylib without it: the raylib
binding's cffi functions and ctypes. Every contender calls the same no-op raylib library
(quelm_ui_testbeds.noop_raylib: raylib's fourteen bridge functions with raylib's exact by-value
prototypes, each only counting the call), so the figures are the cost of getting from Python to
raylib's C entry, not raylib's own drawing work.

- ours: quelm_ui.fast.raylib.quelm_raylib with its entry table bound to the no-op library.
- cffi: the PyPI `raylib` binding is an out-of-line API-mode cffi module with raylib linked in
  statically, so its functions cannot be pointed at another library (and most of them crash
  without a window). This peer is an API-mode cffi module built the same way, from the same
  declarations, calling the no-op library: the same cffi version and the same call path (the
  generated C wrapper, struct arguments converted from Python tuples or cdata), minus raylib's
  work. It is generated with cffi and compiled with the system C compiler on first use, cached
  under build/bench/.
- ctypes: the no-op library loaded with ctypes.CDLL, argtypes set once, by-value Structures.
- raylib (set_qmshader_value_float only): the binding's own SetShaderValue at location -1, which
  raylib answers without doing anything and which needs no window, as a check that the cffi
  stand-in costs what the binding costs.

Each peer statement builds its records per call as a user of that path writes them: tuples for
cffi, Structure instances for ctypes, a cffi/ctypes float for the shader value; textures and
shaders are made once, as a program loads them once. The bridge gets the same kind of texture
object a toolkit program holds (a cffi Texture2D cdata, read through its attributes), and for
draw_texture_qmvec the peers convert the toolkit's QmVector2 position and QmRect tint themselves,
as code without the bridge must.
"""

from __future__ import annotations

import contextlib
import hashlib
import io
import pathlib
import subprocess
import sys
import sysconfig

from harness import Case

ROOT = pathlib.Path(__file__).resolve().parent.parent
CACHE = ROOT / "build" / "bench"
MODULE = "_qm_noop_raylib_cffi"

CDEF = """
typedef struct Vector2 { float x; float y; } Vector2;
typedef struct Rectangle { float x; float y; float width; float height; } Rectangle;
typedef struct Color { unsigned char r; unsigned char g; unsigned char b; unsigned char a; } Color;
typedef struct Texture { unsigned int id; int width; int height; int mipmaps; int format; } Texture;
typedef Texture Texture2D;
typedef struct Shader { unsigned int id; int *locs; } Shader;
void DrawTextureRec(Texture2D texture, Rectangle source, Vector2 position, Color tint);
void DrawTexturePro(Texture2D texture, Rectangle source, Rectangle dest, Vector2 origin,
                    float rotation, Color tint);
void ClearBackground(Color color);
void BeginDrawing(void);
void SetShaderValue(Shader shader, int locIndex, const void *value, int uniformType);
"""


def build_cffi_peer() -> pathlib.Path:
    """Generates and compiles the API-mode cffi module over the no-op library (once per no-op
    build); returns the folder to put on sys.path."""
    import cffi

    from quelm_ui_testbeds import noop_raylib

    noop = pathlib.Path(noop_raylib.__file__).resolve()
    key = hashlib.sha256(f"{noop}:{noop.stat().st_mtime_ns}:{cffi.__version__}:{CDEF}".encode())
    folder = CACHE / key.hexdigest()[:16]
    target = folder / (MODULE + sysconfig.get_config_var("EXT_SUFFIX"))
    if target.exists():
        return folder
    folder.mkdir(parents=True, exist_ok=True)
    header = (ROOT / "tests" / "native" / "raylib_decls.h").read_text()
    (folder / "raylib_decls_c.h").write_text(header.replace('extern "C" ', ""))
    ffi = cffi.FFI()
    ffi.cdef(CDEF)
    ffi.set_source(MODULE, '#include "raylib_decls_c.h"')
    with contextlib.redirect_stdout(io.StringIO()):
        ffi.emit_c_code(str(folder / f"{MODULE}.c"))
    subprocess.run(
        ["cc", "-O2", "-shared", "-fPIC", f"-I{sysconfig.get_paths()['include']}", f"-I{folder}",
         str(folder / f"{MODULE}.c"), "-o", str(target), str(noop), f"-Wl,-rpath,{noop.parent}"],
        check=True)
    return folder


SETUP = """
import ctypes
import sys
sys.path.insert(0, {folder!r})
import {module} as peer
from quelm_ui_testbeds import noop_raylib
from quelm_ui.fast.raylib import quelm_raylib as qr
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

qr.init_raylib_pointers(noop_raylib.addresses())
ffi, lib = peer.ffi, peer.lib
texture = ffi.new("Texture2D *", (3, 64, 32, 1, 7))[0]
shader = ffi.new("Shader *", (4, ffi.NULL))[0]
qmshader = QmShader(4, 0)
position = QmVector2(10, 20)
tint = QmRect(255, 255, 255, 255)


class Vector2(ctypes.Structure):
    _fields_ = [("x", ctypes.c_float), ("y", ctypes.c_float)]


class Rectangle(ctypes.Structure):
    _fields_ = [(name, ctypes.c_float) for name in ("x", "y", "width", "height")]


class Color(ctypes.Structure):
    _fields_ = [(name, ctypes.c_ubyte) for name in "rgba"]


class Texture2D(ctypes.Structure):
    _fields_ = [("id", ctypes.c_uint)] + [
        (name, ctypes.c_int) for name in ("width", "height", "mipmaps", "format")]


class Shader(ctypes.Structure):
    _fields_ = [("id", ctypes.c_uint), ("locs", ctypes.POINTER(ctypes.c_int))]


cl = ctypes.CDLL(noop_raylib.__file__)
cl.DrawTextureRec.argtypes = [Texture2D, Rectangle, Vector2, Color]
cl.DrawTextureRec.restype = None
cl.DrawTexturePro.argtypes = [Texture2D, Rectangle, Rectangle, Vector2, ctypes.c_float, Color]
cl.DrawTexturePro.restype = None
cl.ClearBackground.argtypes = [Color]
cl.ClearBackground.restype = None
cl.BeginDrawing.argtypes = []
cl.BeginDrawing.restype = None
cl.SetShaderValue.argtypes = [Shader, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
cl.SetShaderValue.restype = None
ctexture = Texture2D(3, 64, 32, 1, 7)
cshader = Shader(4, None)

import logging
logging.getLogger("raylib").setLevel(logging.ERROR)
import raylib as binding
binding_shader = binding.ffi.new("Shader *", (4, binding.ffi.NULL))[0]
"""

GOALS = {"cffi": 0.33}


def cases():
    setup = SETUP.format(folder=str(build_cffi_peer()), module=MODULE)

    def case(name, ours, cffi, ctypes, **more):
        peers = {"cffi": cffi, "ctypes": ctypes, **more}
        return Case("raylib bridge", name, ours, peers, setup, GOALS)

    return [
        case("draw_texture_qmvec",
             "qr.draw_texture_qmvec(texture, position, tint, False)",
             "lib.DrawTextureRec(texture, (0, 0, texture.width, texture.height), "
             "(position.x + 0.01, position.y + 0.01), "
             "(int(tint.x), int(tint.y), int(tint.w), int(tint.h)))",
             "cl.DrawTextureRec(ctexture, Rectangle(0, 0, ctexture.width, ctexture.height), "
             "Vector2(position.x + 0.01, position.y + 0.01), "
             "Color(int(tint.x), int(tint.y), int(tint.w), int(tint.h)))"),
        case("draw_texture_rec",
             "qr.draw_texture_rec(texture, (0, 0, 64, 32), (10, 20), (255, 255, 255, 255))",
             "lib.DrawTextureRec(texture, (0, 0, 64, 32), (10, 20), (255, 255, 255, 255))",
             "cl.DrawTextureRec(ctexture, Rectangle(0, 0, 64, 32), Vector2(10, 20), "
             "Color(255, 255, 255, 255))"),
        case("draw_texture_pro",
             "qr.draw_texture_pro(texture, (0, 0, 64, 32), (100, 100, 32, 32), (16, 16), 90.0, "
             "(255, 255, 255, 255))",
             "lib.DrawTexturePro(texture, (0, 0, 64, 32), (100, 100, 32, 32), (16, 16), 90.0, "
             "(255, 255, 255, 255))",
             "cl.DrawTexturePro(ctexture, Rectangle(0, 0, 64, 32), Rectangle(100, 100, 32, 32), "
             "Vector2(16, 16), 90.0, Color(255, 255, 255, 255))"),
        case("clear_background",
             "qr.clear_background((30, 30, 30, 255))",
             "lib.ClearBackground((30, 30, 30, 255))",
             "cl.ClearBackground(Color(30, 30, 30, 255))"),
        case("begin_drawing", "qr.begin_drawing()", "lib.BeginDrawing()", "cl.BeginDrawing()"),
        case("set_qmshader_value_float",
             "qr.set_qmshader_value_float(qmshader, 3, 0.5)",
             "lib.SetShaderValue(shader, 3, ffi.new('float *', 0.5), 0)",
             "cl.SetShaderValue(cshader, 3, ctypes.byref(ctypes.c_float(0.5)), 0)",
             raylib="binding.SetShaderValue(binding_shader, -1, binding.ffi.new('float *', 0.5), "
             "0)"),
    ]


if __name__ == "__main__":
    sys.exit("run through bench/run.py raylib")
