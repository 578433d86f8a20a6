// DrawingRequest: the fixed 1032-byte record that asks the host to place a
// chart drawing, or to update the drawing that carries the same number.
// Every field a study does not set keeps its default, which the host reads as
// "not given". Unnamed members are host fields the studies never touch.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/chart_date_time.h"
#include "host/host_string.h"

namespace keelmark {

struct DrawingRequest {
    std::int32_t recordSize;
    std::int32_t chartId;
    std::int32_t host08;
    std::int32_t drawingNumber;
    std::int32_t host16[4];
    float price;
    float host36;
    std::int32_t region;
    std::int32_t textColour;
    std::int32_t host48[2];
    std::int32_t fontSize;
    std::int32_t host60;
    float host64[32];
    ChartDateTime dateTime;
    std::int64_t host200;
    HostString text;
    std::int32_t drawingKind;
    std::int32_t host236;
    std::int32_t requestMode;
    std::int32_t interfaceVersion;
    std::int32_t host248;
    std::int32_t backgroundColour;
    HostString fontFace;
    std::int32_t host280[2];
    std::int32_t textAlignment;
    std::int32_t relativePlacement;
    std::int32_t host296;
    std::int32_t host300[2];
    std::int64_t host312;
    float host320;
    std::int32_t barIndex;
    std::int32_t host328[2];
    std::int32_t host336[32];
    std::int32_t host464[64];
    std::int32_t host720[8];
    std::int32_t hostOptionA;
    std::int32_t host756[7];
    float host784;
    std::int32_t host788[9];
    std::int32_t hostOptionB;
    std::int32_t host828;
    std::int32_t host832[2];
    std::int32_t hostOptionC;
    std::int32_t host844[8];
    std::int32_t host876;
    std::int32_t host880[3];
    std::int32_t hostOptionD;
    std::int32_t host896;
    std::int32_t host900;
    std::int32_t host904;
    std::int16_t host908;
    float host912;
    std::int32_t host916;
    HostString host920;
    std::int32_t host944;
    std::int32_t host948;
    std::uint8_t host952;
    std::uint8_t host953[32];
    std::int32_t host988[3];
    HostString host1000;
    std::int16_t host1024;
};

static_assert(sizeof(DrawingRequest) == 1032);
static_assert(offsetof(DrawingRequest, chartId) == 4);
static_assert(offsetof(DrawingRequest, drawingNumber) == 12);
static_assert(offsetof(DrawingRequest, price) == 32);
static_assert(offsetof(DrawingRequest, region) == 40);
static_assert(offsetof(DrawingRequest, textColour) == 44);
static_assert(offsetof(DrawingRequest, fontSize) == 56);
static_assert(offsetof(DrawingRequest, dateTime) == 192);
static_assert(offsetof(DrawingRequest, text) == 208);
static_assert(offsetof(DrawingRequest, drawingKind) == 232);
static_assert(offsetof(DrawingRequest, requestMode) == 240);
static_assert(offsetof(DrawingRequest, interfaceVersion) == 244);
static_assert(offsetof(DrawingRequest, backgroundColour) == 252);
static_assert(offsetof(DrawingRequest, fontFace) == 256);
static_assert(offsetof(DrawingRequest, textAlignment) == 288);
static_assert(offsetof(DrawingRequest, relativePlacement) == 292);
static_assert(offsetof(DrawingRequest, host312) == 312);
static_assert(offsetof(DrawingRequest, barIndex) == 324);
static_assert(offsetof(DrawingRequest, hostOptionA) == 752);
static_assert(offsetof(DrawingRequest, hostOptionB) == 824);
static_assert(offsetof(DrawingRequest, hostOptionC) == 840);
static_assert(offsetof(DrawingRequest, hostOptionD) == 892);
static_assert(offsetof(DrawingRequest, host912) == 912);
static_assert(offsetof(DrawingRequest, host920) == 920);
static_assert(offsetof(DrawingRequest, host953) == 953);
static_assert(offsetof(DrawingRequest, host988) == 988);
static_assert(offsetof(DrawingRequest, host1000) == 1000);
static_assert(offsetof(DrawingRequest, host1024) == 1024);

inline constexpr std::int32_t kDrawingRecordSize = 1032;
inline constexpr std::int32_t kHostInterfaceVersion = 2927;
inline constexpr std::int32_t kNoColour = static_cast<std::int32_t>(0xFF000000u);
inline constexpr std::int32_t kDrawingKindText = 6;
inline constexpr std::int32_t kRequestModeAddOrUpdate = 3;

// Writes every default into the record (texts empty, nothing owned).
void constructDrawingRequest(DrawingRequest& r);
// Brings an existing record back to its defaults: a fresh record is copied
// over it field by field, texts with the HostString copy.
void resetDrawingRequest(DrawingRequest& r);
// Releases the four texts, the last one first and `text` last.
void releaseDrawingRequest(DrawingRequest& r);

}  // namespace keelmark
