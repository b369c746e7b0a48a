# Keyboard backlight sources, embedded script and tests.
