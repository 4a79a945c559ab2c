# Writes OUTPUT, a C++ file defining `const char vorbek::SYMBOL[]` with the
# bytes of INPUT and a final NUL, so that script which runs in the page can
# live in a file of its own. Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P
file(READ "${INPUT}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
cmake_path(GET INPUT FILENAME name)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${name}; edit that file instead.\n"
  "namespace vorbek {\n"
  "extern const char ${SYMBOL}[];\n"
  "const char ${SYMBOL}[] = {\n  ${bytes}'\\0'};\n"
  "}  // namespace vorbek\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
