#include "fuzz/harness/server_requests.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "fuzz/harness/bar_maker.h"
#include "fuzz/harness/fuzz_module.h"
#include "serve/chart_server.h"

#if defined(__SANITIZE_ADDRESS__)
#define KEELMARK_FAKE_STACK_SWEEP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEELMARK_FAKE_STACK_SWEEP 1
#endif
#endif
#ifdef KEELMARK_FAKE_STACK_SWEEP
#include <sanitizer/asan_interface.h>
#endif

namespace keelmark::fuzz {

namespace {

// 15-minute bars from the Sunday evening open to Tuesday late morning, with
// the daily pause: two sessions, so that ranges, the overnight, the prior
// day and anchors all form, on a chart short enough that a new session
// costs little (160 bars: every changed session is built anew, and a
// replay recalculates its start).
std::vector<replay::Bar> servedBars() {
    std::vector<replay::Bar> bars;
    float price = 15900.0f;
    for (ChartDateTime t = kFirstChartDay + 18 * 60 * kMinute;
         t < kFirstChartDay + (2 * 24 + 11) * 60 * kMinute; t += 15 * kMinute) {
        const ChartDateTime minuteOfDay = (t / kMinute) % (24 * 60);
        if (minuteOfDay >= 17 * 60 && minuteOfDay < 18 * 60) {
            continue;
        }
        const std::size_t k = bars.size();
        const float close =
            price + static_cast<float>(std::lround(std::sin(0.37 * k) * 12)) * 0.25f;
        replay::Bar bar;
        bar.start = t;
        bar.open = price;
        bar.close = close;
        bar.high = std::max(price, close) + 1.25f;
        bar.low = std::min(price, close) - 0.75f;
        bar.volume = static_cast<float>(100 + (k * 37) % 400);
        bars.push_back(bar);
        price = close;
    }
    return bars;
}

struct Served {
    replay::ServedChart chart;
    std::unique_ptr<replay::ChartServer> server;
    // The session "{id}" stands for: a fresh one at the start of every input.
    std::string sessionId;
};

Served& served() {
    static Served* const s = [] {
        auto* made = new Served;
        made->chart.module = &fuzzModule();
        made->chart.bars = servedBars();
        made->chart.times = replay::chartSeconds(made->chart.bars);
        made->chart.studies = {replay::StudyKind::SessionLevels, replay::StudyKind::AnchoredVwap};
        made->chart.barsName = "fuzz.csv";
        // A short stand-in for the chart library: the page's files are
        // served as they are, whatever they hold. The server keeps a single
        // session, so that the new session an input ends with replaces the
        // one it changed: every input then leaves the heap holding as many
        // blocks as it found. (libFuzzer takes an input that ends with more
        // allocations than frees for a possible leak, runs it again and
        // scans the whole heap.)
        made->server = std::make_unique<replay::ChartServer>(made->chart, "/* chart library */", 1);
        return made;
    }();
    return *s;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// A fresh session's id, from the server's own answer to a new page.
std::string newSessionId(replay::ChartServer& server) {
    const auto answers = server.answerConnection(
        "POST /api/sessions HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nContent-Length: 0\r\n\r\n",
        kServerPort);
    if (answers.size() != 1) {
        return {};
    }
    // The server adds the id as the last member of the page's description;
    // the description itself is checked wherever the fuzzer's own requests
    // get one, so here only the id is read.
    const std::string& answer = answers[0].bytes;
    constexpr std::string_view kMember = "\"session\":\"";
    const std::size_t member = answer.rfind(kMember);
    if (answer.rfind("HTTP/1.1 201", 0) != 0 || member == std::string::npos) {
        return {};
    }
    const std::size_t id = member + kMember.size();
    const std::size_t end = answer.find('"', id);
    return end == std::string::npos ? std::string() : answer.substr(id, end - id);
}

// Bodies that passed their check, by their hash and length, in a table made
// once: a body's key goes to one place of it, over whatever was there.
// (Allocating as it grew would leave each input with more allocations than
// frees, which libFuzzer takes for a possible leak and checks at great
// cost.) A refusal's key is told apart from an answer's, whose check is
// weaker.
constexpr std::size_t kAcceptedPlaces = std::size_t{1} << 16;

std::vector<std::size_t>& acceptedBodies() {
    static auto* const bodies = new std::vector<std::size_t>(kAcceptedPlaces, 0);
    return *bodies;
}

std::size_t bodyKey(std::string_view body, bool refusal) {
    return std::hash<std::string_view>{}(body) ^ (body.size() * 0x9E3779B97F4A7C15u) ^
           (refusal ? 0xC2B2AE3D27D4EB4Fu : 0);
}

bool alreadyAccepted(std::size_t key) { return acceptedBodies()[key % kAcceptedPlaces] == key; }

void rememberAccepted(std::size_t key) { acceptedBodies()[key % kAcceptedPlaces] = key; }

}  // namespace

std::string checkAnswer(std::string_view answer, bool toHead) {
    std::size_t at = 0;
    while (true) {
        const std::size_t headEnd = answer.find("\r\n\r\n", at);
        if (headEnd == std::string_view::npos) {
            return "no end of the answer's header";
        }
        const std::string_view head = answer.substr(at, headEnd - at);
        if (head.substr(0, 9) != "HTTP/1.1 " || head.size() < 12) {
            return "not an HTTP/1.1 status line: " + std::string(head.substr(0, 40));
        }
        int status = 0;
        std::from_chars(head.data() + 9, head.data() + 12, status);
        if (status < 100 || status >= 500) {
            return "status " + std::to_string(status);
        }
        at = headEnd + 4;
        if (status == 100) {
            continue;  // the answer itself follows
        }
        std::size_t length = 0;
        bool json = false;
        for (std::size_t line = head.find("\r\n"); line != std::string_view::npos;) {
            const std::size_t next = head.find("\r\n", line + 2);
            const std::string field =
                lower(head.substr(line + 2, next == std::string_view::npos ? std::string_view::npos
                                                                           : next - line - 2));
            if (field.rfind("content-length:", 0) == 0) {
                length = std::strtoull(field.c_str() + 15, nullptr, 10);
            } else if (field.rfind("content-type: application/json", 0) == 0) {
                json = true;
            }
            line = next;
        }
        if (toHead && at == answer.size()) {
            return {};
        }
        if (answer.size() - at != length) {
            return "a body of " + std::to_string(answer.size() - at) + " bytes, not " +
                   std::to_string(length);
        }
        const std::string_view body = answer.substr(at);
        if (!json) {
            return status >= 400 ? "a refusal that is not JSON" : std::string();
        }
        // Many inputs get the very same answer (a fresh session's window, the
        // same refusal); a body that passed once is not checked again.
        const std::size_t key = bodyKey(body, status >= 400);
        if (alreadyAccepted(key)) {
            return {};
        }
        if (status < 400) {
            // Checked without building the document: most answers are a
            // page's description or a window of the chart, large and valid.
            if (!nlohmann::json::accept(body)) {
                return "a JSON body that does not parse";
            }
        } else {
            const auto parsed = nlohmann::json::parse(body, nullptr, false);
            if (parsed.is_discarded()) {
                return "a JSON body that does not parse";
            }
            if (!parsed.is_object() || !parsed.contains("error") || !parsed["error"].is_string() ||
                parsed["error"].get<std::string>().empty()) {
                return "a refusal without a sentence: " + std::string(body.substr(0, 80));
            }
        }
        rememberAccepted(key);
        return {};
    }
}

namespace {

std::string answerOnSession(Served& s, const std::uint8_t* data, std::size_t size) {
    try {
        if (s.sessionId.empty()) {
            s.sessionId = newSessionId(*s.server);
            if (s.sessionId.empty()) {
                return "a new page got no session";
            }
        }
        std::string bytes(reinterpret_cast<const char*>(data), size);
        for (std::size_t at = bytes.find("{id}"); at != std::string::npos;
             at = bytes.find("{id}", at + s.sessionId.size())) {
            bytes.replace(at, 4, s.sessionId);
        }
        const auto answers = s.server->answerConnection(bytes, kServerPort);
        for (std::size_t i = 0; i < answers.size(); ++i) {
            const std::string_view answer = answers[i].bytes;
            // A session changed, or a new one that made the server drop
            // this one: a fresh session replaces it before the input ends. A
            // refusal, or an answer to GET or HEAD, changes nothing.
            const std::string& line = answers[i].requestLine;
            const bool reads = line.rfind("GET ", 0) == 0 || line.rfind("HEAD ", 0) == 0;
            if (answer.rfind("HTTP/1.1 2", 0) == 0 && !reads) {
                s.sessionId.clear();
            }
            const std::string broken = checkAnswer(answer, line.find("HEAD") != std::string::npos);
            if (!broken.empty()) {
                return "answer " + std::to_string(i + 1) + ": " + broken;
            }
        }
        if (s.sessionId.empty()) {
            s.sessionId = newSessionId(*s.server);
            if (s.sessionId.empty()) {
                return "a new page got no session";
            }
        }
        return {};
    } catch (const std::exception& e) {
        return std::string("exception out of the server: ") + e.what();
    } catch (...) {
        return "exception out of the server";
    }
}

}  // namespace

std::string answerRequestBytes(const std::uint8_t* data, std::size_t size) {
#ifdef KEELMARK_FAKE_STACK_SWEEP
    // Frames that an exception unwound stay taken in AddressSanitizer's
    // fake stack (use after return) until a sweep finds them below the
    // stack in use; the sweeps after each throw start deeper than many of
    // them. Asking for a sweep here, above every frame of the input's
    // requests, frees all those of earlier inputs. Without it the fake stack
    // filled after about 90,000 executions and every call then searched it
    // whole: a fifth of the rate.
    __asan_handle_no_return();
#endif
    Served& s = served();
    std::string broken = answerOnSession(s, data, size);
    // A new session starts the next spare chart session on the server's
    // thread for them. It is finished here, within the input that started
    // it: libFuzzer looks for leaks between inputs, and a session that
    // another thread is in the middle of building reads as leaked memory
    // there.
    s.server->waitUntilReady();
    return broken;
}

}  // namespace keelmark::fuzz
