# Checks cmake/build_stamp.cmake (run by ctest): the stamp has the
# compiler's __DATE__ and __TIME__ forms and follows the time of the build.
#
#   cmake -DSTAMP_SCRIPT=<cmake/build_stamp.cmake> -DWORK_DIR=<folder> -P check_build_stamp.cmake
set(stamp "${WORK_DIR}/build_stamp_check.cpp")
file(REMOVE "${stamp}")

function(stamp_at epoch)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
            ${CMAKE_COMMAND} -DOUTPUT=${stamp} -P ${STAMP_SCRIPT}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "build_stamp.cmake failed: ${result}")
  endif()
endfunction()

function(expect_stamp date time)
  file(READ "${stamp}" text)
  if(NOT text MATCHES "buildDate\\(\\) { return \"${date}\"; }")
    message(FATAL_ERROR "expected the date \"${date}\" in:\n${text}")
  endif()
  if(NOT text MATCHES "buildTime\\(\\) { return \"${time}\"; }")
    message(FATAL_ERROR "expected the time \"${time}\" in:\n${text}")
  endif()
endfunction()

stamp_at(1796691600)  # 2026-12-08 01:00:00 UTC: the day padded with a space
expect_stamp("Dec  8 2026" "01:00:00")
stamp_at(1768471425)  # 2026-01-15 10:03:45 UTC: a later build, a new stamp
expect_stamp("Jan 15 2026" "10:03:45")
file(REMOVE "${stamp}")
