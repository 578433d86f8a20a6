#include "stats/study_levels.h"

#include <stdexcept>

#include "host/study_input.h"
#include "replay_engine/input_setting.h"

namespace keelmark::stats {

namespace {

using replay::StudyInstance;

// Input slots of the study (a stored-data contract: slots never move).
constexpr std::int32_t kRthStartSlot = 0;
constexpr std::int32_t kOpeningRangeMinutesSlot = 3;
constexpr std::int32_t kInitialBalanceMinutesSlot = 4;
constexpr std::int32_t kAverageSessionsSlot = 24;

std::span<const float> outputNamed(const StudyInstance& study, const char* name) {
    for (std::int32_t slot = 0; slot < study.declaredOutputCount(); ++slot) {
        if (study.outputName(slot) == name) {
            return study.values(slot);
        }
    }
    throw std::runtime_error(study.studyName() + " has no output \"" + name + "\"");
}

PlottedLevels plottedLevels(const StudyInstance& study) {
    if (study.declaredOutputCount() == 0) {
        throw std::runtime_error(study.studyName() + " declared no outputs");
    }
    PlottedLevels p;
    p.sessionNumber = study.extraValues(0, 0);
    p.orHigh = outputNamed(study, "ORH");
    p.orLow = outputNamed(study, "ORL");
    p.ibHigh = outputNamed(study, "IBH");
    p.ibLow = outputNamed(study, "IBL");
    p.priorHigh = outputNamed(study, "PDH");
    p.priorLow = outputNamed(study, "PDL");
    p.priorClose = outputNamed(study, "PDC");
    p.overnightHigh = outputNamed(study, "ONH");
    p.overnightLow = outputNamed(study, "ONL");
    p.rthOpen = outputNamed(study, "RTH Open");
    const std::size_t bars = study.bars().size();
    for (const std::span<const float> values :
         {p.sessionNumber, p.orHigh, p.orLow, p.ibHigh, p.ibLow, p.priorHigh, p.priorLow,
          p.priorClose, p.overnightHigh, p.overnightLow, p.rthOpen}) {
        if (values.size() < bars) {
            throw std::runtime_error(study.studyName() + " left outputs shorter than the chart");
        }
    }
    return p;
}

SessionSettings sessionSettings(const StudyInstance& study) {
    SessionSettings s;
    s.rthStartSeconds = timeOfDaySeconds(study.input(kRthStartSlot));
    s.openingRangeMinutes = intValue(study.input(kOpeningRangeMinutesSlot));
    s.initialBalanceMinutes = intValue(study.input(kInitialBalanceMinutesSlot));
    s.averageSessions = intValue(study.input(kAverageSessionsSlot));
    return s;
}

}  // namespace

std::vector<std::string> forcedInputSettings() {
    return {
        "12=yes",  // Show Opening Range
        "13=yes",  // Show Initial Balance
        "14=yes",  // Show IB Extensions
        "15=yes",  // Show OR Extensions
        "16=yes",  // Show Prior Day High/Low/Close
        "17=yes",  // Show Overnight High/Low
        "18=yes",  // Show RTH Open
        "19=yes",  // Draw OR / IB / Overnight While Still Forming
        "20=0",    // Sessions to Show: all
        "22=yes",  // Show Level Names and Values at the Right
        "23=yes",  // Show Session Panel
    };
}

void checkInputSettings(const replay::ModuleLibrary& module,
                        const std::vector<std::string>& inputs) {
    StudyInstance study(module.sessionLevels());
    study.defaultsPass();
    replay::applyInputSettings(study, inputs);
    study.finalCall();
}

MeasuredSessions measureSessions(const replay::ModuleLibrary& module, replay::LoadedChart chart,
                                 const std::vector<std::string>& inputs,
                                 const std::vector<LadderStep>& ladder, std::size_t file) {
    StudyInstance study(module.sessionLevels());
    study.setPriceFormat(chart.priceDecimals);
    study.defaultsPass();
    replay::applyInputSettings(study, inputs);
    replay::applyInputSettings(study, forcedInputSettings());
    study.setBarColumns(std::move(chart.bars));
    study.fullRecalculation();
    MeasuredSessions measured;
    measured.settings = sessionSettings(study);
    measured.rows =
        sessionRows(study.bars(), plottedLevels(study), measured.settings, ladder, file);
    study.finalCall();
    return measured;
}

}  // namespace keelmark::stats
