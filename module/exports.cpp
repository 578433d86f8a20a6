// The module entry: two module functions and the two study functions.
//
// Every study call runs the same protocol: the defaults pass declares the
// study, the final call tears it down, any other call is an update. No
// exception ever leaves an export: the host is someone else's process.
#include "module/exports.h"

#include "anchored_vwap/anchored_vwap.h"
#include "session_levels/session_levels.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using StudyStep = void (*)(keelmark::StudyInterface&);

struct StudyEntry {
    StudyStep declare;
    StudyStep finalCall;
    StudyStep update;
};

void runStudyCall(keelmark::StudyInterface* sc, const StudyEntry& study) noexcept {
    if (sc == nullptr) {
        return;
    }
    try {
        if (sc->isDefaultsPass != 0) {
            study.declare(*sc);
        } else if (sc->isFinalCall != 0) {
            study.finalCall(*sc);
        } else {
            study.update(*sc);
        }
    } catch (...) {
        // Absorbed: a failure inside a study must not take the host down.
    }
}

}  // namespace

extern "C" {

const char* scdll_DLLName() { return "Keelmark Session Levels"; }

std::int32_t scdll_DLLVersion() { return keelmark::kHostInterfaceVersion; }

void scsf_KeelmarkSessionLevels(keelmark::StudyInterface* sc) {
    static constexpr StudyEntry kStudy{keelmark::session_levels::declareStudy,
                                       keelmark::session_levels::finalCall,
                                       keelmark::session_levels::update};
    runStudyCall(sc, kStudy);
}

void scsf_KeelmarkAnchoredVWAP(keelmark::StudyInterface* sc) {
    static constexpr StudyEntry kStudy{keelmark::anchored_vwap::declareStudy,
                                       keelmark::anchored_vwap::finalCall,
                                       keelmark::anchored_vwap::update};
    runStudyCall(sc, kStudy);
}

}  // extern "C"

#if defined(_WIN32)
// The module's own entry handler: nothing to set up or tear down.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
