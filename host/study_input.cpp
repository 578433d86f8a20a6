// Input declaration and the typed getters with the host's coercions between
// value types.
#include "host/study_input.h"

#include <cmath>
#include <cstring>

namespace keelmark {

namespace {

bool isDayCountType(std::uint8_t t) {
    return t == kInputDate || t == kInputTimeOfDay || t == kInputDateTime ||
           t == kInputDateTimeWithInteger;
}

bool isUnsignedIntType(std::uint8_t t) {
    switch (t) {
        case 1: case 3: case 4: case 6: case 13: case 15: case 16: case 17: case 22: case 24:
            return true;
        default:
            return false;
    }
}

bool isSignedIntType(std::uint8_t t) { return t == kInputInteger || t == 19; }

void clearCell(InputValueCell& c) { std::memset(c.bytes, 0, sizeof c.bytes); }

void declareLabel(StudyInput& in, const char* label) {
    assign(in.name, label);
    in.name.isSet = 1;
}

}  // namespace

std::int32_t roundHalfAwayFromZero(double x) {
    const double r = x < 0 ? x - 0.5 : x + 0.5;
    // Outside the int32 range (and NaN) there is no integer to give.
    if (!(r > -2147483649.0 && r < 2147483648.0)) {
        return 0;
    }
    return static_cast<std::int32_t>(r);
}

void declareInput(StudyInput& in, const char* label, std::uint8_t type) {
    declareLabel(in, label);
    in.valueType = type;
    clearCell(in.value);
}

void declareFloatInput(StudyInput& in, const char* label, float value, float minValue,
                       float maxValue) {
    declareLabel(in, label);
    in.valueType = kInputFloat;
    setCellFloat(in.value, value);
    setCellFloat(in.minValue, minValue);
    setCellFloat(in.maxValue, maxValue);
}

void declareYesNoInput(StudyInput& in, const char* label, bool value) {
    declareLabel(in, label);
    in.valueType = kInputYesNo;
    setCellInt(in.value, value ? 1 : 0);
}

void declareTimeOfDayInput(StudyInput& in, const char* label, double dayFraction) {
    declareLabel(in, label);
    in.valueType = kInputTimeOfDay;
    setCellDouble(in.value, dayFraction);
}

void declareDateTimeInput(StudyInput& in, const char* label, double days) {
    declareLabel(in, label);
    in.valueType = kInputDateTime;
    clearCell(in.value);
    setCellDouble(in.value, days);
}

void declareIntegerInput(StudyInput& in, const char* label, std::int32_t value,
                         std::int32_t minValue, std::int32_t maxValue) {
    declareLabel(in, label);
    in.valueType = kInputInteger;
    setCellInt(in.value, value);
    setCellInt(in.minValue, minValue);
    setCellInt(in.maxValue, maxValue);
}

void declareColourInput(StudyInput& in, const char* label, std::uint32_t colour) {
    declareLabel(in, label);
    in.valueType = kInputColour;
    setCellInt(in.value, static_cast<std::int32_t>(colour));
}

void declareListInput(StudyInput& in, const char* label, const char* options, std::int32_t index) {
    declareLabel(in, label);
    if (in.setOptionList != nullptr) {
        in.setOptionList(in.optionListToken, options);
    }
    in.valueType = kInputCustomList;
    setCellInt(in.value, index);
}

void writeDateTimeValue(StudyInput& in, ChartDateTime value) {
    in.valueType = kInputDateTime;
    setCellDouble(in.value, value == 0 ? 0.0 : toDays(value));
}

std::int32_t intValue(const StudyInput& in) {
    const std::uint8_t t = in.valueType;
    if (t == kInputFloat) return roundHalfAwayFromZero(cellFloat(in.value));
    if (t == kInputYesNo) return cellInt(in.value) != 0 ? 1 : 0;
    if (isUnsignedIntType(t) || isSignedIntType(t) || t == kInputColour) return cellInt(in.value);
    if (t == kInputDate) return static_cast<std::int32_t>(dayNumber(fromDays(cellDouble(in.value))));
    if (t == kInputTimeOfDay || t == kInputDateTimeWithInteger) {
        return secondsOfDay(fromDays(cellDouble(in.value)));
    }
    if (t == kInputDouble) return roundHalfAwayFromZero(cellDouble(in.value));
    return 0;
}

std::int32_t indexValue(const StudyInput& in) {
    const std::uint8_t t = in.valueType;
    if (t == kInputFloat) return roundHalfAwayFromZero(cellFloat(in.value));
    if (t == kInputYesNo) return cellInt(in.value) != 0 ? 1 : 0;
    if (isUnsignedIntType(t) || isSignedIntType(t) || t == kInputColour) return cellInt(in.value);
    if (t == kInputDateTimeWithInteger) return cellSecondInt(in.value);
    if (t == kInputDouble) return roundHalfAwayFromZero(cellDouble(in.value));
    return 0;
}

float floatValue(const StudyInput& in) {
    const std::uint8_t t = in.valueType;
    if (t == kInputFloat) return cellFloat(in.value);
    if (t == kInputYesNo) return cellInt(in.value) != 0 ? 1.0f : 0.0f;
    if (isUnsignedIntType(t)) return static_cast<float>(cellUnsigned(in.value));
    if (isSignedIntType(t)) return static_cast<float>(cellInt(in.value));
    if (t == kInputDouble) return static_cast<float>(cellDouble(in.value));
    return 0.0f;
}

std::int32_t boolValue(const StudyInput& in) {
    const std::uint8_t t = in.valueType;
    if (t == kInputFloat) return cellFloat(in.value) != 0.0f ? 1 : 0;
    if (t == kInputYesNo || isUnsignedIntType(t) || isSignedIntType(t) || t == kInputColour) {
        return cellInt(in.value) != 0 ? 1 : 0;
    }
    if (isDayCountType(t) || t == kInputDouble) return cellDouble(in.value) != 0.0 ? 1 : 0;
    return 0;
}

std::int32_t timeOfDaySeconds(const StudyInput& in) {
    if (isDayCountType(in.valueType)) {
        return secondsOfDay(fromDays(cellDouble(in.value)));
    }
    return 0;
}

ChartDateTime dateTimeValue(const StudyInput& in) {
    if (isDayCountType(in.valueType)) {
        return fromDays(cellDouble(in.value));
    }
    return 0;
}

}  // namespace keelmark
