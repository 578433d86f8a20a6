#include "serve/session_table.h"

#include <algorithm>
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

// Memory one session holds per bar of the chart, about: the bars twice, and
// every output and its bookkeeping array of both studies.
constexpr std::size_t kBytesPerSessionBar = 600;
constexpr std::size_t kSessionBudgetBytes = std::size_t{2} << 30;

}  // namespace

SessionTable::SessionTable(const ServedChart& chart, std::size_t maxSessions)
    : chart_(chart), maxSessions_(maxSessions) {
    if (maxSessions_ == 0) {
        const std::size_t perSession =
            std::max<std::size_t>(chart.bars.size(), 1) * kBytesPerSessionBar;
        maxSessions_ = std::clamp<std::size_t>(kSessionBudgetBytes / perSession, 2, 8);
    }
}

SessionTable::~SessionTable() {
    {
        std::lock_guard<std::mutex> lock(spareMutex_);
        ending_ = true;
    }
    spareAsked_.notify_all();
    if (spareThread_.joinable()) {
        spareThread_.join();
    }
}

void SessionTable::prepareSpares() {
    std::unique_lock<std::mutex> lock(spareMutex_);
    while (true) {
        spareAsked_.wait(lock, [this] { return ending_ || (spareWanted_ && spare_ == nullptr); });
        if (ending_) {
            return;
        }
        lock.unlock();
        std::unique_ptr<ChartSession> prepared;
        try {
            prepared = std::make_unique<ChartSession>(chart_);
        } catch (...) {
            // The page that takes it builds its own, and is told if that
            // fails too.
        }
        lock.lock();
        spare_ = std::move(prepared);
        spareWanted_ = false;
        spareReady_.notify_all();
    }
}

void SessionTable::prepareSpare() {
    {
        std::lock_guard<std::mutex> lock(spareMutex_);
        if (spare_ != nullptr) {
            return;
        }
        spareWanted_ = true;
        if (!spareThread_.joinable()) {
            spareThread_ = std::thread([this] { prepareSpares(); });
        }
    }
    spareAsked_.notify_one();
}

std::unique_lock<std::mutex> SessionTable::spareSettled() {
    std::unique_lock<std::mutex> lock(spareMutex_);
    spareReady_.wait(lock, [this] { return !spareWanted_; });
    return lock;
}

void SessionTable::waitForSpare() { spareSettled(); }

// The spare (waiting for it when it is still being prepared), and the next
// one asked for.
std::unique_ptr<ChartSession> SessionTable::takeSpare() {
    std::unique_ptr<ChartSession> session;
    {
        const std::unique_lock<std::mutex> lock = spareSettled();
        session = std::move(spare_);
    }
    prepareSpare();
    return session != nullptr ? std::move(session) : std::make_unique<ChartSession>(chart_);
}

std::pair<std::string, std::shared_ptr<LockedSession>> SessionTable::create() {
    auto locked = std::make_shared<LockedSession>();
    locked->session = takeSpare();
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
