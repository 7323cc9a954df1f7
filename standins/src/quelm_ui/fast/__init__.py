"""Native core of the toolkit: ``qmvector2``, ``zsystem.zdispatch`` and ``raylib.quelm_raylib``."""
