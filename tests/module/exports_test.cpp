// The module as the host meets it: loaded at run time, its exports found by
// name, each study function driven through the call protocol.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "standin_host/chart_host.h"
#include "tests/support/live_feed.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

#if !defined(_WIN32)
#include "host/process_heap_standin.h"
#endif

namespace keelmark {
namespace {

using replay::StudyInstance;
using test::testModule;

struct StudyCase {
    const char* displayName;
    StudyFunction (replay::ModuleLibrary::*function)() const;
    std::int32_t outputs;
    std::int32_t inputs;
};

const StudyCase kSessionLevels{"Keelmark Session Levels", &replay::ModuleLibrary::sessionLevels, 25,
                               29};
const StudyCase kAnchoredVwap{"Keelmark Anchored VWAP", &replay::ModuleLibrary::anchoredVwap, 40,
                              14};

StudyFunction studyOf(const StudyCase& study) { return (testModule().*study.function)(); }

class EachStudy : public ::testing::TestWithParam<StudyCase> {};

INSTANTIATE_TEST_SUITE_P(Module, EachStudy, ::testing::Values(kSessionLevels, kAnchoredVwap),
                         [](const auto& info) {
                             return info.param.outputs == 25 ? std::string("SessionLevels")
                                                             : std::string("AnchoredVwap");
                         });

TEST(ModuleExports, NameAndVersionAreTheModulesOwn) {
    EXPECT_EQ(testModule().dllName(), "Keelmark Session Levels");
    EXPECT_EQ(testModule().dllVersion(), 2927);
}

TEST_P(EachStudy, DefaultsPassDeclaresTheStudyWithoutTouchingPersistentStorage) {
    StudyInstance study(studyOf(GetParam()));
    study.defaultsPass();

    EXPECT_EQ(study.studyName(), GetParam().displayName);
    EXPECT_EQ(study.record().studyName.isSet, 1);
    EXPECT_FALSE(study.studyDescription().empty());
    EXPECT_EQ(study.record().studyDescription.isSet, 1);
    EXPECT_EQ(study.record().hostSettingC, 0);
    EXPECT_EQ(study.record().chartRegion, 0);
    EXPECT_EQ(study.record().hostSettingB, 40);
    EXPECT_EQ(study.record().hostSettingA, 3);
    EXPECT_EQ(study.declaredOutputCount(), GetParam().outputs);
    EXPECT_EQ(study.declaredInputCount(), GetParam().inputs);
    EXPECT_EQ(study.counts().persistentAccesses, 0);
    EXPECT_TRUE(study.log().empty());
}

TEST_P(EachStudy, StateObjectLivesFromTheFirstUpdateToTheFinalCall) {
    StudyInstance study(studyOf(GetParam()));
    study.defaultsPass();
    study.setBars(test::loadSampleBars("NQ_30min_sample.csv"));
    EXPECT_EQ(study.persistentPointer(1), nullptr);

    study.fullRecalculation();
    void* const state = study.persistentPointer(1);
    ASSERT_NE(state, nullptr);
    study.updateFormingBar();
    EXPECT_EQ(study.persistentPointer(1), state) << "the state object is made once";

    study.finalCall();
    EXPECT_EQ(study.persistentPointer(1), nullptr);
}

TEST_P(EachStudy, FinalCallOnAnEmptySlotOnlyRemovesDrawings) {
    StudyInstance study(studyOf(GetParam()), 7);
    study.defaultsPass();
    study.finalCall();
    study.finalCall();

    EXPECT_EQ(study.persistentPointer(1), nullptr);
    EXPECT_TRUE(study.drawings().empty());
    std::set<std::int32_t> expected;
    if (GetParam().outputs == kSessionLevels.outputs) {
        expected = {7 + 74'200'000};
    } else {
        for (std::int32_t slot = 0; slot < 8; ++slot) {
            expected.insert((7 + 4'643'750) * 16 + slot);
        }
    }
    const std::vector<std::int32_t>& deleted = study.deletedDrawingNumbers();
    EXPECT_EQ(std::set<std::int32_t>(deleted.begin(), deleted.end()), expected);
}

TEST_P(EachStudy, NullRecordIsIgnored) {
    studyOf(GetParam())(nullptr);
    SUCCEED();
}

#if !defined(_WIN32)
// Every text and state object that crossed between host and module is freed
// by the side that owns it at the end of an instance's life.
TEST_P(EachStudy, WholeLifeLeavesNoProcessHeapBlockBehind) {
    const std::vector<replay::Bar> bars = test::loadSampleBars("NQ_30min_sample.csv");
    const std::int64_t liveBefore = keelmarkProcessHeapLiveBlocks();
    {
        StudyInstance study(studyOf(GetParam()));
        study.defaultsPass();
        test::feedLive(study, bars, static_cast<std::int32_t>(bars.size()) - 40);
        study.finalCall();
    }
    EXPECT_EQ(keelmarkProcessHeapLiveBlocks(), liveBefore);
}

// Output of a shell command, or an empty text when it cannot be run.
std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            output.append(buffer, n);
        }
        pclose(pipe);
    }
    return output;
}

TEST(ModuleExports, ModuleExportsExactlyTheFourFunctions) {
    const std::string listing = commandOutput("nm -D --defined-only --format=posix '" +
                                              testModule().path() + "' 2>/dev/null");
    if (listing.empty()) {
        GTEST_SKIP() << "nm is not available";
    }
    std::set<std::string> names;
    std::istringstream lines(listing);
    std::string name, rest;
    while (lines >> name && std::getline(lines, rest)) {
        names.insert(name);
    }
    EXPECT_EQ(names,
              (std::set<std::string>{"scdll_DLLName", "scdll_DLLVersion",
                                     "scsf_KeelmarkAnchoredVWAP", "scsf_KeelmarkSessionLevels"}));
}

// Symbols the C and C++ runtimes (and the sanitizers) place in a shared
// library's writable sections; anything else would be the module's own.
bool isRuntimeSymbol(const std::string& name) {
    static const std::set<std::string> kRuntime = {"completed.0", "__dso_handle", "__TMC_END__",
                                                   "_edata",      "_end",         "__bss_start"};
    return kRuntime.count(name) != 0 || name.starts_with("__") || name.starts_with(".") ||
           name.starts_with("DW.ref.");
}

TEST(ModuleExports, ModuleKeepsNoWritableDataOfItsOwn) {
    const std::string table = commandOutput("objdump -t '" + testModule().path() + "' 2>/dev/null");
    if (table.empty()) {
        GTEST_SKIP() << "objdump is not available";
    }
    std::vector<std::string> own;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;) {
            f.push_back(w);
        }
        const auto section = std::find_if(f.begin(), f.end(),
                                          [](const std::string& w) { return w.starts_with("."); });
        if (section == f.end() || f.size() < 2) {
            continue;
        }
        const bool writable = *section == ".data" || *section == ".bss" || *section == ".tbss" ||
                              *section == ".tdata";
        const std::string& symbol = f.back();
        if (writable && *section != symbol && !isRuntimeSymbol(symbol)) {
            own.push_back(*section + " " + symbol);
        }
    }
    EXPECT_TRUE(own.empty()) << ::testing::PrintToString(own);
}
#endif

}  // namespace
}  // namespace keelmark
