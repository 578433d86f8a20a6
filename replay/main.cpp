// keelmark-replay: loads the module as the charting host does, declares both
// studies, runs a full recalculation of each over a bar file and prints what
// the studies declared and logged.
//
//   keelmark-replay [--bars FILE]
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "replay/bar_file.h"
#include "replay/chart_host.h"
#include "replay/module_library.h"

namespace {

using keelmark::replay::Bar;
using keelmark::replay::ModuleLibrary;
using keelmark::replay::StudyInstance;

void printDeclarations(const StudyInstance& study) {
    std::printf("  inputs:\n");
    for (std::int32_t slot = 0; slot < study.declaredInputCount(); ++slot) {
        std::printf("    %2d  type %2u  %s\n", slot, unsigned{study.input(slot).valueType},
                    study.inputLabel(slot).c_str());
    }
    std::printf("  outputs:\n");
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        std::printf("    %2d  %s\n", slot, study.outputName(slot).c_str());
    }
}

void printLog(const StudyInstance& study) {
    std::printf("  log:\n");
    for (const auto& line : study.log()) {
        std::printf("    [%d] %s\n", line.flag, line.text.c_str());
    }
}

void replayStudy(keelmark::StudyFunction function, const std::vector<Bar>& bars) {
    StudyInstance study(function);
    study.defaultsPass();
    study.setBars(bars);
    study.fullRecalculation();
    std::printf("\n%s\n", study.studyName().c_str());
    printDeclarations(study);
    printLog(study);
    study.finalCall();
}

int usage() {
    std::fprintf(stderr, "usage: keelmark-replay [--bars FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string barsPath = std::string(KEELMARK_SAMPLE_DIR) + "/NQ_1min_sample.csv";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--bars" && i + 1 < argc) {
            barsPath = argv[++i];
        } else {
            return usage();
        }
    }
    try {
        const ModuleLibrary module(ModuleLibrary::defaultPath());
        const std::vector<Bar> bars = keelmark::replay::readBarFile(barsPath);
        std::printf("%s, version %d\n", module.dllName().c_str(), module.dllVersion());
        std::printf("%zu bars from %s\n", bars.size(), barsPath.c_str());
        replayStudy(module.sessionLevels(), bars);
        replayStudy(module.anchoredVwap(), bars);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "keelmark-replay: %s\n", e.what());
        return 1;
    }
    return 0;
}
