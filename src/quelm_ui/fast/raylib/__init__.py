"""The raylib drawing bridge (native module ``quelm_raylib``)."""
