// StudyInterface: the record the host passes to a study function on every
// call. It carries the call kind, the bars, the study's inputs and outputs,
// and the host's services as plain function pointers. The members are in the
// host's record order.
#pragma once

#include <cstdint>

#include "host/chart_date_time.h"
#include "host/drawing_request.h"
#include "host/host_array.h"
#include "host/host_string.h"
#include "host/output_series.h"
#include "host/study_input.h"

namespace keelmark {

// Host operations. None takes a context argument: the host knows which study
// instance it is serving, since it calls one instance at a time.
using AddLogMessage = std::int32_t (*)(const char* text, std::int32_t flag);
using DeleteDrawing = void (*)(std::int32_t chartId, std::int32_t zero, std::int32_t drawingNumber);
using BarIndexForDateTime = std::int32_t (*)(std::int32_t chartId, const ChartDateTime* dateTime);
using SubmitDrawing = std::int32_t (*)(DrawingRequest* request);
using FormatPrice = HostString* (*)(HostString* result, double price, std::int32_t priceFormat);
using RaiseAlert = void (*)(std::int32_t alertNumber, std::int32_t barIndex, HostString* message);
using AddChartMenuItem = std::int32_t (*)(std::int32_t chartId, const char* text);
using RemoveChartMenuItem = void (*)(std::int32_t chartId, std::int32_t identifier);
using PersistentInt = std::int32_t* (*)(std::int32_t key);
using PersistentPointer = void** (*)(std::int32_t key);
using SetPersistentPointer = void (*)(std::int32_t key, void* pointer);

struct StudyInterface {
    std::int32_t barCount;
    std::int32_t updateStartIndex;
    std::int32_t chartRegion;
    std::int32_t chartId;
    AddLogMessage addLogMessage;
    DeleteDrawing deleteDrawing;
    std::int32_t isFinalCall;
    BarIndexForDateTime barIndexForDateTime;
    std::int32_t isDefaultsPass;
    std::int32_t menuBarIndex;
    SubmitDrawing submitDrawing;
    std::int16_t hostSettingA;
    HostString studyName;
    HostArray<ChartDateTime> barDateTimes;
    HostArray<StudyInput> inputs;
    std::int32_t hostSettingB;
    HostString studyDescription;
    std::int32_t hostSettingC;
    HostArray<OutputSeries> outputs;
    std::int32_t priceFormat;
    FormatPrice formatPrice;
    std::int32_t studyId;
    RaiseAlert raiseAlert;
    HostArray<float> barOpen;
    HostArray<float> barHigh;
    HostArray<float> barLow;
    HostArray<float> barClose;
    HostArray<float> barVolume;
    AddChartMenuItem addChartMenuItem;
    RemoveChartMenuItem removeChartMenuItem;
    std::int32_t menuCommandId;
    PersistentInt persistentInt;
    PersistentPointer persistentPointer;
    SetPersistentPointer setPersistentPointer;
};

using StudyFunction = void (*)(StudyInterface* sc);

// The study-level host settings every study writes on its defaults pass,
// after its name and description, in this order: C, region, B, A.
inline void declareHostSettings(StudyInterface& sc) {
    sc.hostSettingC = 0;
    sc.chartRegion = 0;
    sc.hostSettingB = 40;
    sc.hostSettingA = 3;
}

}  // namespace keelmark
