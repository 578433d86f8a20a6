# keelmark_embed_web_files(TARGET target HEADER name.h NAMESPACE ns FILES name=web/file ...)
# Generates HEADER (included as "web_files/name.h") from the named files of
# web/ and adds it to TARGET, regenerated whenever one of the files changes.
function(keelmark_embed_web_files)
  cmake_parse_arguments(ARG "" "TARGET;HEADER;NAMESPACE" "FILES" ${ARGN})
  set(output_dir ${CMAKE_BINARY_DIR}/generated/web_files)
  set(output ${output_dir}/${ARG_HEADER})
  set(entries)
  set(depends)
  foreach(entry IN LISTS ARG_FILES)
    string(REGEX MATCH "^([A-Za-z_][A-Za-z0-9_]*)=(.*)$" _ "${entry}")
    list(APPEND entries "${CMAKE_MATCH_1}=${PROJECT_SOURCE_DIR}/${CMAKE_MATCH_2}")
    list(APPEND depends ${PROJECT_SOURCE_DIR}/${CMAKE_MATCH_2})
  endforeach()
  string(REPLACE ";" "|" entries_arg "${entries}")
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${output} -DNAMESPACE=${ARG_NAMESPACE}
            "-DFILES=${entries_arg}" -P ${PROJECT_SOURCE_DIR}/cmake/embed_web_files.cmake
    DEPENDS ${depends} ${PROJECT_SOURCE_DIR}/cmake/embed_web_files.cmake
    COMMENT "Embedding ${ARG_HEADER} from web/"
    VERBATIM)
  target_sources(${ARG_TARGET} PRIVATE ${output})
  target_include_directories(${ARG_TARGET} PRIVATE ${CMAKE_BINARY_DIR}/generated)
endfunction()
