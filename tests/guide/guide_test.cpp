// The trader's guide, docs/guide.md, held to the module: each study's
// settings table (the table with the columns Input | Default | Limits |
// What it does in the section "## <study name>") lists every input the study
// declares on its defaults pass, in slot order, with its exact label, its
// default written as keelmark-replay's --input takes it, and its limits; the
// chart menu items are named as the module adds them; and every picture the
// guide shows is a PNG in the repository.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "replay_engine/input_setting.h"
#include "standin_host/chart_host.h"
#include "standin_host/number_text.h"
#include "tests/support/module_fixture.h"
#include "tests/support/sample_bars.h"

namespace keelmark {
namespace {

using replay::StudyInstance;

const std::filesystem::path kDocs = std::filesystem::path(KEELMARK_SOURCE_DIR) / "docs";

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string trimmed(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    const std::size_t last = s.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

// The cells of a Markdown table row "| a | b |"; none for other lines.
std::vector<std::string> cellsOf(const std::string& line) {
    std::vector<std::string> cells;
    if (line.size() < 2 || line.front() != '|' || line.back() != '|') {
        return cells;
    }
    std::size_t start = 1;
    for (std::size_t bar = line.find('|', start); bar != std::string::npos;
         bar = line.find('|', start)) {
        cells.push_back(trimmed(line.substr(start, bar - start)));
        start = bar + 1;
    }
    return cells;
}

struct SettingRow {
    std::size_t lineNumber = 0;
    std::string label, defaultText, limits;
};

// The rows of the settings table in the section of `study`. A section
// without exactly one such table is reported in `problems`.
std::vector<SettingRow> settingsTable(const std::vector<std::string>& lines,
                                      const std::string& study,
                                      std::vector<std::string>& problems) {
    const std::vector<std::string> header = {"Input", "Default", "Limits", "What it does"};
    std::vector<SettingRow> rows;
    bool inSection = false;
    int tables = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("## ", 0) == 0) {
            inSection = lines[i] == "## " + study;
            continue;
        }
        if (!inSection || cellsOf(lines[i]) != header) {
            continue;
        }
        ++tables;
        for (std::size_t r = i + 2; r < lines.size(); ++r) {
            const std::vector<std::string> cells = cellsOf(lines[r]);
            if (cells.empty()) {
                break;
            }
            if (cells.size() != header.size()) {
                problems.push_back("guide line " + std::to_string(r + 1) + ": " +
                                   std::to_string(cells.size()) + " cells, not 4");
                continue;
            }
            rows.push_back(SettingRow{r + 1, cells[0], cells[1], cells[2]});
        }
    }
    if (tables != 1) {
        problems.push_back("section \"## " + study + "\" has " + std::to_string(tables) +
                           " settings tables, not 1");
    }
    return rows;
}

// A default as the guide writes it, `09:30` or empty, as --input takes it.
std::string inputText(const std::string& cell) {
    if (cell == "empty") {
        return "";
    }
    if (cell.size() >= 2 && cell.front() == '`' && cell.back() == '`') {
        return cell.substr(1, cell.size() - 2);
    }
    return cell;
}

// The limits the guide must give: "1 to 600" for numbers, the choices of a
// list, and a dash for the rest.
std::string limitsText(const StudyInstance& study, std::int32_t slot) {
    const StudyInput& in = study.input(slot);
    switch (in.valueType) {
        case kInputInteger:
            return std::to_string(cellInt(in.minValue)) + " to " +
                   std::to_string(cellInt(in.maxValue));
        case kInputFloat:
            return replay::floatText(cellFloat(in.minValue)) + " to " +
                   replay::floatText(cellFloat(in.maxValue));
        case kInputCustomList: {
            std::string choices;
            for (const std::string& option : replay::optionsOf(study, slot)) {
                choices += (choices.empty() ? "" : "; ") + option;
            }
            return choices;
        }
        default:
            return "–";
    }
}

bool sameValue(const StudyInput& a, const StudyInput& b) {
    if (a.valueType != b.valueType) {
        return false;
    }
    switch (a.valueType) {
        case kInputFloat:
            return cellFloat(a.value) == cellFloat(b.value);
        case kInputTimeOfDay:
        case kInputDate:
        case kInputDateTime:
        case kInputDouble:
            return cellDouble(a.value) == cellDouble(b.value);
        default:
            return cellInt(a.value) == cellInt(b.value);
    }
}

// Everything in the guide's settings table of the study that disagrees with
// what the study declares.
std::vector<std::string> settingsProblems(const std::string& guide, StudyFunction function) {
    StudyInstance declared(function);
    declared.defaultsPass();
    const std::string study = declared.studyName();
    std::vector<std::string> problems;
    const std::vector<SettingRow> rows = settingsTable(linesOf(guide), study, problems);

    const std::int32_t count = declared.declaredInputCount();
    for (std::int32_t slot = 0; slot < count; ++slot) {
        const std::string label = declared.inputLabel(slot);
        const auto index = static_cast<std::size_t>(slot);
        if (index >= rows.size()) {
            problems.push_back(study + ": \"" + label + "\" (slot " + std::to_string(slot) +
                               ") is missing from the guide");
            continue;
        }
        const SettingRow& row = rows[index];
        const std::string where = "guide line " + std::to_string(row.lineNumber) + ": ";
        if (row.label != label) {
            problems.push_back(where + "\"" + row.label + "\" where " + study + " declares \"" +
                               label + "\" (slot " + std::to_string(slot) + ")");
            continue;
        }
        StudyInstance set(function);
        set.defaultsPass();
        try {
            replay::setInputFromText(set, slot, inputText(row.defaultText));
            if (!sameValue(set.input(slot), declared.input(slot))) {
                problems.push_back(where + "\"" + label + "\" defaults to something other than " +
                                   row.defaultText);
            }
        } catch (const replay::InputSettingError& e) {
            problems.push_back(where + "default " + row.defaultText + ": " + e.what());
        }
        set.finalCall();
        const std::string limits = limitsText(declared, slot);
        if (row.limits != limits) {
            problems.push_back(where + "\"" + label + "\" has limits \"" + limits +
                               "\", the guide says \"" + row.limits + "\"");
        }
    }
    for (std::size_t extra = static_cast<std::size_t>(count); extra < rows.size(); ++extra) {
        problems.push_back("guide line " + std::to_string(rows[extra].lineNumber) + ": \"" +
                           rows[extra].label + "\" is not an input of " + study);
    }
    declared.finalCall();
    return problems;
}

std::string joined(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& p : problems) {
        text += p + "\n";
    }
    return text;
}

TEST(GuideSettings, EachStudysTableListsItsInputsInSlotOrderWithLabelDefaultAndLimits) {
    const std::string guide = readText(kDocs / "guide.md");
    ASSERT_FALSE(guide.empty()) << "cannot read " << (kDocs / "guide.md");
    for (const StudyFunction study :
         {test::testModule().sessionLevels(), test::testModule().anchoredVwap()}) {
        const std::vector<std::string> problems = settingsProblems(guide, study);
        EXPECT_TRUE(problems.empty()) << joined(problems);
    }
}

// The check itself: a guide that drifted from the module is caught row by row.
TEST(GuideSettings, AGuideThatDriftedFromTheModuleIsCaught) {
    std::string guide = readText(kDocs / "guide.md");
    auto replace = [&guide](const std::string& from, const std::string& to) {
        const std::size_t at = guide.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        guide.replace(at, from.size(), to);
    };
    replace("| Opening Range Minutes | `15` | 1 to 600 |",
            "| Opening Range Minutes | `30` | 1 to 600 |");
    replace("| Panel Font Size | `9` | 5 to 30 |", "| Panel Font Size | `9` | 5 to 40 |");
    replace("| Show Standard Deviation Bands | `no` |", "| Show Bands | `no` |");
    const std::string markerRow = "| Marker Font Size | `8` | 5 to 30 |";
    const std::size_t row = guide.find(markerRow);
    ASSERT_NE(row, std::string::npos);
    guide.erase(row, guide.find('\n', row) + 1 - row);

    const std::string levels = joined(settingsProblems(guide, test::testModule().sessionLevels()));
    EXPECT_NE(levels.find("\"Opening Range Minutes\" defaults to something other than `30`"),
              std::string::npos)
        << levels;
    EXPECT_NE(levels.find("\"Panel Font Size\" has limits \"5 to 30\", the guide says \"5 to 40\""),
              std::string::npos)
        << levels;
    const std::string vwap = joined(settingsProblems(guide, test::testModule().anchoredVwap()));
    EXPECT_NE(vwap.find("\"Show Bands\" where Keelmark Anchored VWAP declares \"Show Standard "
                        "Deviation Bands\" (slot 9)"),
              std::string::npos)
        << vwap;
    EXPECT_NE(vwap.find("\"Marker Font Size\" (slot 13) is missing from the guide"),
              std::string::npos)
        << vwap;
}

// The chart menu section names each item exactly as the study adds it to
// the host's menu.
TEST(GuideChartMenu, EveryItemTheAnchoredVwapAddsIsNamedInTheGuide) {
    const std::string guide = readText(kDocs / "guide.md");
    StudyInstance study(test::testModule().anchoredVwap());
    study.defaultsPass();
    study.setBars({replay::Bar{test::chartTime(2023, 11, 28, 9, 30), 10, 11, 9, 10, 100},
                   replay::Bar{test::chartTime(2023, 11, 28, 9, 31), 10, 12, 9, 11, 100}});
    study.fullRecalculation();
    ASSERT_EQ(study.menuItems().size(), 3u);
    for (const replay::MenuItem& item : study.menuItems()) {
        EXPECT_NE(guide.find("- **" + item.text + "**"), std::string::npos)
            << "the guide's chart menu section does not name \"" << item.text << "\"";
    }
    study.finalCall();
}

TEST(GuidePictures, EveryPictureTheGuideShowsIsASmallPngInTheRepository) {
    const std::string guide = readText(kDocs / "guide.md");
    const std::regex picture(R"(!\[[^\]]*\]\(([^)\s]+)\))");
    int shown = 0;
    for (auto it = std::sregex_iterator(guide.begin(), guide.end(), picture);
         it != std::sregex_iterator(); ++it) {
        ++shown;
        const std::filesystem::path path = kDocs / (*it)[1].str();
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path << " is missing";
        EXPECT_EQ(readText(path).substr(0, 8), "\x89PNG\r\n\x1a\n") << path << " is not a PNG";
        EXPECT_LE(std::filesystem::file_size(path), 400u * 1024u) << path << " is too large";
    }
    EXPECT_GE(shown, 5);

    const std::string readme = readText(std::filesystem::path(KEELMARK_SOURCE_DIR) / "README.md");
    EXPECT_NE(readme.find("(docs/guide.md)"), std::string::npos)
        << "README does not link the guide";
}

}  // namespace
}  // namespace keelmark
