#include "host/host_string.h"

#include <gtest/gtest.h>

#include <string>

#if !defined(_WIN32)
#include "host/process_heap_standin.h"
#endif

namespace keelmark {
namespace {

// A value that releases its own block when the test ends.
struct Text {
    HostString s = makeHostString();
    ~Text() { release(s); }
    std::string str() const { return textOf(s); }
};

TEST(HostString, AssignCopiesAtMostTheGivenLength) {
    Text t;
    assign(t.s, "0123456789", 3);
    EXPECT_EQ(t.str(), "012");
    EXPECT_EQ(t.s.ownsText, 1);
    EXPECT_EQ(t.s.isSet, 1);
    assign(t.s, "abc", 10);  // stops at the text's own end
    EXPECT_EQ(t.str(), "abc");
}

TEST(HostString, AssignOfNothingLeavesTheEmptyTextMarkedSet) {
    for (std::int32_t length : {0, -1, -5}) {
        Text t;
        assign(t.s, "owned", 5);
        assign(t.s, "abc", length);
        EXPECT_EQ(t.str(), "");
        EXPECT_EQ(t.s.ownsText, 0);
        EXPECT_EQ(t.s.isSet, 1);
        EXPECT_EQ(t.s.text, t.s.emptyText);
    }
    Text n;
    assign(n.s, nullptr, 4);
    EXPECT_EQ(n.str(), "");
    EXPECT_EQ(n.s.isSet, 1);
}

TEST(HostString, FormatReplacesAndAppendFormatAppends) {
    Text t;
    assign(t.s, "AB", 2);
    appendFormat(t.s, "%d", 5);
    EXPECT_EQ(t.str(), "AB5");
    appendFormat(t.s, " %s|%-4s|%02d|%.2f|%g", "x", "OR", 7, 1.005, 0.5);
    EXPECT_EQ(t.str(), "AB5 x|OR  |07|1.00|0.5");
    format(t.s, "IB +%gx", 1.5);
    EXPECT_EQ(t.str(), "IB +1.5x");
    EXPECT_EQ(t.s.ownsText, 1);
    // Formatting to an empty text still allocates the one byte it needs.
    format(t.s, "%s", "");
    EXPECT_EQ(t.str(), "");
    EXPECT_EQ(t.s.isSet, 1);
    appendFormat(t.s, nullptr);
    EXPECT_EQ(t.str(), "");
    // Pieces around the 256 characters formatted on the stack come out whole.
    for (const int width : {254, 255, 256, 300}) {
        format(t.s, "[%*d]", width, 7);
        std::string expected = "[";
        expected.append(static_cast<std::size_t>(width) - 1, ' ').append("7]");
        EXPECT_EQ(t.str(), expected);
        appendFormat(t.s, "%s", std::string(static_cast<std::size_t>(width), 'x').c_str());
        EXPECT_EQ(t.str().size(), static_cast<std::size_t>(2 * width + 2));
    }
}

TEST(HostString, ResetAndRelease) {
    Text t;
    release(t.s);  // owns nothing: unchanged
    EXPECT_EQ(t.s.text, staticEmptyText());
    assign(t.s, "abc", 3);
    release(t.s);
    EXPECT_EQ(t.s.text, nullptr);
    EXPECT_EQ(t.s.ownsText, 0);
    EXPECT_EQ(t.s.isSet, 0);
    EXPECT_EQ(textOf(t.s), std::string());
    assign(t.s, "abc", 3);
    reset(t.s);
    EXPECT_EQ(t.s.text, t.s.emptyText);
    EXPECT_EQ(t.s.isSet, 0);
}

TEST(HostString, CopyFrom) {
    Text a, b;
    copyFrom(a.s, b.s);  // both empty: nothing changes
    EXPECT_EQ(a.s.isSet, 0);
    assign(b.s, "panel", 5);
    copyFrom(a.s, b.s);
    EXPECT_EQ(a.str(), "panel");
    EXPECT_NE(a.s.text, b.s.text);
    Text empty;
    copyFrom(a.s, empty.s);  // empty source onto a text: empty, set
    EXPECT_EQ(a.str(), "");
    EXPECT_EQ(a.s.isSet, 1);
    EXPECT_EQ(a.s.ownsText, 0);
    copyFrom(a.s, a.s);
    HostString nullSource{nullptr, 0, 0, staticEmptyText()};
    assign(a.s, "x", 1);
    copyFrom(a.s, nullSource);
    EXPECT_EQ(a.str(), "");
    EXPECT_EQ(a.s.isSet, 1);
}

TEST(HostString, AssignJoinedPutsThePiecesSideBySide) {
    Text t;
    assign(t.s, "old", 3);
    const TextPiece pieces[] = {{"OR", 2}, {"   ", 3},    {nullptr, 5},
                                {"", 0},   {"110.00", 6}, {"\n", 1}};
    assignJoined(t.s, pieces, 6);
    EXPECT_EQ(t.str(), "OR   110.00\n");
    EXPECT_EQ(t.s.ownsText, 1);
    EXPECT_EQ(t.s.isSet, 1);
    assignJoined(t.s, pieces, 0);
    EXPECT_EQ(t.str(), "");
    EXPECT_EQ(t.s.ownsText, 0);
    EXPECT_EQ(t.s.isSet, 1);
    // A piece that would take the text past the longest length is left
    // out, with those after it.
    const TextPiece tooLong[] = {{"ab", 2}, {"x", kMaxTextLength}, {"c", 1}};
    assignJoined(t.s, tooLong, 3);
    EXPECT_EQ(t.str(), "ab");
}

TEST(HostString, AllocateTextRefusesNonPositiveCounts) {
    EXPECT_EQ(allocateText(0), nullptr);
    EXPECT_EQ(allocateText(-3), nullptr);
}

#if !defined(_WIN32)
TEST(HostString, HeapExhaustionLeavesTheEmptyTextOrTheOldText) {
    Text t;
    keelmarkProcessHeapFailAfter(1, 0);
    assign(t.s, "abc", 3);
    EXPECT_EQ(t.str(), "");
    EXPECT_EQ(t.s.isSet, 1);
    EXPECT_EQ(t.s.ownsText, 0);

    assign(t.s, "keep", 4);
    keelmarkProcessHeapFailAfter(1, 0);
    appendFormat(t.s, "%d", 42);
    EXPECT_EQ(t.str(), "keep");  // append failed: unchanged

    keelmarkProcessHeapFailAfter(1, 0);
    format(t.s, "%d", 42);
    EXPECT_EQ(t.str(), "");  // the reset came first
    EXPECT_EQ(t.s.isSet, 0);
    keelmarkProcessHeapFailAfter(0, 0);
}

TEST(HostString, AssignJoinedMakesOneBlockOrLeavesTheEmptyText) {
    const std::int64_t live = keelmarkProcessHeapLiveBlocks();
    {
        Text t;
        const TextPiece pieces[] = {{"SESSION LEVELS\n", 15}, {"PD   H ", 7}, {"112.00", 6}};
        const std::int64_t before = keelmarkProcessHeapAllocations();
        assignJoined(t.s, pieces, 3);
        EXPECT_EQ(keelmarkProcessHeapAllocations() - before, 1);
        EXPECT_EQ(t.str(), "SESSION LEVELS\nPD   H 112.00");
        keelmarkProcessHeapFailAfter(1, 0);
        assignJoined(t.s, pieces, 3);
        EXPECT_EQ(t.str(), "");
        EXPECT_EQ(t.s.ownsText, 0);
        EXPECT_EQ(t.s.isSet, 1);
    }
    EXPECT_EQ(keelmarkProcessHeapLiveBlocks(), live);
}

TEST(HostString, EveryOperationLeavesNoBlockBehind) {
    const std::int64_t live = keelmarkProcessHeapLiveBlocks();
    {
        Text t;
        for (int i = 0; i < 100; ++i) {
            appendFormat(t.s, "%d;", i);
            Text copy;
            copyFrom(copy.s, t.s);
        }
        format(t.s, "%s", "done");
    }
    EXPECT_EQ(keelmarkProcessHeapLiveBlocks(), live);
}
#endif

}  // namespace
}  // namespace keelmark
