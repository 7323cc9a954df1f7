"""Fills four gaps of Wine 8 (Debian 12's) that the harness would otherwise die on; test harness only.

The Windows interpreter imports this at start-up: tools/windows.mk puts this folder on PYTHONPATH
for every Windows program it runs. None of the gaps exists on Windows itself, where this file
is never installed.
"""

from __future__ import annotations

import ctypes
import sys

# `platform` queries WMI through `_wmi`, whose call into Wine's propsys (VariantToString, not
# implemented) kills the process; without `_wmi` it reads sys.getwindowsversion() instead.
sys.modules.setdefault("_wmi", None)

# shutil.copy2 (venv creation) prefers kernel32's CopyFile2, which Wine does not implement;
# without it shutil copies the file's data and metadata itself.
if sys.platform == "win32":
    import _winapi

    if hasattr(_winapi, "CopyFile2"):
        del _winapi.CopyFile2

# Wine's process creation now and then fails as a whole: the new process dies while Wine starts
# it, before any of its Windows code runs, and CreateProcess reports ERROR_INTERNAL_ERROR (seen
# once in CI, in a few thousand starts). Nothing of the child ran, so its start is tried again.
_ERROR_INTERNAL_ERROR = 1359
_START_ATTEMPTS = 3


def _retry_failed_starts() -> None:
    create_process = _winapi.CreateProcess

    def create_process_again_if_wine_failed(*args):
        for attempt in range(1, _START_ATTEMPTS + 1):
            try:
                return create_process(*args)
            except OSError as exc:
                if exc.winerror != _ERROR_INTERNAL_ERROR or attempt == _START_ATTEMPTS:
                    raise

    _winapi.CreateProcess = create_process_again_if_wine_failed

# Wine's ucrtbase leaves crealf, cimagf and cimag as stubs that abort the process, and NumPy 2
# calls them while it imports. Each stub is replaced by the two instructions the function is: a
# float complex arrives in RCX as two packed floats, a double complex through a pointer in RCX,
# and the part goes back in XMM0. A stub is recognised by its first instructions (sub rsp, 0x28;
# lea rcx, [rip+...]: it loads the names for its error message), so that a Wine that implements
# a function keeps its own.
_STUB_PROLOGUE = bytes.fromhex("4883ec28488d0d")
_COMPLEX_PARTS = {
    b"crealf": bytes.fromhex("660f6ec1c3"),  # movd xmm0, ecx; ret
    b"cimagf": bytes.fromhex("48c1e920660f6ec1c3"),  # shr rcx, 32; movd xmm0, ecx; ret
    b"creal": bytes.fromhex("f20f1001c3"),  # movsd xmm0, [rcx]; ret
    b"cimag": bytes.fromhex("f20f104108c3"),  # movsd xmm0, [rcx+8]; ret
}
_PAGE_EXECUTE_READWRITE = 0x40


def _fill_complex_parts() -> None:
    kernel32 = ctypes.WinDLL("kernel32")
    kernel32.GetModuleHandleW.restype = ctypes.c_void_p
    kernel32.GetProcAddress.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    kernel32.GetProcAddress.restype = ctypes.c_void_p
    kernel32.VirtualProtect.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_uint32,
                                        ctypes.POINTER(ctypes.c_uint32)]
    kernel32.FlushInstructionCache.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
    ucrt = kernel32.GetModuleHandleW("ucrtbase.dll")  # loaded with the interpreter
    if not ucrt:
        return
    for name, code in _COMPLEX_PARTS.items():
        address = kernel32.GetProcAddress(ucrt, name)
        if not address or ctypes.string_at(address, len(_STUB_PROLOGUE)) != _STUB_PROLOGUE:
            continue
        protection = ctypes.c_uint32()
        if not kernel32.VirtualProtect(address, len(code), _PAGE_EXECUTE_READWRITE,
                                       ctypes.byref(protection)):
            raise OSError(f"cannot make ucrtbase.{name.decode()} writable")
        ctypes.memmove(address, code, len(code))
        kernel32.VirtualProtect(address, len(code), protection.value, ctypes.byref(protection))
        kernel32.FlushInstructionCache(ctypes.c_void_p(-1), address, len(code))


if sys.platform == "win32":
    _fill_complex_parts()
    _retry_failed_starts()
