// The pages' sessions of a running server: each opened page gets a chart
// session of its own under a random id. Only the most recently used
// sessions are kept (a 1-million-bar chart holds a few hundred megabytes per
// session); a page whose session was dropped is told to reload.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "serve/chart_session.h"

namespace keelmark::replay {

// A session and the lock that serialises the requests made to it.
struct LockedSession {
    std::mutex mutex;
    std::unique_ptr<ChartSession> session;
};

class SessionTable {
public:
    SessionTable(const ServedChart& chart, std::size_t maxSessions)
        : chart_(chart), maxSessions_(maxSessions) {}

    // A new session (the studies fully recalculated) and its id.
    std::pair<std::string, std::shared_ptr<LockedSession>> create();
    // Throws RequestRefused (404) for an unknown or dropped id.
    std::shared_ptr<LockedSession> find(const std::string& id);
    std::size_t size() const;

private:
    struct Entry {
        std::shared_ptr<LockedSession> session;
        std::uint64_t lastUse = 0;
    };
    const ServedChart& chart_;
    std::size_t maxSessions_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> sessions_;
    std::uint64_t uses_ = 0;
};

}  // namespace keelmark::replay
