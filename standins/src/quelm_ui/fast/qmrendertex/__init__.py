"""Minimal stand-in for the toolkit's sibling module ``qm_render_tex`` (``QmRenderTexture``)."""
