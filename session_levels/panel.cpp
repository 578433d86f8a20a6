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
#include "session_levels/panel.h"

#include <cmath>
#include <cstdint>

#include "host/chart_date_time.h"
#include "host/drawing_request.h"
#include "session_levels/statistics.h"

namespace keelmark::session_levels {

namespace {

constexpr std::uint32_t kPanelDrawingOffset = 74200000;

// One price as the host's text; the text is released with the value.
struct PriceText {
    HostString value;
    const char* text;

    PriceText(StudyInterface& sc, double price) : value(makeHostString()), text("") {
        HostString* formatted = sc.formatPrice(&value, price, sc.priceFormat);
        text = textOf(formatted != nullptr ? *formatted : value);
    }
    ~PriceText() { release(value); }
    PriceText(const PriceText&) = delete;
    PriceText& operator=(const PriceText&) = delete;
};

void appendRangeLine(StudyInterface& sc, HostString& text, const char* name, const HighLow& range,
                     bool complete, const RangeList& list, std::int32_t averageSessions) {
    HostString suffix = makeHostString();
    const double height = range.high - range.low;
    if (!complete) {
        format(suffix, "  forming");
    } else {
        const double average = averageOfRecent(list, averageSessions);
        if (average > 0.0) {
            format(suffix, "  = %.2fx its %d-session average", height / average,
                   static_cast<int>(averageSessions));
        }
    }
    const PriceText high(sc, range.high);
    const PriceText low(sc, range.low);
    const PriceText points(sc, height);
    appendFormat(text, "%-4s %s - %s  (%s pts)%s", name, high.text, low.text, points.text,
                 textOf(suffix));
    appendFormat(text, "\n");
    release(suffix);
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

void appendPriorDay(StudyInterface& sc, HostString& text, const LevelRecord& L) {
    if (!L.priorDayValid) {
        appendFormat(text, "PD   needs one completed RTH session on the chart");
        return;
    }
    {
        const PriceText high(sc, L.priorDayHigh);
        const PriceText low(sc, L.priorDayLow);
        const PriceText close(sc, L.priorDayClose);
        appendFormat(text, "PD   H %s  L %s  C %s", high.text, low.text, close.text);
    }
    if (L.inRth) {
        const double change = L.rthOpen - L.priorDayClose;
        const PriceText open(sc, L.rthOpen);
        const PriceText distance(sc, std::fabs(change));
        appendFormat(text, "\nOpen %s  %s%s vs prior close, %s", open.text,
                     change >= 0.0 ? "+" : "-", distance.text, openPosition(L));
    }
}

void placePanel(StudyInterface& sc, const HostString& text, const StudyInputs& inputs) {
    const std::int32_t position = inputs.panelPosition;
    const bool right = position == 1 || position == 3;
    const bool bottom = position == 2 || position >= 3;
    DrawingRequest r;
    constructDrawingRequest(r);
    resetDrawingRequest(r);
    r.chartId = sc.chartId;
    r.drawingKind = kDrawingKindText;
    r.drawingNumber = panelDrawingNumber(sc.studyId);
    r.requestMode = kRequestModeAddOrUpdate;
    r.region = sc.chartRegion;
    r.relativePlacement = 1;
    r.dateTime = fromDays(right ? 149.0 : 2.0);
    r.price = bottom ? 3.0f : 97.0f;
    r.textAlignment = (right ? 2 : 0) | (bottom ? 8 : 0);
    r.textColour = inputs.panelTextColour;
    r.backgroundColour = inputs.panelBackgroundColour;
    r.fontSize = inputs.panelFontSize;
    assign(r.fontFace, "Consolas");
    r.fontFace.isSet = 1;
    r.hostOptionA = 1;
    r.hostOptionB = 0;
    r.hostOptionC = 0;
    r.hostOptionD = 0;
    copyFrom(r.text, text);
    sc.submitDrawing(&r);
    releaseDrawingRequest(r);
}

}  // namespace

std::int32_t panelDrawingNumber(std::int32_t studyId) {
    // Wraps rather than overflows for identifiers near the top of the range.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(studyId) + kPanelDrawingOffset);
}

void buildPanelText(StudyInterface& sc, HostString& text, const LevelRecord& last,
                    const StateRecord& state, std::int32_t averageSessions) {
    format(text, "SESSION LEVELS\n");
    if (last.inRth) {
        if (last.openingRange.valid) {
            appendRangeLine(sc, text, "OR", last.openingRange, last.openingRangeComplete,
                            state.openingRanges, averageSessions);
        }
        if (last.initialBalance.valid) {
            appendRangeLine(sc, text, "IB", last.initialBalance, last.initialBalanceComplete,
                            state.initialBalances, averageSessions);
        }
    } else {
        appendFormat(text, "Outside RTH: OR and IB start at the RTH open\n");
    }
    if (last.shownOvernight.valid) {
        appendRangeLine(sc, text, "ON", last.shownOvernight, last.shownOvernightFinal,
                        state.overnights, averageSessions);
    }
    appendPriorDay(sc, text, last);
}

void removePanel(StudyInterface& sc) {
    sc.deleteDrawing(sc.chartId, 0, panelDrawingNumber(sc.studyId));
}

void showPanel(StudyInterface& sc, const StudyInputs& inputs, const LevelRecord& last,
               const StateRecord& state, std::int32_t barCount) {
    if (!inputs.showPanel || barCount <= 0) {
        removePanel(sc);
        return;
    }
    HostString text = makeHostString();
    buildPanelText(sc, text, last, state, inputs.averageSessions);
    placePanel(sc, text, inputs);
    release(text);
}

}  // namespace keelmark::session_levels
