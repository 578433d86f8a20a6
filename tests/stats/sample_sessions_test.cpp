// Every session column that stats writes for the bundled samples, checked
// against the same columns computed again from the bar files' text rows with
// plain filters (tests/stats/reference_sessions.h), under the default
// settings and under other session times, windows and prior-day source.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "stats/stats_run.h"
#include "tests/stats/reference_sessions.h"
#include "tests/support/module_fixture.h"

namespace keelmark {
namespace {

using stats::SessionTable;

std::string samplePath(const std::string& name) {
    return std::string(KEELMARK_SAMPLE_DIR) + "/" + name;
}

SessionTable measuredTable(const std::vector<std::string>& files,
                           const std::vector<std::string>& inputs = {},
                           const std::string& ladder = stats::kDefaultLadder) {
    stats::StatsRequest request;
    request.barFiles = files;
    request.inputs = inputs;
    request.ladder = stats::parseLadder(ladder);
    return stats::sessionTable(stats::measureFiles(test::testModule(), request).rows, files,
                               request.ladder);
}

// The measured row as column name to cell.
std::map<std::string, std::string> rowOf(const SessionTable& table, std::size_t row) {
    std::map<std::string, std::string> cells;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        cells[table.columns[c].name] = table.rows[row][c];
    }
    return cells;
}

void expectSameAsReference(const SessionTable& table,
                           const std::vector<std::map<std::string, std::string>>& reference) {
    ASSERT_EQ(table.rows.size(), reference.size());
    for (std::size_t row = 0; row < reference.size(); ++row) {
        const auto measured = rowOf(table, row);
        for (const auto& [name, expected] : reference[row]) {
            ASSERT_TRUE(measured.count(name)) << "no column " << name;
            EXPECT_EQ(measured.at(name), expected)
                << "session " << reference[row].at("session") << ", column " << name;
        }
        EXPECT_EQ(measured.size(), reference[row].size() + 1);  // and the file
    }
}

std::size_t rowOfSession(const SessionTable& table, const std::string& date) {
    const std::size_t column = table.column("session");
    for (std::size_t row = 0; row < table.rows.size(); ++row) {
        if (table.rows[row][column] == date) {
            return row;
        }
    }
    ADD_FAILURE() << "no session " << date;
    return 0;
}

TEST(SampleSessions, EveryColumnMatchesTheRawRowsAtDefaultSettings) {
    for (const char* file : {"NQ_1min_sample.csv", "NQ_5min_sample.csv", "NQ_30min_sample.csv"}) {
        SCOPED_TRACE(file);
        expectSameAsReference(measuredTable({samplePath(file)}),
                              test::referenceSessions(samplePath(file), {}));
    }
}

TEST(SampleSessions, EveryColumnMatchesUnderOtherSessionTimesWindowsAndPriorDaySource) {
    test::ReferenceSettings s;
    s.rthStart = 8 * 60 + 30;
    s.rthEnd = 15 * 60 + 15;
    s.overnightStart = 17 * 60;
    s.openingRangeMinutes = 30;
    s.initialBalanceMinutes = 90;
    s.averageSessions = 3;
    s.priorDayIncludesOvernight = true;
    s.ladder = {"0.5", "1", "2.25"};
    expectSameAsReference(
        measuredTable(
            {samplePath("NQ_1min_sample.csv")},
            {"RTH Start Time (chart time zone)=08:30",
             "RTH End Time (a bar starting at this time is not RTH)=15:15",
             "Overnight Start Time=17:00", "Opening Range Minutes=30", "Initial Balance Minutes=90",
             "Panel: Average Over Sessions=3", "Prior Day High/Low From=Overnight + RTH"},
            "0.5,1,2.25"),
        test::referenceSessions(samplePath("NQ_1min_sample.csv"), s));
}

TEST(SampleSessions, ShowSwitchesAndSessionsToShowTheUserSetChangeNothing) {
    const SessionTable plain = measuredTable({samplePath("NQ_5min_sample.csv")});
    const SessionTable hidden = measuredTable(
        {samplePath("NQ_5min_sample.csv")},
        {"Show Opening Range=no", "Show Initial Balance=no", "Show Prior Day High/Low/Close=no",
         "Show Overnight High/Low=no", "Show RTH Open=no",
         "Draw OR / IB / Overnight While Still Forming=no", "Sessions to Show (0 = all)=2"});
    EXPECT_EQ(hidden.rows, plain.rows);
}

TEST(SampleSessions, ThanksgivingHalfDayMondaysAndTheFirstSession) {
    const SessionTable t = measuredTable({samplePath("NQ_1min_sample.csv")});
    auto cell = [&t](const std::string& date, const std::string& column) {
        return t.rows[rowOfSession(t, date)][t.column(column)];
    };
    // The half-day after Thanksgiving: RTH bars from 09:30 to 13:14 only.
    EXPECT_EQ(cell("2023-11-24", "weekday"), "Fri");
    EXPECT_EQ(cell("2023-11-24", "bars"), "225");
    EXPECT_EQ(cell("2023-11-24", "rth_close"), "16011");
    EXPECT_EQ(cell("2023-11-23", "bars"), "210");  // the holiday closes at 13:00
    // The first session has no prior day and no overnight that followed an RTH.
    EXPECT_EQ(cell("2023-11-20", "weekday"), "Mon");
    for (const char* column :
         {"pd_high", "pd_low", "pd_close", "pd_high_taken", "pd_low_taken", "pd_close_touched",
          "gap", "gap_filled", "on_high", "on_low", "on_high_taken", "on_low_taken"}) {
        EXPECT_EQ(cell("2023-11-20", column), "") << column;
    }
    // A Monday's prior day is Friday's half-day; its overnight opens Sunday.
    EXPECT_EQ(cell("2023-11-27", "weekday"), "Mon");
    EXPECT_EQ(cell("2023-11-27", "pd_high"), cell("2023-11-24", "rth_high"));
    EXPECT_EQ(cell("2023-11-27", "pd_low"), cell("2023-11-24", "rth_low"));
    EXPECT_EQ(cell("2023-11-27", "pd_close"), "16011");
    EXPECT_NE(cell("2023-11-27", "on_high"), "");
}

TEST(SampleSessions, AFileEndingInsideRthLeavesItsLastSessionIncomplete) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("keelmark_stats_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string cut = (folder / "cut.csv").string();
    {
        std::ifstream in(samplePath("NQ_1min_sample.csv"));
        std::ofstream out(cut);
        std::string line;
        while (std::getline(in, line) && line.rfind("2023-12-04 11:00", 0) != 0) {
            out << line << '\n';
        }
    }
    const SessionTable t = measuredTable({cut});
    const auto reference = test::referenceSessions(cut, {});
    std::filesystem::remove_all(folder);
    expectSameAsReference(t, reference);
    ASSERT_EQ(t.rows.size(), 11u);
    EXPECT_EQ(t.rows.back()[t.column("complete")], "0");
    EXPECT_EQ(t.rows.back()[t.column("ib_complete")], "1");  // 10:30 to 10:59 follow the IB
    EXPECT_EQ(t.rows[9][t.column("complete")], "1");
}

TEST(SampleSessions, SeveralFilesArePooledInFileOrderEachRowNamingItsFile) {
    const std::vector<std::string> files = {samplePath("NQ_30min_sample.csv"),
                                            samplePath("NQ_5min_sample.csv"),
                                            samplePath("NQ_1hour_sample.csv")};
    const SessionTable pooled = measuredTable(files);
    std::size_t row = 0;
    for (const std::string& file : files) {
        const SessionTable alone = measuredTable({file});
        for (const auto& cells : alone.rows) {
            ASSERT_LT(row, pooled.rows.size());
            EXPECT_EQ(pooled.rows[row][0], file);
            EXPECT_EQ(pooled.rows[row], cells);
            ++row;
        }
    }
    EXPECT_EQ(row, pooled.rows.size());
}

}  // namespace
}  // namespace keelmark
