"""The addresses of raylib's functions inside the `raylib` package (the cffi binding).

The binding links raylib statically into its compiled cffi module, so the functions the bridge
calls live in that module; `ffi.addressof(rl, name)` yields a typed function pointer to each, and
casting it to `uintptr_t` gives the integer address that `init_raylib_pointers` stores.
"""

from __future__ import annotations

# The raylib functions the bridge calls, in the order its entry table keeps them.
BRIDGE_FUNCTIONS: tuple[str, ...] = (
    "DrawTextureRec",
    "DrawTexturePro",
    "BeginBlendMode",
    "EndBlendMode",
    "BeginTextureMode",
    "EndTextureMode",
    "ClearBackground",
    "BeginShaderMode",
    "EndShaderMode",
    "SetShaderValue",
    "GetShaderLocation",
    "BeginDrawing",
    "EndDrawing",
    "SetShaderValueV",
)


def function_address(name: str, rl=None, ffi=None) -> int:
    """The address of raylib's function `name` in the binding's compiled module, as an int."""
    if rl is None or ffi is None:
        from raylib import ffi as binding_ffi, rl as binding_rl

        rl = binding_rl if rl is None else rl
        ffi = binding_ffi if ffi is None else ffi
    pointer = ffi.addressof(rl, name)  # AttributeError if the binding lacks the function
    address = int(ffi.cast("uintptr_t", pointer))
    if address == 0:
        raise RuntimeError(f"raylib binding returned a null address for {name}")
    return address


def raylib_pointers(rl=None, ffi=None) -> dict[str, int]:
    """The dictionary for `quelm_raylib.init_raylib_pointers`: every bridge function's address."""
    return {name: function_address(name, rl, ffi) for name in BRIDGE_FUNCTIONS}


def null_pointers() -> dict[str, int]:
    """A dictionary that sets every entry of the bridge's table back to null."""
    return dict.fromkeys(BRIDGE_FUNCTIONS, 0)
