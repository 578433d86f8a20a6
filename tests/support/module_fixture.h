// The built module, loaded once per test program from beside the test
// executable (or from KEELMARK_MODULE when that is set).
#pragma once

#include "standin_host/module_library.h"

namespace keelmark::test {

// Throws std::runtime_error (failing the test that asked) when the module
// cannot be loaded; the next caller tries again.
const replay::ModuleLibrary& testModule();

}  // namespace keelmark::test
