#include "fuzz/harness/fuzz_module.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

namespace keelmark::fuzz {

const replay::ModuleLibrary& fuzzModule() {
    static const std::unique_ptr<replay::ModuleLibrary> module = [] {
        try {
            return std::make_unique<replay::ModuleLibrary>(replay::ModuleLibrary::defaultPath());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "fuzz: cannot load the module: %s\n", e.what());
            std::abort();
        }
    }();
    return *module;
}

StudyFunction studyFunction(Study study) {
    return study == Study::SessionLevels ? fuzzModule().sessionLevels()
                                         : fuzzModule().anchoredVwap();
}

}  // namespace keelmark::fuzz
