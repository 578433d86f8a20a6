#include "serve/chart_server.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <stdexcept>
#include <thread>
#include <utility>

#include "serve/session_table.h"
#include "web_files/serve_page.h"

namespace keelmark::replay {

namespace {

constexpr const char* kJsonType = "application/json";
// Answers go out uncompressed: on loopback compressing (the library's
// brotli at its best quality) costs far more time than it saves. The
// library compresses text/* and exactly "application/json" or
// "application/javascript"; these types with their charset are left alone.
constexpr const char* kJsonAnswerType = "application/json; charset=utf-8";
constexpr const char* kScriptType = "application/javascript; charset=utf-8";
// Threads answering requests, per address. A browser keeps up to six
// connections open to a server and each open connection holds a thread
// until it has been idle for the keep-alive time: enough threads for a few
// tabs at once, and a short keep-alive.
constexpr std::size_t kRequestThreads = 24;
constexpr time_t kKeepAliveSeconds = 2;

struct PageFile {
    const char* contentType;
    std::string body;
};

std::map<std::string, PageFile> pageFiles(std::string chartLibrary) {
    std::map<std::string, PageFile> files;
    files["/"] = {"text/html; charset=utf-8", std::string(web::live::servePageHtml())};
    files["/chart_page.css"] = {"text/css; charset=utf-8", std::string(web::live::chartPageCss())};
    files["/serve_page.css"] = {"text/css; charset=utf-8", std::string(web::live::servePageCss())};
    files["/chart_drawing.js"] = {kScriptType, std::string(web::live::chartDrawingJs())};
    files["/settings_form.js"] = {kScriptType, std::string(web::live::settingsFormJs())};
    files["/serve_page.js"] = {kScriptType, std::string(web::live::servePageJs())};
    files["/chart_library.js"] = {kScriptType, std::move(chartLibrary)};
    return files;
}

void answer(httplib::Response& res, int status, std::string body) {
    res.status = status;
    res.body = std::move(body);
    res.set_header("Content-Type", kJsonAnswerType);
}

void refuse(httplib::Response& res, int status, const std::string& sentence) {
    JsonText w;
    w.object();
    w.member("error", sentence);
    w.endObject();
    answer(res, status, w.take());
}

// A whole number in a query parameter.
std::int64_t queryNumber(const httplib::Request& req, const char* name) {
    if (!req.has_param(name)) {
        throw RequestRefused(400, std::string("The request lacks the parameter \"") + name + "\".");
    }
    const std::string text = req.get_param_value(name);
    std::int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        throw RequestRefused(400, std::string("The parameter \"") + name +
                                      "\" takes a whole number, not \"" + text + "\".");
    }
    return value;
}

// The request's JSON object body.
nlohmann::json bodyObject(const httplib::Request& req) {
    const std::string type = req.get_header_value("Content-Type");
    if (type.rfind(kJsonType, 0) != 0) {
        throw RequestRefused(415,
                             "The request body must be JSON (Content-Type: application/json).");
    }
    nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
    if (body.is_discarded()) {
        throw RequestRefused(400, "The request body is not valid JSON.");
    }
    if (!body.is_object()) {
        throw RequestRefused(400, "The request body must be a JSON object.");
    }
    return body;
}

const nlohmann::json& field(const nlohmann::json& body, const char* name) {
    const auto it = body.find(name);
    if (it == body.end()) {
        throw RequestRefused(400, std::string("The request lacks the field \"") + name + "\".");
    }
    return *it;
}

std::string stringField(const nlohmann::json& body, const char* name) {
    const nlohmann::json& value = field(body, name);
    if (!value.is_string()) {
        throw RequestRefused(400, std::string("The field \"") + name + "\" takes a string.");
    }
    return value.get<std::string>();
}

std::int64_t wholeField(const nlohmann::json& body, const char* name) {
    const nlohmann::json& value = field(body, name);
    if (!value.is_number_integer()) {
        throw RequestRefused(400, std::string("The field \"") + name + "\" takes a whole number.");
    }
    return value.get<std::int64_t>();
}

// Every answer is whole: a Range header is ignored, as HTTP lets a server
// do. The library would otherwise cut any answer to the range asked for,
// refusals included, leaving JSON that does not parse. The request is the
// library's own object, which is not const; its handlers see it as const.
void ignoreRanges(const httplib::Request& req) {
    const_cast<httplib::Request&>(req).ranges.clear();
}

// Only pages served from the loopback addresses may talk to the server:
// the Host header names one (no other name can reach it by a rebound DNS
// answer), and a request from another site's page (its Origin) is refused.
bool loopbackHost(const std::string& host, int port) {
    const std::size_t colon = host.rfind(':');
    if (colon == std::string::npos ||
        host.compare(colon + 1, std::string::npos, std::to_string(port)) != 0) {
        return false;
    }
    const std::string name = host.substr(0, colon);
    return name == "127.0.0.1" || name == "[::1]" || name == "localhost";
}

// One connection's bytes held in memory: what the client sent is read from
// `input`, what the server answers is appended to `output`.
class MemoryConnection : public httplib::Stream {
public:
    MemoryConnection(std::string_view input, int port) : input_(input), port_(port) {}

    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const std::size_t n = std::min(size, input_.size() - read_);
        std::memcpy(ptr, input_.data() + read_, n);
        read_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        output_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = port_;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    bool allRead() const { return read_ >= input_.size(); }
    // The line that the next read starts, without its line break.
    std::string nextLine() const {
        const std::string_view rest = input_.substr(read_);
        return std::string(rest.substr(0, rest.find_first_of("\r\n")));
    }
    std::string takeOutput() { return std::exchange(output_, {}); }

private:
    std::string_view input_;
    std::size_t read_ = 0;
    int port_;
    std::string output_;
};

// The library's server, with its step that answers one request of a
// connection reachable, so that a connection held in memory can be answered.
class LoopbackServer : public httplib::Server {
public:
    std::vector<ChartServer::ConnectionAnswer> answerConnection(std::string_view bytes, int port) {
        MemoryConnection connection(bytes, port);
        std::vector<ChartServer::ConnectionAnswer> answers;
        bool closed = false;
        // As many requests as a kept-alive connection may make.
        for (std::size_t i = 0; i < keep_alive_max_count_ && !closed && !connection.allRead();
             ++i) {
            const std::string requestLine = connection.nextLine();
            const bool answered = process_request(connection, false, closed, nullptr);
            std::string sent = connection.takeOutput();
            if (!sent.empty()) {
                answers.push_back({std::move(sent), requestLine});
            }
            if (!answered) {
                break;
            }
        }
        return answers;
    }
};

}  // namespace

struct ChartServer::Impl {
    Impl(const ServedChart& chart, std::string chartLibrary, std::size_t maxSessions)
        : sessions(chart, maxSessions), files(pageFiles(std::move(chartLibrary))) {
        routes(v4);
        routes(v6);
    }

    SessionTable sessions;
    std::map<std::string, PageFile> files;
    int port = 0;
    LoopbackServer v4, v6;
    std::thread v4Thread, v6Thread;
    bool v6Serving = false;

    // Runs a handler: a refusal becomes its 4xx answer; the request is
    // checked to come from a loopback page first.
    template <typename Handler>
    httplib::Server::Handler guarded(Handler handler) {
        return [this, handler](const httplib::Request& req, httplib::Response& res) {
            ignoreRanges(req);
            try {
                if (!loopbackHost(req.get_header_value("Host"), port)) {
                    throw RequestRefused(403,
                                         "This server answers only pages opened from 127.0.0.1, "
                                         "[::1] or localhost at its own port.");
                }
                const std::string origin = req.get_header_value("Origin");
                if (!origin.empty() &&
                    (origin.rfind("http://", 0) != 0 || !loopbackHost(origin.substr(7), port))) {
                    throw RequestRefused(403, "Requests from other sites' pages are refused.");
                }
                handler(req, res);
            } catch (const RequestRefused& e) {
                refuse(res, e.status(), e.what());
            }
        };
    }

    template <typename Action>
    void withSession(const httplib::Request& req, httplib::Response& res, Action action) {
        const std::shared_ptr<LockedSession> locked = sessions.find(req.matches[1]);
        std::lock_guard<std::mutex> lock(locked->mutex);
        answer(res, 200, action(*locked->session));
    }

    void routes(httplib::Server& s) {
        // The library's default also sets SO_REUSEPORT, with which a second
        // server binds the same port and takes part of its requests: a
        // port in use must be refused instead.
        s.set_socket_options([](socket_t sock) {
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        s.set_payload_max_length(kMaxRequestBody);
        s.set_keep_alive_timeout(kKeepAliveSeconds);
        s.new_task_queue = [] { return new httplib::ThreadPool(kRequestThreads); };
        s.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
            ignoreRanges(req);
            if (!res.body.empty()) {
                return;
            }
            if (res.status == 413) {
                refuse(res, 413,
                       "The request body is larger than " + std::to_string(kMaxRequestBody) +
                           " bytes.");
            } else if (res.status == 404) {
                refuse(res, 404, "There is nothing at this address.");
            } else if (res.status == 400) {
                refuse(res, 400, "The request is not a well-formed HTTP request.");
            } else {
                refuse(res, res.status, "The request was refused.");
            }
        });
        s.set_exception_handler(
            [](const httplib::Request& req, httplib::Response& res, std::exception_ptr e) {
                ignoreRanges(req);
                std::string what = "unknown error";
                try {
                    std::rethrow_exception(e);
                } catch (const std::exception& x) {
                    what = x.what();
                } catch (...) {
                }
                refuse(res, 500, "The server failed: " + what);
            });

        s.Get(R"(/api/sessions/([0-9a-f]+)/chart)",
              guarded([this](const httplib::Request& req, httplib::Response& res) {
                  const std::int64_t from = queryNumber(req, "from");
                  const std::int64_t to = queryNumber(req, "to");
                  withSession(req, res, [&](ChartSession& c) { return c.window(from, to); });
              }));
        s.Post("/api/sessions", guarded([this](const httplib::Request&, httplib::Response& res) {
                   auto [id, locked] = sessions.create();
                   std::lock_guard<std::mutex> lock(locked->mutex);
                   answer(res, 201, locked->session->description(id));
               }));
        s.Get(R"(/[A-Za-z0-9_./-]*)",
              guarded([this](const httplib::Request& req, httplib::Response& res) {
                  const auto it = files.find(req.path);
                  if (it == files.end()) {
                      throw RequestRefused(404, "There is no page file " + req.path + ".");
                  }
                  res.set_header("Cache-Control", "no-store");
                  res.set_content(it->second.body, it->second.contentType);
              }));
        s.Post(R"(/api/sessions/([0-9a-f]+)/menu)",
               guarded([this](const httplib::Request& req, httplib::Response& res) {
                   const nlohmann::json body = bodyObject(req);
                   const std::string study = stringField(body, "study");
                   const nlohmann::json item = field(body, "item");
                   const std::int64_t bar = wholeField(body, "bar");
                   withSession(req, res, [&](ChartSession& c) {
                       c.menuCommand(study, item, bar);
                       return c.description();
                   });
               }));
        s.Post(R"(/api/sessions/([0-9a-f]+)/inputs)",
               guarded([this](const httplib::Request& req, httplib::Response& res) {
                   const nlohmann::json body = bodyObject(req);
                   const std::string study = stringField(body, "study");
                   const nlohmann::json input = field(body, "input");
                   const std::string value = stringField(body, "value");
                   withSession(req, res, [&](ChartSession& c) {
                       c.setInput(study, input, value);
                       return c.description();
                   });
               }));
        s.Post(R"(/api/sessions/([0-9a-f]+)/replay)",
               guarded([this](const httplib::Request& req, httplib::Response& res) {
                   const std::int64_t from = wholeField(bodyObject(req), "from");
                   withSession(req, res, [&](ChartSession& c) {
                       c.startReplay(from);
                       return c.description();
                   });
               }));
        s.Post(R"(/api/sessions/([0-9a-f]+)/replay/advance)",
               guarded([this](const httplib::Request& req, httplib::Response& res) {
                   const nlohmann::json body = bodyObject(req);
                   const auto it = body.find("wholeBar");
                   if (it != body.end() && !it->is_boolean()) {
                       throw RequestRefused(400, "The field \"wholeBar\" takes true or false.");
                   }
                   const bool wholeBar = it != body.end() && it->get<bool>();
                   withSession(req, res, [&](ChartSession& c) {
                       c.advance(wholeBar);
                       return c.description();
                   });
               }));
        // Any other method or address.
        const auto nothing = guarded([](const httplib::Request& req, httplib::Response&) {
            throw RequestRefused(
                405, "This server takes no " + req.method + " request at " + req.path + ".");
        });
        s.Post(R"(.*)", nothing);
        s.Put(R"(.*)", nothing);
        s.Delete(R"(.*)", nothing);
        s.Patch(R"(.*)", nothing);
    }

    static void serve(httplib::Server& s, std::thread& thread) {
        thread = std::thread([&s] { s.listen_after_bind(); });
        // stop() is only heard once the server runs.
        while (!s.is_running()) {
            std::this_thread::yield();
        }
    }
};

ChartServer::ChartServer(const ServedChart& chart, std::string chartLibrary,
                         std::size_t maxSessions)
    : impl_(std::make_unique<Impl>(chart, std::move(chartLibrary), maxSessions)) {}

ChartServer::~ChartServer() { stop(); }

int ChartServer::start(int port) {
    Impl& i = *impl_;
    i.port = port == 0 ? i.v4.bind_to_any_port("127.0.0.1") : port;
    if (i.port <= 0 || (port != 0 && !i.v4.bind_to_port("127.0.0.1", port))) {
        throw std::runtime_error("cannot listen on 127.0.0.1 port " + std::to_string(port) +
                                 " (in use?)");
    }
    i.v6Serving = i.v6.bind_to_port("::1", i.port);
    i.sessions.prepareSpare();
    Impl::serve(i.v4, i.v4Thread);
    if (i.v6Serving) {
        Impl::serve(i.v6, i.v6Thread);
    }
    return i.port;
}

void ChartServer::waitUntilReady() { impl_->sessions.waitForSpare(); }

std::vector<ChartServer::ConnectionAnswer> ChartServer::answerConnection(std::string_view bytes,
                                                                         int port) {
    impl_->port = port;
    return impl_->v4.answerConnection(bytes, port);
}

bool ChartServer::servesIpv6() const { return impl_->v6Serving; }

void ChartServer::stop() {
    Impl& i = *impl_;
    for (auto [server, thread] : {std::pair{&i.v4, &i.v4Thread}, std::pair{&i.v6, &i.v6Thread}}) {
        if (thread->joinable()) {
            server->stop();
            thread->join();
        }
    }
}

}  // namespace keelmark::replay
