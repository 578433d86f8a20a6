// Session Levels through the stand-in host: default inputs, the session
// panel on, "Sessions to Show" 5.
#include "bench/update_calls.h"

namespace keelmark::bench {

namespace {

StudyFunction sessionLevels() { return loadedModule().sessionLevels(); }

const bool kRegistered = registerUpdateCalls("SessionLevels", sessionLevels, setUpSessionLevels);

}  // namespace

}  // namespace keelmark::bench
