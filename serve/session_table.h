// The pages' sessions of a running server: each opened page gets a chart
// session of its own under a random id. Only the most recently used
// sessions are kept (a 1-million-bar chart holds a few hundred megabytes per
// session); a page whose session was dropped is told to reload. One spare
// session is prepared ahead in the background, by a thread kept for the
// purpose, so that a page opens without waiting for the studies' first full
// recalculation.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serve/chart_session.h"

namespace keelmark::replay {

// A session and the lock that serialises the requests made to it.
struct LockedSession {
    std::mutex mutex;
    std::unique_ptr<ChartSession> session;
};

class SessionTable {
public:
    // `maxSessions` 0: as many as about 2 GB of study arrays hold, from 2
    // to 8.
    SessionTable(const ServedChart& chart, std::size_t maxSessions);
    // Waits for the spare being prepared, and ends the thread preparing it.
    ~SessionTable();
    SessionTable(const SessionTable&) = delete;
    SessionTable& operator=(const SessionTable&) = delete;

    // Starts preparing the spare session.
    void prepareSpare();
    // Waits until the spare session is ready.
    void waitForSpare();

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
    // The spare's lock, once no spare is being prepared.
    std::unique_lock<std::mutex> spareSettled();
    std::unique_ptr<ChartSession> takeSpare();
    void prepareSpares();

    const ServedChart& chart_;
    std::size_t maxSessions_;
    // The spare and the thread that prepares it: `spareWanted_` asks for
    // one, and stays set until it is ready (or its preparation failed,
    // leaving `spare_` empty).
    std::mutex spareMutex_;
    std::condition_variable spareAsked_, spareReady_;
    std::unique_ptr<ChartSession> spare_;
    bool spareWanted_ = false;
    bool ending_ = false;
    std::thread spareThread_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> sessions_;
    std::uint64_t uses_ = 0;
};

}  // namespace keelmark::replay
