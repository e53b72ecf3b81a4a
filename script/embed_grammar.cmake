# Turns one grammar file into a C++ source: cmake -DINPUT=... -DOUTPUT=... -DFUNCTION=... -P
file(READ "${INPUT}" text)
string(REGEX REPLACE "[\r\n]+$" "" text "${text}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include \"script/grammars.h\"\n\n"
  "std::string_view ${FUNCTION}() {\n"
  "    static constexpr char text[] = R\"ksgrammar(${text})ksgrammar\";\n"
  "    return {text, sizeof text - 1};\n"
  "}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
