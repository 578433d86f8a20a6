# Writes the source of the module's build stamp: buildDate() and buildTime()
# answering the time this script runs, in the compiler's __DATE__ and
# __TIME__ forms ("Mmm dd yyyy" with the day padded by a space, "hh:mm:ss").
# SOURCE_DATE_EPOCH in the environment fixes the time (reproducible builds).
# The file is rewritten only when its text changes, so that a second build
# within the same second compiles nothing.
#
#   cmake -DOUTPUT=<file.cpp> -P cmake/build_stamp.cmake
if(NOT OUTPUT)
  message(FATAL_ERROR "build_stamp.cmake: OUTPUT is not set")
endif()

string(TIMESTAMP month "%b")
string(TIMESTAMP day "%d")
string(TIMESTAMP year "%Y")
string(TIMESTAMP time "%H:%M:%S")
string(REGEX REPLACE "^0" " " day "${day}")

set(text "// Written by cmake/build_stamp.cmake at every build of the module.
#include \"host/build_stamp.h\"

namespace keelmark {

const char* buildDate() { return \"${month} ${day} ${year}\"; }
const char* buildTime() { return \"${time}\"; }

}  // namespace keelmark
")

set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
