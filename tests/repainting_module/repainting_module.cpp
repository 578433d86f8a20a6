// A module whose one study repaints on purpose: every call writes the
// chart's bar count into every bar, so a committed bar's value changes with
// each bar that arrives. The replay tool's live run must notice.
#include <cstdint>

#include "host/study_interface.h"

#if defined(_WIN32)
#define REPAINTING_EXPORT __declspec(dllexport)
#else
#define REPAINTING_EXPORT __attribute__((visibility("default")))
#endif

namespace {

char kName[] = "Repainting";
char kSeries[] = "Bar Count";

keelmark::HostString constantText(char* text, const char* empty) {
    return keelmark::HostString{text, 0, 1, empty};
}

void repaint(keelmark::StudyInterface* sc) {
    if (sc == nullptr || sc->outputs.data == nullptr) {
        return;
    }
    keelmark::OutputSeries& series = sc->outputs.data[0];
    if (sc->isDefaultsPass != 0) {
        sc->studyName = constantText(kName, sc->studyName.emptyText);
        series.name = constantText(kSeries, series.name.emptyText);
        return;
    }
    if (sc->isFinalCall != 0 || series.values.data == nullptr) {
        return;
    }
    for (std::int32_t bar = 0; bar < series.values.count; ++bar) {
        series.values.data[bar] = static_cast<float>(sc->barCount);
    }
}

}  // namespace

extern "C" {
REPAINTING_EXPORT const char* scdll_DLLName() { return "Repainting test module"; }
REPAINTING_EXPORT std::int32_t scdll_DLLVersion() { return 1; }
REPAINTING_EXPORT void scsf_KeelmarkSessionLevels(keelmark::StudyInterface* sc) { repaint(sc); }
REPAINTING_EXPORT void scsf_KeelmarkAnchoredVWAP(keelmark::StudyInterface* sc) { repaint(sc); }
}
