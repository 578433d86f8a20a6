// Construction, reset and release of drawing requests.
#include "host/drawing_request.h"

#include <bit>
#include <cstring>

namespace keelmark {

namespace {

constexpr float kSmallestNormal = std::bit_cast<float>(0x00800000u);
constexpr float kMostNegative = std::bit_cast<float>(0xFF7FFFFFu);

template <typename T, std::size_t N>
consteval void fill(T (&a)[N], T v) {
    for (T& x : a) {
        x = v;
    }
}

// Every default of the record, worked out by the compiler (consteval: it
// never runs in the module): a record is prepared for every drawing a study
// submits (the session panel on every tick), and copying the finished image
// is far cheaper than writing the 1032 bytes field by field. Bytes between
// fields are zero.
consteval DrawingRequest defaultDrawingRequest() {
    DrawingRequest r{};
    r.recordSize = kDrawingRecordSize;
    r.chartId = 0;
    r.host08 = 0;
    r.drawingNumber = -1;
    fill(r.host16, -1);
    r.price = kSmallestNormal;
    r.host36 = kSmallestNormal;
    r.region = -1;
    r.textColour = kNoColour;
    fill(r.host48, 0);
    r.fontSize = -1;
    r.host60 = 0xFFFF;
    fill(r.host64, kMostNegative);
    r.dateTime = 0;
    r.host200 = 0;
    r.text = emptyHostString();
    r.drawingKind = 0;
    r.host236 = -1;
    r.requestMode = kRequestModeAddOrUpdate;
    r.interfaceVersion = kHostInterfaceVersion;
    r.host248 = -1;
    r.backgroundColour = kNoColour;
    r.fontFace = emptyHostString();
    fill(r.host280, -1);
    r.textAlignment = -1;
    r.relativePlacement = -1;
    r.host296 = kNoColour;
    fill(r.host300, -1);
    r.host312 = 0;
    r.host320 = kSmallestNormal;
    r.barIndex = -1;
    fill(r.host328, -1);
    fill(r.host336, kNoColour);
    fill(r.host464, -1);
    fill(r.host720, -1);
    r.hostOptionA = -1;
    fill(r.host756, -1);
    r.host784 = kMostNegative;
    fill(r.host788, -1);
    r.hostOptionB = -1;
    r.host828 = 0;
    fill(r.host832, -1);
    r.hostOptionC = -1;
    fill(r.host844, -1);
    r.host876 = kNoColour;
    fill(r.host880, -1);
    r.hostOptionD = -1;
    r.host896 = 0;
    r.host900 = 0xFFFF;
    r.host904 = -1;
    r.host908 = -1;
    r.host912 = -1.0f;
    r.host916 = -1;
    r.host920 = emptyHostString();
    r.host944 = -1;
    r.host948 = 0;
    r.host952 = 0;
    fill(r.host953, static_cast<std::uint8_t>(0xFF));
    fill(r.host988, -1);
    r.host1000 = emptyHostString();
    r.host1024 = 0;
    return r;
}

constexpr DrawingRequest kDefaultDrawingRequest = defaultDrawingRequest();

}  // namespace

void constructDrawingRequest(DrawingRequest& r) {
    std::memcpy(static_cast<void*>(&r), &kDefaultDrawingRequest, sizeof r);
}

void resetDrawingRequest(DrawingRequest& r) {
    // Texts go through the HostString copy so that owned blocks are freed;
    // every other field takes its default.
    HostString text = r.text;
    HostString fontFace = r.fontFace;
    HostString host920 = r.host920;
    HostString host1000 = r.host1000;
    constructDrawingRequest(r);
    const DrawingRequest& fresh = kDefaultDrawingRequest;
    r.text = text;
    r.fontFace = fontFace;
    r.host920 = host920;
    r.host1000 = host1000;
    copyFrom(r.text, fresh.text);
    copyFrom(r.fontFace, fresh.fontFace);
    copyFrom(r.host920, fresh.host920);
    copyFrom(r.host1000, fresh.host1000);
}

void releaseDrawingRequest(DrawingRequest& r) {
    release(r.host1000);
    release(r.host920);
    release(r.fontFace);
    release(r.text);
}

}  // namespace keelmark
