# Turns a data file into a C++ source defining `std::string_view FUNCTION()` over its exact bytes.
# cmake -DINPUT=... -DOUTPUT=... -DFUNCTION=... -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <string_view>\n\n"
  "namespace { const char data[] = {${bytes} 0}; }\n"
  "std::string_view ${FUNCTION}() { return std::string_view(data, sizeof data - 1); }\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
