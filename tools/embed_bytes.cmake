# Builds a file's bytes into the program: writes OUTPUT, a C++ source
# defining std::string_view orv::FUNCTION() over the bytes of INPUT.
#   cmake -DINPUT=... -DOUTPUT=... -DFUNCTION=... -P embed_bytes.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.part"
"// Generated from ${INPUT} by tools/embed_bytes.cmake; do not edit.
#include <string_view>

namespace orv {

namespace {
const unsigned char Bytes[] = {
${bytes}0};
} // namespace

std::string_view ${FUNCTION}() {
    return std::string_view(reinterpret_cast<const char*>(Bytes), sizeof Bytes - 1);
}

} // namespace orv
")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
