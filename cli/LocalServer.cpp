#include "cli/LocalServer.h"

#include <httplib.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <vector>

#include "base/AtomicFile.h"

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

// Streams the file in pieces, so that a large movie is never held whole.
bool ServeFile(const fs::path& file, const std::string& type, httplib::Response& response) {
    auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (!*in || ec) return false;
    response.set_content_provider(
        static_cast<std::size_t>(size), type,
        [in](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            std::vector<char> buffer(std::min<std::size_t>(length, 1 << 16));
            in->seekg(static_cast<std::streamoff>(offset));
            in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const std::streamsize got = in->gcount();
            return got > 0 && sink.write(buffer.data(), static_cast<std::size_t>(got));
        });
    return true;
}

}  // namespace

LocalServer::LocalServer()
    : m_server(std::make_unique<httplib::Server>()), m_token(RandomToken()) {}

LocalServer::~LocalServer() {
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

void LocalServer::AddText(const std::string& name, std::string text) {
    m_entries["/" + m_token + "/" + name] = {std::move(text), {}};
}

void LocalServer::AddFile(const std::string& name, const fs::path& file) {
    m_entries["/" + m_token + "/" + name] = {{}, file};
}

std::string LocalServer::Start() {
    if (m_token.empty()) return "the system gave no random numbers for the page's address";
    // A browser keeps idle connections open; a short keep-alive lets an interrupt end at once.
    m_server->set_keep_alive_timeout(1);
    m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        const auto entry = m_entries.find(request.path);  // the path as decoded from the URL
        const std::string name =
            entry == m_entries.end() ? std::string() : entry->first.substr(m_token.size() + 2);
        const std::string type = ContentType(name);
        if (entry != m_entries.end() && entry->second.file.empty()) {
            response.set_content(entry->second.text, type);
        } else if (entry == m_entries.end() || !ServeFile(entry->second.file, type, response)) {
            response.status = 404;
            response.set_content("Not found\n", "text/plain");
        }
    });
    const int port = m_server->bind_to_any_port("127.0.0.1");
    if (port <= 0) return "cannot listen on 127.0.0.1: " + ErrorText(errno);
    m_address = "http://127.0.0.1:" + std::to_string(port) + "/" + m_token + "/";
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    return {};
}
