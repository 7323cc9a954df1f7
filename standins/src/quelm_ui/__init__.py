"""quelm_ui: a Python UI toolkit. ``quelm_ui.fast`` holds its native core."""
