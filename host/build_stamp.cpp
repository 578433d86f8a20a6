#include "host/build_stamp.h"

namespace keelmark {

const char* buildDate() { return __DATE__; }
const char* buildTime() { return __TIME__; }

}  // namespace keelmark
