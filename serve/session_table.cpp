#include "serve/session_table.h"

#include <random>

namespace keelmark::replay {

namespace {

// 128 random bits as hex: a page cannot guess another page's session.
std::string randomId() {
    static std::mutex mutex;
    static std::random_device device;
    std::lock_guard<std::mutex> lock(mutex);
    std::string id;
    constexpr const char* kHex = "0123456789abcdef";
    for (int word = 0; word < 4; ++word) {
        std::uint32_t bits = device();
        for (int i = 0; i < 8; ++i, bits >>= 4) {
            id += kHex[bits & 0xF];
        }
    }
    return id;
}

}  // namespace

std::pair<std::string, std::shared_ptr<LockedSession>> SessionTable::create() {
    auto locked = std::make_shared<LockedSession>();
    locked->session = std::make_unique<ChartSession>(chart_);
    const std::string id = randomId();
    std::lock_guard<std::mutex> lock(mutex_);
    while (!sessions_.empty() && sessions_.size() >= maxSessions_) {
        auto oldest = sessions_.begin();
        for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse) {
                oldest = it;
            }
        }
        // A request still working on it keeps it alive until it is done.
        sessions_.erase(oldest);
    }
    sessions_[id] = Entry{locked, ++uses_};
    return {id, locked};
}

std::shared_ptr<LockedSession> SessionTable::find(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) {
        throw RequestRefused(404,
                             "This page's chart session has ended (the server keeps the "
                             "most recently used ones): reload the page.");
    }
    it->second.lastUse = ++uses_;
    return it->second.session;
}

std::size_t SessionTable::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.size();
}

}  // namespace keelmark::replay
