// The module quorvel-server.so: LocalServer with cpp-httplib. Only `quorvel play` loads it
// (cli/LocalServer.cpp), so that the HTTP library and what it links (OpenSSL, Brotli) stay out of
// every other command.

#include <httplib.h>
#include <pthread.h>
#include <strings.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/LocalServer.h"

namespace fs = std::filesystem;

namespace {

// 32 hexadecimal digits from the kernel's random source; empty when it gives none.
std::string RandomToken() {
    unsigned char bytes[16];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return {};
    std::string token;
    for (const unsigned char b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return token;
}

std::string ContentType(const std::string& name) {
    const std::string extension = fs::path(name).extension().string();
    if (name.empty() || extension == ".html") return "text/html; charset=utf-8";
    if (extension == ".js") return "text/javascript";
    if (extension == ".wasm") return "application/wasm";  // compiled while it streams in
    if (extension == ".swf") return "application/x-shockwave-flash";
    return "application/octet-stream";
}

// The byte ranges asked for, as first and last offsets inside a body of `size` bytes: a last
// offset past the end (or none) is the last byte, "-N" the last N bytes, and a range that starts
// past the end is dropped. False when none is left, which is answered with 416.
bool ClampRanges(httplib::Ranges& ranges, std::size_t size) {
    const auto length = static_cast<ssize_t>(size);
    httplib::Ranges kept;
    for (auto [first, last] : ranges) {
        if (first < 0) {  // a suffix: the last `last` bytes
            if (last <= 0) continue;
            first = std::max<ssize_t>(0, length - last);
            last = length - 1;
        } else if (last < 0 || last >= length) {
            last = length - 1;
        }
        if (first <= last) kept.emplace_back(first, last);
    }
    ranges = std::move(kept);
    return !ranges.empty();
}

// A thread for every connection, at most kMostConnections at once (beyond that the listening
// thread waits for one to end before it accepts more). The library's own pool of a few threads
// lets as many idle or slow connections hold every one of them while the page waits. Nothing
// waits for the threads at the end: see LocalServer::Start.
class ConnectionThreads final : public httplib::TaskQueue {
public:
    // Below the usual limit of 1024 open files, with room for the files being served.
    static constexpr int kMostConnections = 900;

    void enqueue(std::function<void()> fn) override {
        {
            std::unique_lock<std::mutex> lock(m_count->mutex);
            m_count->ended.wait(lock, [this] { return m_count->running < kMostConnections; });
            ++m_count->running;
        }
        auto job = std::make_unique<Job>(Job{std::move(fn), m_count});
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        if (pthread_create(&thread, &attributes, Run, job.get()) == 0)
            job.release();  // the thread's now
        else
            Run(job.release());  // no thread to spare: served on this one
        pthread_attr_destroy(&attributes);
    }
    void shutdown() override {}

private:
    struct Count {  // shared with the threads, which may outlive the queue
        std::mutex mutex;
        std::condition_variable ended;
        int running = 0;
    };
    struct Job {
        std::function<void()> serve;
        std::shared_ptr<Count> count;
    };

    static void* Run(void* argument) {
        const std::unique_ptr<Job> job(static_cast<Job*>(argument));
        job->serve();
        {
            std::lock_guard<std::mutex> lock(job->count->mutex);
            --job->count->running;
        }
        job->count->ended.notify_one();
        return nullptr;
    }

    std::shared_ptr<Count> m_count = std::make_shared<Count>();
};

class LocalHttpServer final : public LocalServer {
public:
    void AddBytes(const std::string& name, std::string bytes) override {
        m_entries["/" + m_token + "/" + name] = {
            std::make_shared<const std::string>(std::move(bytes)), {}};
    }
    void AddFile(const std::string& name, const fs::path& file) override {
        m_entries["/" + m_token + "/" + name] = {nullptr, file};
    }
    std::string Start() override;
    const std::string& Address() const override { return m_address; }
    bool PageServed() const override { return m_pageServed.load(); }

private:
    struct Entry {
        std::shared_ptr<const std::string> bytes;  // served when set
        fs::path file;                             // otherwise
    };

    void Answer(httplib::Request& request, httplib::Response& response);
    bool Serve(const Entry& entry, const std::string& type, httplib::Request& request,
               httplib::Response& response) const;
    bool IsOwnHost(const std::string& host) const;

    httplib::Server m_server;
    std::string m_token = RandomToken();
    std::string m_port;
    std::string m_address;
    std::map<std::string, Entry> m_entries;  // by path: "/<token>/<name>"
    std::atomic<bool> m_pageServed{false};
};

// 127.0.0.1:PORT, or localhost:PORT in any letter case: what a browser sends for the address
// printed, or for localhost.
bool LocalHttpServer::IsOwnHost(const std::string& host) const {
    const std::size_t colon = host.rfind(':');
    if (colon == std::string::npos || host.substr(colon + 1) != m_port) return false;
    const std::string name = host.substr(0, colon);
    return name == "127.0.0.1" || strcasecmp(name.c_str(), "localhost") == 0;
}

// Sends the bytes or the file, in the ranges asked for (clamped to it); false when the file
// cannot be read.
bool LocalHttpServer::Serve(const Entry& entry, const std::string& type, httplib::Request& request,
                            httplib::Response& response) const {
    std::error_code ec;
    const std::size_t size = entry.bytes ? entry.bytes->size() : fs::file_size(entry.file, ec);
    auto in = std::make_shared<std::ifstream>();
    if (!entry.bytes) in->open(entry.file, std::ios::binary);
    if (ec || (!entry.bytes && !*in)) return false;
    if (!request.ranges.empty() && !ClampRanges(request.ranges, size)) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        return true;
    }
    const std::shared_ptr<const std::string> bytes = entry.bytes;
    response.set_content_provider(
        size, type, [bytes, in](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            length = std::min<std::size_t>(length, 1 << 16);  // a large file is never held whole
            if (bytes) return sink.write(bytes->data() + offset, length);
            std::vector<char> buffer(length);
            in->seekg(static_cast<std::streamoff>(offset));
            in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const std::streamsize got = in->gcount();
            return got > 0 && sink.write(buffer.data(), static_cast<std::size_t>(got));
        });
    return true;
}

void LocalHttpServer::Answer(httplib::Request& request, httplib::Response& response) {
    const auto entry = m_entries.find(request.path);  // the path as decoded from the URL
    const std::string name =
        entry == m_entries.end() ? std::string() : entry->first.substr(m_token.size() + 2);
    const std::string type = ContentType(name);
    const bool ownHost = IsOwnHost(request.get_header_value("Host"));
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (ownHost && get && entry != m_entries.end() &&
        Serve(entry->second, type, request, response)) {
        if (name.empty()) m_pageServed.store(true);
        return;
    }
    request.ranges.clear();  // for the answer's own body
    response.status = !ownHost ? 403 : get ? 404 : 405;
    response.set_content(!ownHost ? "Forbidden\n"
                         : get    ? "Not found\n"
                                  : "Not allowed\n",
                         "text/plain");
}

std::string LocalHttpServer::Start() {
    if (m_token.empty()) return "the system gave no random numbers for the page's address";
    m_server.new_task_queue = [] { return new ConnectionThreads; };
    // A connection that sends nothing is closed after a second; a browser opens new ones.
    m_server.set_keep_alive_timeout(1);
    // Every request is answered here, before the library's routing. The library hands over the
    // request it parsed, an object of its own, as const; Answer clamps its ranges, which the
    // library (0.11) would otherwise answer past the end of the file.
    m_server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            Answer(const_cast<httplib::Request&>(request), response);
            return httplib::Server::HandlerResponse::Handled;
        });
    // The listening socket without the library's SO_REUSEPORT, which would let another program
    // of this user listen on the same port, and with a backlog longer than the library's 5, so
    // that a burst of connections (a browser opens several at once) waits to be accepted rather
    // than having to try again a second later.
    int listener = -1;
    m_server.set_socket_options([&listener](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listener = socket;
    });
    const int port = m_server.bind_to_any_port("127.0.0.1");
    if (port <= 0 || listen(listener, SOMAXCONN) != 0)
        return "cannot listen on 127.0.0.1: " + std::string(std::strerror(errno));
    m_port = std::to_string(port);
    m_address = "http://127.0.0.1:" + m_port + "/" + m_token + "/";
    std::thread([this] { m_server.listen_after_bind(); }).detach();
    return {};
}

}  // namespace

extern "C" LocalServer* QuorvelMakeLocalServer() { return new LocalHttpServer; }
