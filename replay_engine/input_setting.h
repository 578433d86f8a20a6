// Study inputs set from the command line, `SLOT=VALUE`, as a user would set
// them in the host's study settings before the first update.
//
// SLOT is the input's slot number or its exact label (labels may hold '=').
// VALUE by the input's declared type:
//   time of day  HH:MM[:SS]
//   yes/no       yes, no, 1 or 0
//   option list  the option's index or its exact text
//   date-time    YYYY-MM-DD HH:MM[:SS], or nothing for an empty date-time
//   date         YYYY-MM-DD
//   colour       #RRGGBB
//   otherwise    a number, within the declared limits of integer and
//                decimal inputs
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"

namespace keelmark::replay {

class InputSettingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The declared slot that `setting` addresses, and its value text. Throws
// InputSettingError when no declared input matches.
struct AddressedInput {
    std::int32_t slot = -1;
    std::string value;
};
AddressedInput addressInput(const StudyInstance& study, const std::string& setting);

// Sets the input's value from text, keeping its declared type. Throws
// InputSettingError naming the input when the text does not fit.
void setInputFromText(StudyInstance& study, std::int32_t slot, const std::string& value);

// Every setting in the order given.
void applyInputSettings(StudyInstance& study, const std::vector<std::string>& settings);

// The option texts of a list input (empty when the study handed none).
std::vector<std::string> optionsOf(const StudyInstance& study, std::int32_t slot);

}  // namespace keelmark::replay
