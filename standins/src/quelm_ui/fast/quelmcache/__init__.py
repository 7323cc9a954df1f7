"""Minimal stand-in for the toolkit's sibling module ``quelmcache`` (``Cache``)."""
