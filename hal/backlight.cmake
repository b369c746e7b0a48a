# Keyboard backlight sources, embedded script and tests.
target_sources(vantrel_core PRIVATE src/backlight.cpp)
