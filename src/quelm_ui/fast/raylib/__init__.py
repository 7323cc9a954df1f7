"""The raylib drawing bridge (native module ``quelm_raylib``).

``get_include()`` names the folder of the binary-contract headers (``quelm_raylib_capi.hpp``,
``raylib_records.hpp`` among them), the same for the three modules.
"""

from quelm_ui.fast.qmvector2 import get_include

__all__ = ["get_include"]
