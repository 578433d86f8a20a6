// The module's four exported functions, with C linkage and no decoration.
#pragma once

#include <cstdint>

#include "host/study_interface.h"

#if defined(_WIN32)
#define KEELMARK_EXPORT __declspec(dllexport)
#else
#define KEELMARK_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
KEELMARK_EXPORT const char* scdll_DLLName();
KEELMARK_EXPORT std::int32_t scdll_DLLVersion();
KEELMARK_EXPORT void scsf_KeelmarkSessionLevels(keelmark::StudyInterface* sc);
KEELMARK_EXPORT void scsf_KeelmarkAnchoredVWAP(keelmark::StudyInterface* sc);
}
