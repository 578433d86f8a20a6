# Turns the browser pages' own files into a C++ header, so that the tools
# carry their pages inside them. Run as a script:
#   cmake -DOUTPUT=header -DNAMESPACE=ns -DFILES="name=path|name=path" -P embed_web_files.cmake
# Each file becomes `std::string_view name()`, its bytes exactly as on disk.
set(text "// Generated from the files of web/ at build time; do not edit.\n#pragma once\n\n#include <string_view>\n\nnamespace ${NAMESPACE} {\n")
string(REPLACE "|" ";" FILES "${FILES}")
foreach(entry IN LISTS FILES)
  string(REGEX MATCH "^([A-Za-z_][A-Za-z0-9_]*)=(.*)$" _ "${entry}")
  set(name "${CMAKE_MATCH_1}")
  set(path "${CMAKE_MATCH_2}")
  file(READ "${path}" bytes HEX)
  string(LENGTH "${bytes}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
  # A line break every 32 bytes keeps the generated lines short.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
  string(APPEND text "\ninline constexpr unsigned char ${name}_bytes[${size} + 1] = {\n${bytes}0};\n")
  string(APPEND text "inline std::string_view ${name}() {\n    return {reinterpret_cast<const char*>(${name}_bytes), ${size}};\n}\n")
endforeach()
string(APPEND text "\n}  // namespace ${NAMESPACE}\n")
# Written only when it changes, so that an unchanged page rebuilds nothing.
file(WRITE "${OUTPUT}.new" "${text}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
