"""Pure-Python support modules of the toolkit."""
