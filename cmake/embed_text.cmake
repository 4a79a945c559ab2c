# Writes OUTPUT, a C++ file defining `const char vorbek::SYMBOL[]` with the
# bytes of INPUT and a final NUL, so that script which runs in the page can
# live in a file of its own. With PRELUDE, INPUT is a function's body: the
# text is PRELUDE then INPUT, both inside one arrow function that runs at
# once, so what the prelude declares is private to each script.
# Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... [-DPRELUDE=...] -P
file(READ "${INPUT}" bytes HEX)
if(PRELUDE)
  file(READ "${PRELUDE}" prelude HEX)
  string(HEX "(() => {\n" open)
  string(HEX "\n})();\n" close)
  set(bytes "${open}${prelude}${bytes}${close}")
endif()
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
