// The built module as the fuzzers and the corpus replay test reach it:
// loaded once per process from beside the running program, as a host loads
// it, and its two study functions.
#pragma once

#include "host/study_interface.h"
#include "standin_host/module_library.h"

namespace keelmark::fuzz {

enum class Study { SessionLevels, AnchoredVwap };

// Loads the module on first use; a module that cannot be loaded ends the
// process with the loader's reason, since no input can be tried without it.
const replay::ModuleLibrary& fuzzModule();

StudyFunction studyFunction(Study study);

}  // namespace keelmark::fuzz
