"""The z-ordered input dispatcher (native module ``zdispatch``): ``ZRequest`` and ``ZSystem``."""
