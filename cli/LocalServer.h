#pragma once

#include <filesystem>
#include <string>

// Serves a fixed set of files to this machine alone: on 127.0.0.1, at a free port, under a path
// that begins with a random 128-bit token, so that other users and web pages cannot guess it.
// Exactly the files added are served; every other path (a folder, "..", a name not added) is
// answered with 404, and a request whose Host is not the server's own address (127.0.0.1:PORT or
// localhost:PORT: a page of another site whose name was made to point here) with 403.
//
// The HTTP library, with the TLS and compression libraries it is built with, is not part of the
// program: it lives in a module of its own that only `play` loads (LoadLocalServer), so that
// every other command starts without it.
class LocalServer {
public:
    virtual ~LocalServer() = default;

    // Serves the bytes at <address><name>, or the file (read when asked for) there. The content
    // type follows the name's extension; the empty name is the page.
    virtual void AddBytes(const std::string& name, std::string bytes) = 0;
    virtual void AddFile(const std::string& name, const std::filesystem::path& file) = 0;

    // Starts serving on threads of its own, a thread for each connection, until the program
    // ends: a client can hold its connection's thread in a read for ever (a request sent a byte
    // at a time), so nothing waits for them, and the server is never stopped or destroyed.
    // Returns an empty string, or the cause.
    virtual std::string Start() = 0;
    // "http://127.0.0.1:<port>/<token>/": the page's address.
    virtual const std::string& Address() const = 0;
    // Whether the page has been served since Start.
    virtual bool PageServed() const = 0;
};

// The function of the module that makes its server (what LoadLocalServer calls).
extern "C" LocalServer* QuorvelMakeLocalServer();
using MakeLocalServerFunction = decltype(&QuorvelMakeLocalServer);
inline constexpr const char* kMakeLocalServerSymbol = "QuorvelMakeLocalServer";

// The server of the module installed beside the program (QUORVEL_SERVER_MODULE, relative to
// the program's folder: <prefix>/lib/quorvel/quorvel-server.so, and the same place in the build
// tree), loaded on the first call and kept until the program ends. Null when it cannot be
// loaded; error then says why.
LocalServer* LoadLocalServer(std::string& error);
