#include "Platform/TerminationSignals.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "Platform/Log.h"

namespace vistel {

namespace {

sigset_t terminationSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

void TerminationSignals::block()
{
    sigset_t set = terminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (loop_ && source_)
        loop_->removeFileDescriptor(source_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool TerminationSignals::watch(RunLoop* loop, Handler handler)
{
    sigset_t set = terminationSet();
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        ZovLog(std::string("TerminationSignals::watch signalfd failed: ") + std::strerror(errno));
        return false;
    }
    loop_ = loop;
    handler_ = std::move(handler);
    source_ = loop_->addFileDescriptor(fd_, RunLoop::Readable, [this](int fd, std::uint32_t) {
        signalfd_siginfo info {};
        while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (handler_)
                handler_(static_cast<int>(info.ssi_signo));
        }
    });
    return true;
}

} // namespace vistel
