#include "Platform/SingleInstance.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "Platform/FilePaths.h"
#include "Platform/FolderListing.h"
#include "Platform/Log.h"
#include "Platform/StatusCodes.h"
#include "Platform/Value.h"

namespace vistel {

struct SingleInstance::Connection {
    int fd = -1;
    RunLoop::SourceId source = 0;
    std::string bytes;
};

namespace {

bool isPrivateFolder(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool fillAddress(const std::string& path, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

std::string SingleInstance::runtimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && isPrivateFolder(runtime))
        return runtime;
    const char* temporary = std::getenv("TMPDIR");
    std::string base = (temporary && temporary[0] == '/') ? temporary : "/tmp";
    std::string folder = joinPath(base, "vistel-" + std::to_string(::geteuid()));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        ZovLog("SingleInstance::runtimeFolder cannot make " + folder + ": " + std::strerror(errno));
        return {};
    }
    if (!isPrivateFolder(folder)) {
        ZovLog("SingleInstance::runtimeFolder " + folder + " is not a private folder of this user");
        return {};
    }
    return folder;
}

SingleInstance::SingleInstance(std::string folder, std::string name)
    : folder_(std::move(folder))
    , name_(std::move(name))
{
}

SingleInstance::~SingleInstance()
{
    while (!connections_.empty())
        closeConnection(connections_.back()->fd);
    if (loop_ && listenSource_)
        loop_->removeFileDescriptor(listenSource_);
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(socketPath().c_str());
    }
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

std::string SingleInstance::lockPath() const { return joinPath(folder_, name_ + ".lock"); }
std::string SingleInstance::socketPath() const { return joinPath(folder_, name_ + ".socket"); }

bool SingleInstance::becomeServer()
{
    if (isServer())
        return true;
    if (folder_.empty())
        return false;
    if (lockFd_ < 0) {
        lockFd_ = ::open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (lockFd_ < 0) {
            ZovLog("SingleInstance::becomeServer cannot open " + lockPath() + ": " + std::strerror(errno));
            return false;
        }
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0)
        return false;
    sockaddr_un address {};
    if (!fillAddress(socketPath(), address)) {
        ZovLog("SingleInstance::becomeServer socket path too long: " + socketPath());
        return false;
    }
    ::unlink(socketPath().c_str()); // left by a server that was killed; we hold the lock
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        ZovLog("SingleInstance::becomeServer cannot serve " + socketPath() + ": " + std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    listenFd_ = fd;
    return true;
}

void SingleInstance::serve(RunLoop* loop, Handler handler)
{
    if (!isServer() || !loop)
        return;
    loop_ = loop;
    handler_ = std::move(handler);
    listenSource_ = loop_->addFileDescriptor(listenFd_, RunLoop::Readable, [this](int, std::uint32_t) {
        acceptConnections();
    });
}

void SingleInstance::acceptConnections()
{
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        auto* connection = new Connection;
        connection->fd = fd;
        connections_.push_back(connection);
        connection->source = loop_->addFileDescriptor(fd, RunLoop::Readable, [this](int ready, std::uint32_t) {
            readConnection(ready);
        });
    }
}

void SingleInstance::readConnection(int fd)
{
    Connection* connection = nullptr;
    for (Connection* candidate : connections_)
        if (candidate->fd == fd)
            connection = candidate;
    if (!connection)
        return;
    char buffer[16384];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            connection->bytes.append(buffer, static_cast<std::size_t>(got));
            if (connection->bytes.size() > MaximumRequestBytes) {
                ZovLog("SingleInstance::readConnection request over the size limit dropped");
                closeConnection(fd);
                return;
            }
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return; // more to come
        break;      // end of the request (or a failed read)
    }
    std::string request = std::move(connection->bytes);
    std::string error;
    std::optional<Value> value = Value::fromXmlPropertyList(request, &error);
    std::vector<std::string> paths;
    bool valid = value && value->isArray();
    if (valid) {
        for (const Value& item : value->asArray()) {
            if (!item.isString() || item.asString().empty() || item.asString()[0] != '/') {
                valid = false;
                break;
            }
            paths.push_back(item.asString());
        }
    }
    if (!valid) {
        ZovLog("SingleInstance::readConnection unreadable request dropped " + error);
        closeConnection(fd);
        return;
    }
    const char answer = 1;
    (void)::send(fd, &answer, 1, MSG_NOSIGNAL);
    closeConnection(fd);
    if (handler_)
        handler_(paths);
}

void SingleInstance::closeConnection(int fd)
{
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
        if ((*it)->fd != fd)
            continue;
        loop_->removeFileDescriptor((*it)->source);
        ::close(fd);
        delete *it;
        connections_.erase(it);
        return;
    }
}

bool SingleInstance::sendToServer(const std::vector<std::string>& paths, double timeoutSeconds) const
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    Value list = Value::array();
    for (const std::string& path : paths)
        list.append(Value(absolutePath(path)));
    std::optional<std::string> request = list.toXmlPropertyList();
    if (!request || request->size() > MaximumRequestBytes) {
        ZovLog("SingleInstance::sendToServer the file list is too long to send");
        return false;
    }
    sockaddr_un address {};
    if (!fillAddress(socketPath(), address))
        return false;
    FileDescriptor socket;
    // The server may hold the lock but not be listening yet: try again until the deadline.
    for (;;) {
        socket = FileDescriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (socket.get() < 0)
            return false;
        if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            break;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::size_t sent = 0;
    while (sent < request->size()) {
        ssize_t wrote = ::send(socket.get(), request->data() + sent, request->size() - sent, MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        sent += static_cast<std::size_t>(wrote);
    }
    ::shutdown(socket.get(), SHUT_WR);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd watch {socket.get(), POLLIN, 0};
        int ready = ::poll(&watch, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char answer = 0;
        return ::read(socket.get(), &answer, 1) == 1 && answer == 1;
    }
}

} // namespace vistel
