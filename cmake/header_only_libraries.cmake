# Header-only libraries from Debian's packages, as targets that the Linux build
# and the Windows cross-build use alike:
#   keelmark::cli11  (CLI11, <CLI/CLI.hpp>)
#   keelmark::json   (nlohmann JSON, <nlohmann/json.hpp>)
#   keelmark::date   (date, <date/date.h>; calendar part only)
# The cross-build must not see the rest of /usr/include (the Linux C library's
# headers), so each library's own folder is linked into a private include
# folder of the build.
function(keelmark_header_only_library target folder)
  set(source /usr/include/${folder})
  if(NOT EXISTS ${source})
    return()
  endif()
  set(include_root ${CMAKE_BINARY_DIR}/header_only/${folder})
  file(MAKE_DIRECTORY ${include_root})
  file(CREATE_LINK ${source} ${include_root}/${folder} SYMBOLIC)
  add_library(keelmark_${target} INTERFACE)
  target_include_directories(keelmark_${target} SYSTEM INTERFACE ${include_root})
  add_library(keelmark::${target} ALIAS keelmark_${target})
endfunction()

keelmark_header_only_library(cli11 CLI)
keelmark_header_only_library(json nlohmann)
keelmark_header_only_library(date date)
