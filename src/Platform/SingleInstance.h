#pragma once
// SingleInstance: one running program per user; later starts hand their files to it.
//
// The instance that first takes an exclusive flock on "<folder>/<name>.lock" is the server:
// it binds the AF_UNIX socket "<folder>/<name>.socket" (a stale one left by a killed server is
// removed first, which is safe because only the lock holder ever binds) and serves it from a
// descriptor source of a run loop. The kernel drops the lock when the process ends, however it
// ends, so after a kill -9 the next start serves.
//
// Every other start is a client: it connects (retrying while the server is still binding),
// sends the absolute paths of its files as an XML property list (an array of strings, at most
// MaximumRequestBytes), closes its sending side and waits for the one-byte answer. The server
// reads each connection to its end, answers, and hands the paths to its handler on its loop;
// an unreadable or oversized request is dropped without an answer.
//
// The folder is $XDG_RUNTIME_DIR, else a private 0700 folder "vistel-<uid>" in the temporary
// directory (one that is not ours, or is open to others, is refused).
//
// Thread rules: an instance is used on one thread; its handler runs on the serving loop.

#include <functional>
#include <string>
#include <vector>

#include "Platform/RunLoop.h"

namespace vistel {

class SingleInstance {
public:
    static constexpr std::size_t MaximumRequestBytes = 4 * 1024 * 1024;

    // The per-user folder of the lock and the socket; empty when no safe folder is found.
    static std::string runtimeFolder();

    SingleInstance(std::string folder, std::string name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    std::string lockPath() const;
    std::string socketPath() const;

    // Takes the lock and binds the socket. True: this process is the server. False: another
    // process holds the lock (or the folder is unusable, logged).
    bool becomeServer();
    bool isServer() const { return listenFd_ >= 0; }

    // Serves requests on `loop`; `handler` gets each request's paths (possibly none).
    using Handler = std::function<void(const std::vector<std::string>& paths)>;
    void serve(RunLoop* loop, Handler handler);

    // Client side: sends `paths` (made absolute against the current folder) to the server and
    // waits at most `timeoutSeconds` in all for its answer. True when the server answered.
    bool sendToServer(const std::vector<std::string>& paths, double timeoutSeconds = 5.0) const;

private:
    struct Connection;
    void acceptConnections();
    void readConnection(int fd);
    void closeConnection(int fd);

    std::string folder_;
    std::string name_;
    int lockFd_ = -1;
    int listenFd_ = -1;
    RunLoop* loop_ = nullptr;
    RunLoop::SourceId listenSource_ = 0;
    Handler handler_;
    std::vector<Connection*> connections_;
};

} // namespace vistel
