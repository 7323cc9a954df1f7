"""The QmVector2 two-dimensional vector type (native module ``qmvector2``).

``get_include()`` names the folder of the C++ headers that native consumers of the three modules
compile against: add it to the include path, then ``#include
"quelm_ui/fast/qmvector2/qmvector2_api.hpp"`` (also ``zsystem/zdispatch_api.hpp``,
``raylib/quelm_raylib_capi.hpp`` and ``raylib/raylib_records.hpp``).
"""

import os

_HEADER = os.path.join("quelm_ui", "fast", "qmvector2", "qmvector2_api.hpp")


def get_include() -> str:
    """The folder holding the binary-contract headers of qmvector2, zdispatch and quelm_raylib."""
    here = os.path.dirname(os.path.abspath(__file__))
    installed = os.path.join(here, "include")
    if os.path.isfile(os.path.join(installed, _HEADER)):
        return installed
    # An editable install runs this file from the source tree, where the headers sit below src/.
    source_root = os.path.dirname(os.path.dirname(os.path.dirname(here)))
    if os.path.isfile(os.path.join(source_root, _HEADER)):
        return source_root
    raise FileNotFoundError(f"the headers of quelm-ui-fast are missing from {installed}")
