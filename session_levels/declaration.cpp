// Placeholder seam: the study's steps land here.
#include "host/host_string.h"
#include "host/persistent_object.h"
#include "session_levels/session_levels.h"

namespace keelmark::session_levels {

namespace {
struct StateRecord {
    int lastCommittedBar = -1;
};
}  // namespace

void declareStudy(StudyInterface& sc) {
    assign(sc.studyName, "Keelmark Session Levels");
    sc.studyName.isSet = 1;
    declareHostSettings(sc);
}

void finalCall(StudyInterface& sc) { destroyStateObject<StateRecord>(sc); }

void update(StudyInterface& sc) { findOrCreateStateObject<StateRecord>(sc); }

}  // namespace keelmark::session_levels
