// StudyInput: one typed input slot of a study, as the host stores it, with
// the declaration helpers used on the defaults pass and the six typed getters
// with the host's coercions between value types.
#pragma once

#include <cstdint>
#include <cstring>

#include "host/chart_date_time.h"
#include "host/host_string.h"

namespace keelmark {

// Value type codes that the studies declare.
enum InputType : std::uint8_t {
    kInputFloat = 2,
    kInputYesNo = 5,
    kInputDate = 8,
    kInputTimeOfDay = 9,
    kInputDateTime = 10,
    kInputInteger = 11,
    kInputColour = 14,
    kInputCustomList = 22,
    kInputDouble = 23,
    kInputDateTimeWithInteger = 25,
};

// A 16-byte value cell: an int32, a float, a colour or a double at byte 0;
// for code 25 a second int32 at byte 8. Read and written with memcpy, since a
// double sits at byte 0 whatever the cell's alignment.
struct InputValueCell {
    unsigned char bytes[16];
};

using SetOptionList = void (*)(std::int32_t optionListToken, const char* options);

struct StudyInput {
    HostString name;
    std::uint8_t valueType;
    std::uint8_t hostField[3];
    InputValueCell value;
    InputValueCell minValue;
    InputValueCell maxValue;
    std::int32_t optionListToken;
    SetOptionList setOptionList;
};

// Raw cell access.
inline std::int32_t cellInt(const InputValueCell& c) {
    std::int32_t v;
    std::memcpy(&v, c.bytes, sizeof v);
    return v;
}
inline std::uint32_t cellUnsigned(const InputValueCell& c) {
    std::uint32_t v;
    std::memcpy(&v, c.bytes, sizeof v);
    return v;
}
inline float cellFloat(const InputValueCell& c) {
    float v;
    std::memcpy(&v, c.bytes, sizeof v);
    return v;
}
inline double cellDouble(const InputValueCell& c) {
    double v;
    std::memcpy(&v, c.bytes, sizeof v);
    return v;
}
inline std::int32_t cellSecondInt(const InputValueCell& c) {
    std::int32_t v;
    std::memcpy(&v, c.bytes + 8, sizeof v);
    return v;
}
inline void setCellInt(InputValueCell& c, std::int32_t v) { std::memcpy(c.bytes, &v, sizeof v); }
inline void setCellFloat(InputValueCell& c, float v) { std::memcpy(c.bytes, &v, sizeof v); }
inline void setCellDouble(InputValueCell& c, double v) { std::memcpy(c.bytes, &v, sizeof v); }

// Declaration on the defaults pass, field by field in the host's order:
// label (marked set), option list, type, default, limits.
void declareInput(StudyInput& in, const char* label, std::uint8_t type);
void declareFloatInput(StudyInput& in, const char* label, float value, float minValue,
                       float maxValue);
void declareYesNoInput(StudyInput& in, const char* label, bool value);
void declareTimeOfDayInput(StudyInput& in, const char* label, double dayFraction);
void declareDateTimeInput(StudyInput& in, const char* label, double days);
void declareIntegerInput(StudyInput& in, const char* label, std::int32_t value,
                         std::int32_t minValue, std::int32_t maxValue);
void declareColourInput(StudyInput& in, const char* label, std::uint32_t colour);
// `options` separated by ';'; handed to setOptionList when the host gave one.
void declareListInput(StudyInput& in, const char* label, const char* options, std::int32_t index);

// Run-time write of a date-time (type 10); 0 clears it.
void writeDateTimeValue(StudyInput& in, ChartDateTime value);

// Half away from zero: below zero subtract 0.5, otherwise add 0.5, truncate.
// NaN and values beyond the int32 range give 0.
std::int32_t roundHalfAwayFromZero(double x);

std::int32_t intValue(const StudyInput& in);
std::int32_t indexValue(const StudyInput& in);
float floatValue(const StudyInput& in);
std::int32_t boolValue(const StudyInput& in);
std::int32_t timeOfDaySeconds(const StudyInput& in);
ChartDateTime dateTimeValue(const StudyInput& in);

}  // namespace keelmark
