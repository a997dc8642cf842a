#pragma once
// The loopback end of the network fuzzers: one listening socket on 127.0.0.1 for the whole run,
// whose backlog completes a client's connect, so that one thread can play both ends. Every wait
// is bounded; a harness fault aborts (it is not a finding of the code under test).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace vistel::test {

// Non-blocking, so that a wait for a connection is a bounded poll.
inline int fuzzListener()
{
    static const int fd = [] {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0)
            std::abort();
        return s;
    }();
    return fd;
}

inline int fuzzListenerPort()
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fuzzListener(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::abort();
    return ntohs(address.sin_port);
}

// Accepts the connection a client has made, sends it every byte of `bytes` (few enough to fit
// in the socket's buffers) and shuts down the sending side; answers the connection, for the
// caller to close.
inline int fuzzAcceptAndSend(std::string_view bytes)
{
    pollfd ready{fuzzListener(), POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1)
        std::abort();
    const int peer = ::accept4(fuzzListener(), nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0)
        std::abort();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(peer, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            std::abort();
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(peer, SHUT_WR);
    return peer;
}

} // namespace vistel::test
