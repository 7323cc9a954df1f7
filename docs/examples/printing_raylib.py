"""A stand-in for raylib that prints each call the bridge makes instead of drawing.

The examples of these pages hand its addresses to ``init_raylib_pointers``, so they run without a
window and show the records raylib would receive. Each function is a ctypes callback with
raylib's prototype; ``addresses()`` returns the dictionary ``init_raylib_pointers`` takes.
"""

import ctypes

c_float, c_int, c_uint = ctypes.c_float, ctypes.c_int, ctypes.c_uint


class Record(ctypes.Structure):
    def __repr__(self) -> str:
        values = (getattr(self, name) for name, _ in self._fields_)
        return f"{type(self).__name__}({', '.join(_show(value) for value in values)})"


class Vector2(Record):
    _fields_ = [("x", c_float), ("y", c_float)]


class Rectangle(Record):
    _fields_ = [("x", c_float), ("y", c_float), ("width", c_float), ("height", c_float)]


class Color(Record):
    _fields_ = [(name, ctypes.c_ubyte) for name in "rgba"]


class Texture2D(Record):
    _fields_ = [("id", c_uint), ("width", c_int), ("height", c_int), ("mipmaps", c_int),
                ("format", c_int)]


class RenderTexture2D(Record):
    _fields_ = [("id", c_uint), ("texture", Texture2D), ("depth", Texture2D)]


class Shader(Record):
    _fields_ = [("id", c_uint), ("locs", ctypes.c_void_p)]

    def __repr__(self) -> str:
        return f"Shader(id={self.id})"


def _show(value) -> str:
    if isinstance(value, float):
        return f"{value:g}"
    return repr(value)


def _printer(name):
    def call(*args):
        print(f"{name}({', '.join(_show(arg) for arg in args)})")
    return call


# Uniform type numbers: 0 to 3 are 1 to 4 floats, 4 to 7 are 1 to 4 ints.
def _uniform(value, uniform_type, count=1) -> list:
    if uniform_type not in range(8):
        return ["?"]
    items = (uniform_type % 4 + 1) * count
    kind = c_float if uniform_type < 4 else c_int
    return [_show(item) for item in ctypes.cast(value, ctypes.POINTER(kind))[:items]]


def _set_shader_value(shader, loc, value, uniform_type):
    print(f"SetShaderValue({shader!r}, loc={loc}, type={uniform_type}, "
          f"[{', '.join(_uniform(value, uniform_type))}])")


def _set_shader_value_v(shader, loc, value, uniform_type, count):
    print(f"SetShaderValueV({shader!r}, loc={loc}, type={uniform_type}, count={count}, "
          f"[{', '.join(_uniform(value, uniform_type, count))}])")


# The locations this stand-in knows; any other name is -1, as in raylib.
LOCATIONS = {"time": 0, "pointer": 1, "tint": 2}


def _get_shader_location(shader, name):
    return LOCATIONS.get(name.decode(), -1)


PROTOTYPES = {
    "DrawTextureRec": (None, Texture2D, Rectangle, Vector2, Color),
    "DrawTexturePro": (None, Texture2D, Rectangle, Rectangle, Vector2, c_float, Color),
    "BeginBlendMode": (None, c_int),
    "EndBlendMode": (None,),
    "BeginTextureMode": (None, RenderTexture2D),
    "EndTextureMode": (None,),
    "ClearBackground": (None, Color),
    "BeginShaderMode": (None, Shader),
    "EndShaderMode": (None,),
    "SetShaderValue": (None, Shader, c_int, ctypes.c_void_p, c_int),
    "GetShaderLocation": (c_int, Shader, ctypes.c_char_p),
    "BeginDrawing": (None,),
    "EndDrawing": (None,),
    "SetShaderValueV": (None, Shader, c_int, ctypes.c_void_p, c_int, c_int),
}
BODIES = {"SetShaderValue": _set_shader_value, "SetShaderValueV": _set_shader_value_v,
          "GetShaderLocation": _get_shader_location}

# The callbacks must outlive every call through their addresses.
_callbacks = {name: ctypes.CFUNCTYPE(*types)(BODIES.get(name) or _printer(name))
              for name, types in PROTOTYPES.items()}


def addresses() -> dict[str, int]:
    """The dictionary for init_raylib_pointers: raylib function name -> address."""
    return {name: ctypes.cast(callback, ctypes.c_void_p).value
            for name, callback in _callbacks.items()}
