"""Native test beds of quelm_ui.fast (fake raylib libraries and a native consumer); built only for the tests."""
