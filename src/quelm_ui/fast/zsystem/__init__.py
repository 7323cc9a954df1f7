"""The z-ordered input dispatcher (native module ``zdispatch``): ``ZRequest`` and ``ZSystem``.

``get_include()`` names the folder of the binary-contract headers (``zdispatch_api.hpp`` among
them), the same for the three modules.
"""

from quelm_ui.fast.qmvector2 import get_include

__all__ = ["get_include"]
