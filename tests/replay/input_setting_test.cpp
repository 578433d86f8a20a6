// Study inputs set from text, addressed by slot number or by label, on the
// inputs the studies really declare.
#include "replay_engine/input_setting.h"

#include <gtest/gtest.h>

#include "host/study_input.h"
#include "tests/support/module_fixture.h"

namespace keelmark {
namespace {

using replay::StudyInstance;

class DeclaredInputs : public ::testing::Test {
protected:
    void SetUp() override {
        sessionLevels.defaultsPass();
        anchoredVwap.defaultsPass();
    }

    std::string refusal(StudyInstance& study, const std::string& setting) {
        try {
            replay::applyInputSettings(study, {setting});
        } catch (const replay::InputSettingError& e) {
            return e.what();
        }
        return "(accepted)";
    }

    StudyInstance sessionLevels{test::testModule().sessionLevels()};
    StudyInstance anchoredVwap{test::testModule().anchoredVwap()};
};

TEST_F(DeclaredInputs, EveryKindOfValueBySlotOrByLabel) {
    replay::applyInputSettings(
        sessionLevels, {"3=30", "RTH Start Time (chart time zone)=08:15", "1=15:59:30",
                        "Sessions to Show (0 = all)=0", "IB Extension 1 (x IB range, 0 = off)=0.75",
                        "Prior Day High/Low From=Overnight + RTH", "25=3", "Show Session Panel=no",
                        "Show OR Extensions=1", "Panel Text Color=#FF8000"});
    EXPECT_EQ(intValue(sessionLevels.input(3)), 30);
    EXPECT_EQ(timeOfDaySeconds(sessionLevels.input(0)), 8 * 3600 + 15 * 60);
    EXPECT_EQ(timeOfDaySeconds(sessionLevels.input(1)), 15 * 3600 + 59 * 60 + 30);
    EXPECT_EQ(intValue(sessionLevels.input(20)), 0);
    EXPECT_EQ(floatValue(sessionLevels.input(5)), 0.75f);
    EXPECT_EQ(indexValue(sessionLevels.input(11)), 1);
    EXPECT_EQ(indexValue(sessionLevels.input(25)), 3);
    EXPECT_EQ(boolValue(sessionLevels.input(23)), 0);
    EXPECT_EQ(boolValue(sessionLevels.input(15)), 1);
    EXPECT_EQ(intValue(sessionLevels.input(27)), 0x0080FF);
    // The declared types stay as they were.
    EXPECT_EQ(sessionLevels.input(0).valueType, kInputTimeOfDay);
    EXPECT_EQ(sessionLevels.input(5).valueType, kInputFloat);

    replay::applyInputSettings(anchoredVwap,
                               {"0=2023-11-20 09:30",
                                "Anchor 2 Date-Time (empty = "
                                "off; set by the right-click menu)=2023-11-21 10:00:30",
                                "Price=2", "0="});
    EXPECT_EQ(dateTimeValue(anchoredVwap.input(0)), 0);
    EXPECT_EQ(dateTimeValue(anchoredVwap.input(1)),
              fromDays(45251.0) + 10 * kMicrosPerHour + 30 * kMicrosPerSecond);
    EXPECT_EQ(indexValue(anchoredVwap.input(8)), 2);
}

TEST_F(DeclaredInputs, ValuesThatDoNotFitAreRefusedNamingTheInput) {
    EXPECT_EQ(refusal(sessionLevels, "Opening Range Minutes=abc"),
              "--input: \"Opening Range Minutes\" (input 3) takes a whole number from 1 to 600, "
              "not \"abc\"");
    EXPECT_EQ(refusal(sessionLevels, "3=601"),
              "--input: \"Opening Range Minutes\" (input 3) takes a whole number from 1 to 600, "
              "not \"601\"");
    EXPECT_EQ(refusal(sessionLevels, "0=9:75"),
              "--input: \"RTH Start Time (chart time zone)\" (input 0) takes a time of day HH:MM "
              "or HH:MM:SS, not \"9:75\"");
    EXPECT_EQ(refusal(sessionLevels, "12=maybe"),
              "--input: \"Show Opening Range\" (input 12) takes yes, no, 1 or 0, not \"maybe\"");
    EXPECT_EQ(refusal(sessionLevels, "11=2"),
              "--input: \"Prior Day High/Low From\" (input 11) takes one of its options by index "
              "or exact text (0 \"RTH session only\", 1 \"Overnight + RTH\"), not \"2\"");
    EXPECT_EQ(refusal(sessionLevels, "27=red"),
              "--input: \"Panel Text Color\" (input 27) takes a colour #RRGGBB, not \"red\"");
    EXPECT_EQ(refusal(sessionLevels, "5=20.5"),
              "--input: \"IB Extension 1 (x IB range, 0 = off)\" (input 5) takes a number from 0 "
              "to 20, not \"20.5\"");
    EXPECT_EQ(
        refusal(anchoredVwap, "0=2023-11-20"),
        "--input: \"Anchor 1 Date-Time (empty = off; set by the right-click menu)\" (input 0) "
        "takes a date-time YYYY-MM-DD HH:MM[:SS] (or nothing for none), not \"2023-11-20\"");
    EXPECT_EQ(refusal(sessionLevels, "29=1"),
              "--input \"29=1\": Keelmark Session Levels has no input with the slot number or "
              "label \"29\"");
    EXPECT_EQ(refusal(sessionLevels, "Opening Range=15"),
              "--input \"Opening Range=15\": Keelmark Session Levels has no input with the slot "
              "number or label \"Opening Range\"");
    EXPECT_EQ(refusal(sessionLevels, "15"), "--input \"15\": expected SLOT=VALUE");
}

}  // namespace
}  // namespace keelmark
