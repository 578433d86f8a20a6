#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "host/drawing_request.h"
#include "host/host_array.h"

#if !defined(_WIN32)
#include "host/process_heap_standin.h"
#endif

namespace keelmark {
namespace {

TEST(DrawingRequest, ConstructedRequestHoldsTheDefaults) {
    DrawingRequest r;
    std::memset(static_cast<void*>(&r), 0x5A, sizeof r);
    constructDrawingRequest(r);
    EXPECT_EQ(r.recordSize, 1032);
    EXPECT_EQ(r.interfaceVersion, 2927);
    EXPECT_EQ(r.requestMode, 3);
    EXPECT_EQ(r.drawingNumber, -1);
    EXPECT_EQ(r.barIndex, -1);
    EXPECT_EQ(r.region, -1);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(r.price), 0x00800000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(r.host64[31]), 0xFF7FFFFFu);
    EXPECT_EQ(static_cast<std::uint32_t>(r.textColour), 0xFF000000u);
    EXPECT_EQ(r.host60, 0xFFFF);
    EXPECT_EQ(r.host953[0], 0xFF);
    EXPECT_EQ(r.host912, -1.0f);
    EXPECT_EQ(r.dateTime, 0);
    EXPECT_STREQ(r.text.text, "");
    EXPECT_EQ(r.text.ownsText, 0);
    EXPECT_EQ(r.fontFace.isSet, 0);
    // The host reads the record as raw memory: the bytes between fields are
    // zero, as are those after the last one.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
    for (std::size_t gap :
         {910u, 911u, 985u, 986u, 987u, 1026u, 1027u, 1028u, 1029u, 1030u, 1031u}) {
        EXPECT_EQ(bytes[gap], 0) << "byte " << gap;
    }
}

TEST(DrawingRequest, ResetBringsBackDefaultsAndFreesTexts) {
#if !defined(_WIN32)
    const std::int64_t live = keelmarkProcessHeapLiveBlocks();
#endif
    DrawingRequest r;
    constructDrawingRequest(r);
    r.drawingNumber = 74200001;
    r.hostOptionA = 1;
    assign(r.text, "SESSION LEVELS");
    assign(r.fontFace, "Consolas");
    resetDrawingRequest(r);
    EXPECT_EQ(r.drawingNumber, -1);
    EXPECT_EQ(r.hostOptionA, -1);
    EXPECT_STREQ(textOf(r.text), "");
    EXPECT_EQ(r.text.ownsText, 0);
    EXPECT_EQ(r.fontFace.ownsText, 0);
    assign(r.text, "^ AVWAP 1");
    releaseDrawingRequest(r);
    EXPECT_EQ(r.text.ownsText, 0);
#if !defined(_WIN32)
    EXPECT_EQ(keelmarkProcessHeapLiveBlocks(), live);
#endif
    DrawingRequest untouched;
    constructDrawingRequest(untouched);
    // The studies skip the reset of a record they have just constructed:
    // it would leave every byte as it is.
    DrawingRequest resetAfterConstruct;
    constructDrawingRequest(resetAfterConstruct);
    resetDrawingRequest(resetAfterConstruct);
    EXPECT_EQ(std::memcmp(&untouched, &resetAfterConstruct, sizeof untouched), 0);
    releaseDrawingRequest(untouched);  // nothing owned: nothing freed
    EXPECT_EQ(untouched.text.text, staticEmptyText());
}

struct FetchProbe {
    static inline float storage[3] = {1.0f, 2.0f, 3.0f};
    static inline HostArray<float>* target = nullptr;
    static inline int calls = 0;
    static void provide(std::int32_t token) {
        ++calls;
        if (token == 7 && target != nullptr) {
            target->data = storage;
            target->count = 3;
        }
    }
};

TEST(HostArray, IndicesAreClampedIntoTheArray) {
    float values[3] = {10.0f, 20.0f, 30.0f};
    HostArray<float> a{values, 0, nullptr, 0, 3, -1.0f};
    EXPECT_EQ(element(a, -5), 10.0f);
    EXPECT_EQ(element(a, 1), 20.0f);
    EXPECT_EQ(element(a, 3), 30.0f);
    EXPECT_EQ(element(a, 1'000'000), 30.0f);
    ArrayView<float> v = resolve(a);
    EXPECT_EQ(v[-1], 10.0f);
    EXPECT_EQ(v[99], 30.0f);
}

TEST(HostArray, UnavailableOrEmptyArraysUseTheFallbackElement) {
    HostArray<float> a{nullptr, 0, nullptr, 0, 5, 4.5f};
    EXPECT_EQ(element(a, 2), 4.5f);
    element(a, 9) = 8.0f;  // writes go into the fallback element
    EXPECT_EQ(a.fallbackElement, 8.0f);
    EXPECT_EQ(resolve(a)[100], 8.0f);

    float one = 1.0f;
    HostArray<float> empty{&one, 0, nullptr, 0, 0, 2.0f};
    EXPECT_EQ(element(empty, 0), 2.0f);
    HostArray<float> negative{&one, 0, nullptr, 0, -4, 3.0f};
    EXPECT_EQ(element(negative, 0), 3.0f);

    HostArray<float> fetched{nullptr, 0, FetchProbe::provide, 7, 0, -1.0f};
    FetchProbe::target = &fetched;
    EXPECT_EQ(element(fetched, 2), 3.0f);
    EXPECT_EQ(FetchProbe::calls, 1);
    EXPECT_EQ(element(fetched, 0), 1.0f);
    EXPECT_EQ(FetchProbe::calls, 1);  // available now: no second fetch

    HostArray<float> never{nullptr, 0, FetchProbe::provide, 8, 3, 6.0f};
    EXPECT_EQ(element(never, 1), 6.0f);
    EXPECT_EQ(resolve(never)[0], 6.0f);
}

}  // namespace
}  // namespace keelmark
