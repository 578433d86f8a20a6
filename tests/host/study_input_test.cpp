#include "host/study_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace keelmark {
namespace {

StudyInput withType(std::uint8_t type) {
    StudyInput in;
    std::memset(&in, 0, sizeof in);
    in.name = makeHostString();
    in.valueType = type;
    return in;
}

StudyInput floatInput(float v) {
    StudyInput in = withType(kInputFloat);
    setCellFloat(in.value, v);
    return in;
}

StudyInput doubleInput(std::uint8_t type, double v) {
    StudyInput in = withType(type);
    setCellDouble(in.value, v);
    return in;
}

StudyInput intInput(std::uint8_t type, std::int32_t v) {
    StudyInput in = withType(type);
    setCellInt(in.value, v);
    return in;
}

TEST(StudyInputGetters, DecimalInputsRoundHalfAwayFromZero) {
    EXPECT_EQ(intValue(floatInput(-2.5f)), -3);
    EXPECT_EQ(intValue(floatInput(2.5f)), 3);
    EXPECT_EQ(intValue(floatInput(2.49f)), 2);
    EXPECT_EQ(intValue(floatInput(-0.4f)), 0);
    EXPECT_EQ(indexValue(floatInput(1.5f)), 2);
    EXPECT_EQ(intValue(doubleInput(kInputDouble, -7.5)), -8);
    // No integer for NaN or values beyond the 32-bit range.
    EXPECT_EQ(intValue(floatInput(std::nanf(""))), 0);
    EXPECT_EQ(intValue(floatInput(3e9f)), 0);
    EXPECT_EQ(boolValue(floatInput(std::nanf(""))), 1);
    EXPECT_EQ(boolValue(floatInput(0.0f)), 0);
    EXPECT_FLOAT_EQ(floatValue(floatInput(0.75f)), 0.75f);
}

TEST(StudyInputGetters, TimeAndDateInputsReadThroughTheDayCount) {
    const StudyInput open = doubleInput(kInputTimeOfDay, 0.3958333333333333);
    EXPECT_EQ(intValue(open), 34'200);
    EXPECT_EQ(timeOfDaySeconds(open), 34'200);
    EXPECT_EQ(indexValue(open), 0);
    EXPECT_EQ(floatValue(open), 0.0f);

    const StudyInput anchor = doubleInput(kInputDateTime, 45'250.5);
    EXPECT_EQ(intValue(anchor), 0);
    EXPECT_EQ(dateTimeValue(anchor), 45'250 * kMicrosPerDay + kMicrosPerDay / 2);
    EXPECT_EQ(timeOfDaySeconds(anchor), 43'200);
    EXPECT_EQ(boolValue(anchor), 1);
    EXPECT_EQ(dateTimeValue(doubleInput(kInputDateTime, 0.0)), 0);
    EXPECT_EQ(boolValue(doubleInput(kInputDateTime, 0.0)), 0);

    EXPECT_EQ(intValue(doubleInput(kInputDate, 45'250.75)), 45'250);
    StudyInput withSecond = doubleInput(kInputDateTimeWithInteger, 0.5);
    std::int32_t seven = 7;
    std::memcpy(withSecond.value.bytes + 8, &seven, 4);
    EXPECT_EQ(intValue(withSecond), 43'200);
    EXPECT_EQ(indexValue(withSecond), 7);
    // A plain double is not a date-time.
    EXPECT_EQ(dateTimeValue(doubleInput(kInputDouble, 45'250.0)), 0);
    EXPECT_EQ(timeOfDaySeconds(doubleInput(kInputDouble, 0.5)), 0);
}

TEST(StudyInputGetters, IntegerColourAndListCodes) {
    EXPECT_EQ(floatValue(intInput(kInputColour, 0xE6E6E6)), 0.0f);
    EXPECT_EQ(intValue(intInput(kInputColour, 0xE6E6E6)), 0xE6E6E6);
    EXPECT_EQ(floatValue(intInput(kInputCustomList, 3)), 3.0f);
    EXPECT_EQ(indexValue(intInput(kInputCustomList, 3)), 3);
    // Unsigned codes convert as unsigned, signed ones as signed.
    EXPECT_EQ(floatValue(intInput(kInputCustomList, -1)), 4294967295.0f);
    EXPECT_EQ(floatValue(intInput(kInputInteger, -1)), -1.0f);
    EXPECT_EQ(floatValue(intInput(19, -2)), -2.0f);
    EXPECT_EQ(intValue(intInput(kInputYesNo, 5)), 1);
    EXPECT_EQ(floatValue(intInput(kInputYesNo, 5)), 1.0f);
    EXPECT_EQ(boolValue(intInput(kInputInteger, 0)), 0);
    EXPECT_EQ(timeOfDaySeconds(intInput(kInputInteger, 34'200)), 0);
}

TEST(StudyInputGetters, CodesWithoutAValueReadAsZero) {
    for (int code : {0, 7, 12, 18, 20, 21, 26, 27, 200, 255}) {
        StudyInput in = intInput(static_cast<std::uint8_t>(code), 12345);
        setCellDouble(in.value, 0.5);
        EXPECT_EQ(intValue(in), 0) << code;
        EXPECT_EQ(indexValue(in), 0) << code;
        EXPECT_EQ(floatValue(in), 0.0f) << code;
        EXPECT_EQ(boolValue(in), 0) << code;
        EXPECT_EQ(timeOfDaySeconds(in), 0) << code;
        EXPECT_EQ(dateTimeValue(in), 0) << code;
    }
}

TEST(StudyInputDeclaration, WritesLabelTypeDefaultAndLimits) {
    StudyInput in = withType(0);
    declareIntegerInput(in, "Opening Range Minutes", 15, 1, 600);
    EXPECT_STREQ(in.name.text, "Opening Range Minutes");
    EXPECT_EQ(in.name.isSet, 1);
    EXPECT_EQ(in.valueType, kInputInteger);
    EXPECT_EQ(cellInt(in.value), 15);
    EXPECT_EQ(cellInt(in.minValue), 1);
    EXPECT_EQ(cellInt(in.maxValue), 600);
    release(in.name);

    StudyInput list = withType(0);
    declareListInput(list, "Price", "A;B", 1);  // no setOptionList: skipped
    EXPECT_EQ(list.valueType, kInputCustomList);
    EXPECT_EQ(indexValue(list), 1);
    release(list.name);

    StudyInput anchor = withType(kInputInteger);
    writeDateTimeValue(anchor, 45'250 * kMicrosPerDay);
    EXPECT_EQ(anchor.valueType, kInputDateTime);
    EXPECT_EQ(cellDouble(anchor.value), 45'250.0);
    writeDateTimeValue(anchor, 0);
    EXPECT_EQ(cellDouble(anchor.value), 0.0);
}

}  // namespace
}  // namespace keelmark
