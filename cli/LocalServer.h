#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

// Serves a fixed set of files to this machine alone: on 127.0.0.1, at a free port, under a path
// that begins with a random 128-bit token, so that other users and web pages cannot guess it.
// Exactly the files added are served; every other path (a folder, "..", a name not added) is
// answered with 404.
class LocalServer {
public:
    LocalServer();
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    // Serves the text at <address><name>, or the file (read when asked for) there. The content
    // type follows the name's extension.
    void AddText(const std::string& name, std::string text);
    void AddFile(const std::string& name, const std::filesystem::path& file);

    // Starts serving on a thread of its own. Returns an empty string, or the cause.
    std::string Start();
    // "http://127.0.0.1:<port>/<token>/"; the empty name is this address itself.
    const std::string& Address() const { return m_address; }

private:
    struct Entry {
        std::string text;  // served when file is empty
        std::filesystem::path file;
    };

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::string m_token;
    std::string m_address;
    std::map<std::string, Entry> m_entries;  // by path: "/<token>/<name>"
};
