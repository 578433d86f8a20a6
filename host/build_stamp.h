// The module's build date and time, stamped by the compiler when the module
// is built: "Mmm dd yyyy" and "hh:mm:ss".
#pragma once

namespace keelmark {

const char* buildDate();
const char* buildTime();

}  // namespace keelmark
