// The session panel, in a trader's words:
//   SESSION LEVELS
//   OR   <high> - <low>  (<range> pts)  = 1.23x its 20-session average
//   IB   ...                             (or "  forming" while it builds)
//   ON   ...                             the overnight before the session
//   PD   H <high>  L <low>  C <close>
//   Open <open>  +<diff> vs prior close, inside the prior range
// ratio = (high - low) / mean of the last N completed ranges of that kind.
// Prices are the host's price texts; the panel is one text drawing with a
// fixed number, replaced on every call.
//
// The panel is built on every call, live ticks included, so it is gathered
// as pieces (fixed texts, the host's price texts, the ratio texts) and
// joined once, straight into the drawing's text: one allocation for the
// whole panel.
#include "session_levels/panel.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "host/chart_date_time.h"
#include "host/drawing_request.h"
#include "session_levels/statistics.h"

namespace keelmark::session_levels {

namespace {

constexpr std::uint32_t kPanelDrawingOffset = 74200000;

constexpr char kPanelFontFace[] = "Consolas";

// The panel's place across the chart, as the host's relative date-times of
// days 2 (left) and 149 (right): whole microsecond counts, the values
// fromDays gives for those days, without its work on every tick.
constexpr ChartDateTime kPanelLeft = 2 * kMicrosPerDay;
constexpr ChartDateTime kPanelRight = 149 * kMicrosPerDay;

// At most 41 pieces: the heading, three range lines of 10, the prior-day
// line of 6 and the open line of 7 (or the one-piece alternatives).
constexpr std::int32_t kMaxPieces = 48;
constexpr std::int32_t kMaxRatioTexts = 3;

// The panel text as the pieces it is joined from. Pieces point into the
// ratio texts here and into the price texts kept in the panel memory.
struct PanelPieces {
    TextPiece pieces[kMaxPieces];
    std::int32_t pieceCount = 0;
    PriceText* prices;  // kPanelPriceTexts of them
    std::int32_t priceCount = 0;
    char ratios[kMaxRatioTexts][kRatioTextCapacity];
    std::int32_t ratioCount = 0;
};

void addText(PanelPieces& p, const char* text, std::size_t length) {
    if (p.pieceCount < kMaxPieces) {
        p.pieces[p.pieceCount++] = TextPiece{text, static_cast<std::int32_t>(length)};
    }
}

void addText(PanelPieces& p, const char* text) { addText(p, text, std::strlen(text)); }

// A literal, measured by the compiler.
template <std::size_t N>
void addText(PanelPieces& p, const char (&literal)[N]) {
    addText(p, literal, N - 1);
}

// A price as the host's text, used as it comes; empty where the host gives
// none. The text kept from the last build is used again while the price is
// the same.
void addPrice(StudyInterface& sc, PanelPieces& p, double price) {
    if (p.priceCount >= kPanelPriceTexts) {
        return;
    }
    PriceText& kept = p.prices[p.priceCount++];
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(price);
    if (!kept.kept || kept.priceBits != bits) {
        HostString value = emptyHostString();
        const HostString* formatted = sc.formatPrice(&value, price, sc.priceFormat);
        release(kept.text);
        if (formatted == nullptr || formatted == &value) {
            kept.text = value;
        } else {
            kept.text = emptyHostString();  // the host's own value: keep a copy
            assign(kept.text, textOf(*formatted));
            release(value);
        }
        kept.priceBits = bits;
        // An empty text (none given, or no memory) is asked for again.
        kept.kept = textOf(kept.text)[0] != '\0';
    }
    addText(p, textOf(kept.text));
}

// The text after a complete range: its ratio to the average of its list,
// or nothing when there is no average yet.
void addRatio(PanelPieces& p, double height, const RangeList& list, std::int32_t sessions) {
    const double average = averageOfRecent(list, sessions);
    if (average > 0.0 && p.ratioCount < kMaxRatioTexts) {
        char* text = p.ratios[p.ratioCount++];
        addText(p, text, formatRatioText(text, height / average, sessions));
    }
}

void addRangeLine(StudyInterface& sc, PanelPieces& p, const char* name, const HighLow& range,
                  bool complete, const RangeList& list, std::int32_t averageSessions) {
    // The name left-justified in four characters, then a blank: the same
    // label column as "PD   " below.
    const std::size_t nameLength = std::strlen(name);
    addText(p, name, nameLength);
    addText(p, "     ", nameLength < 4 ? 5 - nameLength : 1);
    const double height = range.high - range.low;
    addPrice(sc, p, range.high);
    addText(p, " - ");
    addPrice(sc, p, range.low);
    addText(p, "  (");
    addPrice(sc, p, height);
    addText(p, " pts)");
    if (!complete) {
        addText(p, "  forming");
    } else {
        addRatio(p, height, list, averageSessions);
    }
    addText(p, "\n");
}

const char* openPosition(const LevelRecord& L) {
    if (L.rthOpen > L.priorDayHigh) {
        return "above the prior high";
    }
    if (L.rthOpen < L.priorDayLow) {
        return "below the prior low";
    }
    return "inside the prior range";
}

void addPriorDay(StudyInterface& sc, PanelPieces& p, const LevelRecord& L) {
    if (!L.priorDayValid) {
        addText(p, "PD   needs one completed RTH session on the chart");
        return;
    }
    addText(p, "PD   H ");
    addPrice(sc, p, L.priorDayHigh);
    addText(p, "  L ");
    addPrice(sc, p, L.priorDayLow);
    addText(p, "  C ");
    addPrice(sc, p, L.priorDayClose);
    if (L.inRth) {
        const double change = L.rthOpen - L.priorDayClose;
        addText(p, "\nOpen ");
        addPrice(sc, p, L.rthOpen);
        addText(p, change >= 0.0 ? "  +" : "  -");
        addPrice(sc, p, std::fabs(change));
        addText(p, " vs prior close, ");
        addText(p, openPosition(L));
    }
}

void gatherPanel(StudyInterface& sc, PanelPieces& p, const LevelRecord& last,
                 const StateRecord& state, std::int32_t averageSessions) {
    addText(p, "SESSION LEVELS\n");
    if (last.inRth) {
        if (last.openingRange.valid) {
            addRangeLine(sc, p, "OR", last.openingRange, last.openingRangeComplete,
                         state.openingRanges, averageSessions);
        }
        if (last.initialBalance.valid) {
            addRangeLine(sc, p, "IB", last.initialBalance, last.initialBalanceComplete,
                         state.initialBalances, averageSessions);
        }
    } else {
        addText(p, "Outside RTH: OR and IB start at the RTH open\n");
    }
    if (last.shownOvernight.valid) {
        addRangeLine(sc, p, "ON", last.shownOvernight, last.shownOvernightFinal, state.overnights,
                     averageSessions);
    }
    addPriorDay(sc, p, last);
}

void placePanel(StudyInterface& sc, const HostString& text, const StudyInputs& inputs) {
    const std::int32_t position = inputs.panelPosition;
    const bool right = position == 1 || position == 3;
    const bool bottom = position == 2 || position >= 3;
    DrawingRequest r;
    constructDrawingRequest(r);  // already the defaults a reset would give
    r.chartId = sc.chartId;
    r.drawingKind = kDrawingKindText;
    r.drawingNumber = panelDrawingNumber(sc.studyId);
    r.requestMode = kRequestModeAddOrUpdate;
    r.region = sc.chartRegion;
    r.relativePlacement = 1;
    r.dateTime = right ? kPanelRight : kPanelLeft;
    r.price = bottom ? 3.0f : 97.0f;
    r.textAlignment = (right ? 2 : 0) | (bottom ? 8 : 0);
    r.textColour = inputs.panelTextColour;
    r.backgroundColour = inputs.panelBackgroundColour;
    r.fontSize = inputs.panelFontSize;
    // Both texts are lent to the host for the length of the call instead of
    // copied into heap blocks of their own, two allocations and two frees
    // on every tick: the host copies what it keeps. A text of the host's
    // own left in their place is released below, as before.
    r.fontFace = lentHostString(kPanelFontFace);
    r.hostOptionA = 1;
    r.hostOptionB = 0;
    r.hostOptionC = 0;
    r.hostOptionD = 0;
    if (text.text != nullptr && text.text[0] != '\0') {
        r.text = lentHostString(text.text);
    }
    sc.submitDrawing(&r);
    releaseDrawingRequest(r);
}

std::uint64_t priceWord(double price) { return std::bit_cast<std::uint64_t>(price); }

std::uint64_t listWord(const RangeList& list) {
    return static_cast<std::uint64_t>(list.entries.size()) ^
           (static_cast<std::uint64_t>(list.unstored) << 32);
}

// What the panel text is made from. The range lists only grow between full
// recalculations, so their lengths stand for their averages.
PanelSource panelSourceOf(const StudyInterface& sc, const LevelRecord& L, const StateRecord& state,
                          std::int32_t averageSessions) {
    const std::uint64_t flags =
        (L.inRth ? 1u : 0u) | (L.openingRange.valid ? 2u : 0u) |
        (L.openingRangeComplete ? 4u : 0u) | (L.initialBalance.valid ? 8u : 0u) |
        (L.initialBalanceComplete ? 16u : 0u) | (L.shownOvernight.valid ? 32u : 0u) |
        (L.shownOvernightFinal ? 64u : 0u) | (L.priorDayValid ? 128u : 0u);
    const std::uint64_t sessionsAndFormat =
        static_cast<std::uint32_t>(averageSessions) |
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(sc.priceFormat)) << 32;
    return PanelSource{{flags, sessionsAndFormat, priceWord(L.openingRange.high),
                        priceWord(L.openingRange.low), priceWord(L.initialBalance.high),
                        priceWord(L.initialBalance.low), priceWord(L.shownOvernight.high),
                        priceWord(L.shownOvernight.low), priceWord(L.rthOpen),
                        priceWord(L.priorDayHigh), priceWord(L.priorDayLow),
                        priceWord(L.priorDayClose), listWord(state.openingRanges),
                        listWord(state.initialBalances), listWord(state.overnights)}};
}

// Copies a literal without its NUL and returns the end.
template <std::size_t N>
char* copyLiteral(char* out, const char (&literal)[N]) {
    std::memcpy(out, literal, N - 1);
    return out + (N - 1);
}

}  // namespace

std::int32_t panelDrawingNumber(std::int32_t studyId) {
    // Wraps rather than overflows for identifiers near the top of the range.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(studyId) + kPanelDrawingOffset);
}

std::size_t formatRatioText(char* out, double ratio, std::int32_t sessions) {
    // std::to_chars gives the exactly rounded decimals of the double, as
    // printf's "%.2f" does, without parsing a format on every tick.
    char* const end = out + kRatioTextCapacity;
    char* p = copyLiteral(out, "  = ");
    p = std::to_chars(p, end, ratio, std::chars_format::fixed, 2).ptr;
    p = copyLiteral(p, "x its ");
    p = std::to_chars(p, end, sessions).ptr;
    p = copyLiteral(p, "-session average");
    return static_cast<std::size_t>(p - out);
}

void removePanel(StudyInterface& sc) {
    sc.deleteDrawing(sc.chartId, 0, panelDrawingNumber(sc.studyId));
}

void showPanel(StudyInterface& sc, const StudyInputs& inputs, const LevelRecord& last,
               StateRecord& state, std::int32_t barCount, bool rebuild) {
    PanelMemory& memory = state.panel;
    if (!inputs.showPanel || barCount <= 0) {
        memory.kept = false;
        removePanel(sc);
        return;
    }
    const PanelSource source = panelSourceOf(sc, last, state, inputs.averageSessions);
    if (rebuild || !memory.kept || !(memory.source == source)) {
        if (rebuild || memory.pricesFormat != sc.priceFormat) {
            for (PriceText& price : memory.prices) {
                price.kept = false;
            }
            memory.pricesFormat = sc.priceFormat;
        }
        PanelPieces pieces;
        pieces.prices = memory.prices;
        gatherPanel(sc, pieces, last, state, inputs.averageSessions);
        assignJoined(memory.text, pieces.pieces, pieces.pieceCount);
        memory.source = source;
        // A text the heap refused is built again on the next call.
        memory.kept = memory.text.ownsText != 0;
    }
    placePanel(sc, memory.text, inputs);
}

}  // namespace keelmark::session_levels
