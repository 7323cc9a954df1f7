"""The QmVector2 two-dimensional vector type (native module ``qmvector2``)."""
