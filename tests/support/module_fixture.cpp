#include "tests/support/module_fixture.h"

namespace keelmark::test {

const replay::ModuleLibrary& testModule() {
    static const replay::ModuleLibrary module(replay::ModuleLibrary::defaultPath());
    return module;
}

}  // namespace keelmark::test
