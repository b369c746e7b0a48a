# cmake -DINPUT=<script> -DOUTPUT=<file.cpp> -P embed.cmake
# Writes a C++ source whose backlight_script_text() returns the script's bytes unchanged. The
# bytes go in as numbers, so no character of the script can end a literal early.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
# One line per 32 bytes keeps the generated file readable by tools.
string(REGEX REPLACE "(('[^']*',){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; edit the script, not this file.
#include \"hal/src/backlight_invocation.hpp\"

namespace vantrel {

namespace {
constexpr char SCRIPT[${size} + 1] = {
${bytes}'\\0'};
}  // namespace

std::string_view backlight_script_text() { return std::string_view(SCRIPT, ${size}); }

}  // namespace vantrel
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
