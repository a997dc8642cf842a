#pragma once
// A private D-Bus bus for tests of system services: dbus-daemon started on a socket in a
// temporary folder, made the process's "system bus" (DBUS_SYSTEM_BUS_ADDRESS) before the first
// use of QDBusConnection::systemBus() (or its session bus, when asked), and the fake UDisks2 service (fake_udisks2) on it. The
// machine's buses are never used. Everything started is ended with the object.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

extern char** environ;

namespace vistel::test {

class PrivateSystemBus {
public:
    // `variable` names the bus it stands for: the system bus, or "DBUS_SESSION_BUS_ADDRESS".
    explicit PrivateSystemBus(const std::string& folder, const char* variable = "DBUS_SYSTEM_BUS_ADDRESS")
        : folder_(folder)
    {
        const std::string socket = folder + "/bus";
        std::ofstream(folder + "/bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>vistel-test</type><listen>unix:path="
            << socket
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
               "<allow own=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/></policy>"
               "</busconfig>\n";
        if (!start({"dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + folder + "/bus.conf"}))
            return;
        if (!waitFor([&] { return std::filesystem::exists(socket); }))
            return;
        address_ = "unix:path=" + socket;
        ::setenv(variable, address_.c_str(), 1);
    }
    ~PrivateSystemBus()
    {
        for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
            ::kill(*it, SIGTERM);
            ::waitpid(*it, nullptr, 0);
        }
    }
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    bool running() const { return !address_.empty(); }
    const std::string& address() const { return address_; }

    // Starts fake_udisks2 serving the block device "major:minor" with a file system of `type`
    // in `image`; answers once it owns its name. `error` makes SetLabel fail with that name.
    bool startFakeUDisks2(const std::string& program, const std::string& device, const std::string& type,
                          const std::string& image, const std::string& error = "")
    {
        std::vector<std::string> arguments {program, address_, device, type, image, log()};
        if (!error.empty())
            arguments.push_back(error);
        return startFake(arguments);
    }
    // Starts fake_udisks2 serving the file system of the block device "major:minor" mounted at
    // `mountPoint` (its unmounts are real), on a drive of `drive` ("usb", "optical", or "" for
    // none).
    bool startFakeUDisks2Mounted(const std::string& program, const std::string& device, const std::string& type,
                                 const std::string& mountPoint, const std::string& drive)
    {
        std::vector<std::string> arguments {program, address_, device, type, "", log(), "--mount-point=" + mountPoint};
        if (!drive.empty())
            arguments.push_back("--drive=" + drive);
        return startFake(arguments);
    }
    // Ends the fake services started so far and empties the log; the bus stays (a process
    // keeps its first connection to it), so a test binary can serve one fake after another.
    void stopFakes()
    {
        while (started_.size() > 1) {
            ::kill(started_.back(), SIGTERM);
            ::waitpid(started_.back(), nullptr, 0);
            started_.pop_back();
        }
        std::filesystem::remove(log());
    }
    std::string log() const { return folder_ + "/calls.log"; }
    // The fake's log, one call a line ("ready" first).
    std::vector<std::string> calls() const
    {
        std::vector<std::string> lines;
        std::ifstream file(log());
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }

private:
    bool startFake(const std::vector<std::string>& arguments)
    {
        return start(arguments) && waitFor([&] { return calls().size() > 0 && calls().front() == "ready"; });
    }
    bool start(const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            return false;
        started_.push_back(pid);
        return true;
    }
    template <class Done>
    bool waitFor(Done done)
    {
        for (int i = 0; i < 500; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string folder_;
    std::string address_;
    std::vector<pid_t> started_;
};

} // namespace vistel::test
