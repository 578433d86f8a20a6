#include "replay_engine/input_setting.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "host/study_input.h"
#include "standin_host/clock_text.h"

namespace keelmark::replay {

namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string lowercase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

template <typename Number>
bool parseWhole(const std::string& text, Number& value) {
    std::string_view t = text;
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
    }
    const char* end = t.data() + t.size();
    const auto result = std::from_chars(t.data(), end, value);
    return !t.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parseDecimal(const std::string& text, double& value) {
    std::string_view t = text;
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
    }
    const char* end = t.data() + t.size();
    const auto result = std::from_chars(t.data(), end, value);
    return !t.empty() && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// #RRGGBB into the host's 0x00BBGGRR word.
bool parseColour(const std::string& text, std::int32_t& colour) {
    if (text.size() != 7 || text[0] != '#') {
        return false;
    }
    std::int32_t channels[3] = {};
    for (int c = 0; c < 3; ++c) {
        const int high = hexDigit(text[1 + 2 * c]);
        const int low = hexDigit(text[2 + 2 * c]);
        if (high < 0 || low < 0) {
            return false;
        }
        channels[c] = high * 16 + low;
    }
    colour = channels[0] | channels[1] << 8 | channels[2] << 16;
    return true;
}

class InputText {
public:
    InputText(StudyInstance& study, std::int32_t slot, const std::string& value)
        : study_(study), slot_(slot), value_(trimmed(value)), raw_(value) {}

    void apply() {
        StudyInput& in = study_.input(slot_);
        switch (in.valueType) {
            case kInputTimeOfDay:
                return setTimeOfDay();
            case kInputYesNo:
                return setYesNo();
            case kInputCustomList:
                return setListChoice();
            case kInputDateTime:
            case kInputDateTimeWithInteger:
                return setDateTime();
            case kInputDate:
                return setDate();
            case kInputColour:
                return setColour();
            case kInputFloat:
                return setFloat(in);
            case kInputInteger:
            case 19:
                return setSigned(in, in.valueType == kInputInteger);
            case kInputDouble:
                return setDouble();
            case 1:
            case 3:
            case 4:
            case 6:
            case 13:
            case 15:
            case 16:
            case 17:
            case 24:
                return setUnsigned();
            default:
                refuse("holds no value that can be set");
        }
    }

private:
    [[noreturn]] void refuse(const std::string& what) const {
        throw InputSettingError("--input: \"" + study_.inputLabel(slot_) + "\" (input " +
                                std::to_string(slot_) + ") " + what + ", not \"" + raw_ + "\"");
    }

    void setTimeOfDay() {
        std::int64_t micros = 0;
        if (!parseClockTime(value_, micros)) {
            refuse("takes a time of day HH:MM or HH:MM:SS");
        }
        study_.setDoubleInput(slot_,
                              static_cast<double>(micros) / static_cast<double>(kMicrosPerDay));
    }

    void setYesNo() {
        const std::string v = lowercase(value_);
        if (v == "yes" || v == "1") {
            study_.setIntInput(slot_, 1);
        } else if (v == "no" || v == "0") {
            study_.setIntInput(slot_, 0);
        } else {
            refuse("takes yes, no, 1 or 0");
        }
    }

    void setListChoice() {
        const std::vector<std::string> options = optionsOf(study_, slot_);
        for (std::size_t i = 0; i < options.size(); ++i) {
            if (options[i] == value_) {
                study_.setIntInput(slot_, static_cast<std::int32_t>(i));
                return;
            }
        }
        std::int32_t index = 0;
        const bool fits = allDigits(value_) && parseWhole(value_, index) &&
                          (options.empty() || index < static_cast<std::int32_t>(options.size()));
        if (!fits) {
            std::string choices;
            for (std::size_t i = 0; i < options.size(); ++i) {
                choices += (i == 0 ? "" : ", ") + std::to_string(i) + " \"" + options[i] + "\"";
            }
            refuse("takes one of its options by index or exact text (" + choices + ")");
        }
        study_.setIntInput(slot_, index);
    }

    void setDateTime() {
        ChartDateTime t = 0;
        if (value_.empty()) {
            study_.setDoubleInput(slot_, 0.0);
            return;
        }
        if (!parseDateTime(value_, t)) {
            refuse("takes a date-time YYYY-MM-DD HH:MM[:SS] (or nothing for none)");
        }
        study_.setDoubleInput(slot_, toDays(t));
    }

    void setDate() {
        ChartDateTime t = 0;
        if (!parseDate(value_, t)) {
            refuse("takes a date YYYY-MM-DD");
        }
        study_.setDoubleInput(slot_, toDays(t));
    }

    void setColour() {
        std::int32_t colour = 0;
        if (!parseColour(value_, colour)) {
            refuse("takes a colour #RRGGBB");
        }
        study_.setIntInput(slot_, colour);
    }

    void setFloat(const StudyInput& in) {
        double v = 0;
        const float low = cellFloat(in.minValue), high = cellFloat(in.maxValue);
        const bool limited = low < high;
        if (!parseDecimal(value_, v) || std::fabs(v) > std::numeric_limits<float>::max() ||
            (limited && (v < low || v > high))) {
            refuse(limited ? "takes a number from " + shortText(low) + " to " + shortText(high)
                           : std::string("takes a number"));
        }
        study_.setFloatInput(slot_, static_cast<float>(v));
    }

    void setSigned(const StudyInput& in, bool declaredLimits) {
        std::int32_t v = 0;
        const std::int32_t low = cellInt(in.minValue), high = cellInt(in.maxValue);
        const bool limited = declaredLimits && low < high;
        if (!parseWhole(value_, v) || (limited && (v < low || v > high))) {
            refuse(limited ? "takes a whole number from " + std::to_string(low) + " to " +
                                 std::to_string(high)
                           : std::string("takes a whole number"));
        }
        study_.setIntInput(slot_, v);
    }

    void setUnsigned() {
        std::uint32_t v = 0;
        if (!allDigits(value_) || !parseWhole(value_, v)) {
            refuse("takes a whole number from 0");
        }
        study_.setIntInput(slot_, static_cast<std::int32_t>(v));
    }

    void setDouble() {
        double v = 0;
        if (!parseDecimal(value_, v)) {
            refuse("takes a number");
        }
        study_.setDoubleInput(slot_, v);
    }

    static std::string shortText(float v) {
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, v);
        return std::string(text, result.ptr);
    }

    StudyInstance& study_;
    std::int32_t slot_;
    std::string value_;
    std::string raw_;
};

}  // namespace

std::vector<std::string> optionsOf(const StudyInstance& study, std::int32_t slot) {
    const std::string* const found = study.findOptionList(slot);
    if (found == nullptr) {
        return {};
    }
    const std::string& list = *found;
    std::vector<std::string> options;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = list.find(';', start);
        options.push_back(list.substr(start, end - start));
        if (end == std::string::npos) {
            return options;
        }
        start = end + 1;
    }
}

AddressedInput addressInput(const StudyInstance& study, const std::string& setting) {
    AddressedInput found;
    std::size_t longest = 0;
    for (std::int32_t slot = 0; slot < study.declaredInputCount(); ++slot) {
        const std::string label = study.inputLabel(slot);
        if (!label.empty() && label.size() > longest && setting.size() > label.size() &&
            setting.compare(0, label.size(), label) == 0 && setting[label.size()] == '=') {
            found = AddressedInput{slot, setting.substr(label.size() + 1)};
            longest = label.size();
        }
    }
    if (found.slot >= 0) {
        return found;
    }
    const std::size_t equals = setting.find('=');
    if (equals == std::string::npos) {
        throw InputSettingError("--input \"" + setting + "\": expected SLOT=VALUE");
    }
    const std::string key = setting.substr(0, equals);
    std::int32_t slot = -1;
    if (allDigits(key) && parseWhole(key, slot) && slot < study.declaredInputCount()) {
        return AddressedInput{slot, setting.substr(equals + 1)};
    }
    throw InputSettingError("--input \"" + setting + "\": " + study.studyName() +
                            " has no input with the slot number or label \"" + key + "\"");
}

void setInputFromText(StudyInstance& study, std::int32_t slot, const std::string& value) {
    InputText(study, slot, value).apply();
}

void applyInputSettings(StudyInstance& study, const std::vector<std::string>& settings) {
    for (const std::string& setting : settings) {
        const AddressedInput addressed = addressInput(study, setting);
        setInputFromText(study, addressed.slot, addressed.value);
    }
}

}  // namespace keelmark::replay
