// Placeholder seam: the study's steps land here.
#include "anchored_vwap/anchored_vwap.h"
#include "host/host_string.h"
#include "host/persistent_object.h"

namespace keelmark::anchored_vwap {

namespace {
struct AnchorTable {
    int unused = 0;
};
}  // namespace

void declareStudy(StudyInterface& sc) {
    assign(sc.studyName, "Keelmark Anchored VWAP");
    sc.studyName.isSet = 1;
    declareHostSettings(sc);
}

void finalCall(StudyInterface& sc) { destroyStateObject<AnchorTable>(sc); }

void update(StudyInterface& sc) { findOrCreateStateObject<AnchorTable>(sc); }

}  // namespace keelmark::anchored_vwap
