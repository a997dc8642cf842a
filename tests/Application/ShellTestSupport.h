#pragma once
// What the shell's tests share: private preference and data folders set before anything reads
// them, scripted alert answers, and the terminate handler that records instead of exiting.

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "Application/ApplicationContinuousUserActionHandlersRegistry.h"
#include "Platform/Gui/Alert.h"
#include "Platform/Gui/PlatformApplication.h"

namespace vistel::test {

// Points $XDG_CONFIG_HOME, $XDG_DATA_HOME and $HOME at a private folder of the process, removed
// when the process exits; call from a static initialiser, before the standard defaults are
// first used.
inline bool usePrivateShellFolders()
{
    static const bool done = [] {
        static char pattern[] = "/tmp/vistel-shell-XXXXXX";
        static const pid_t owner = ::getpid();
        const char* folder = ::mkdtemp(pattern);
        if (!folder)
            return false;
        std::atexit([] {
            if (::getpid() != owner)
                return; // a forked child leaves its parent's folder alone
            std::error_code ignored;
            std::filesystem::remove_all(pattern, ignored);
        });
        const std::string base = folder;
        ::setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
        ::setenv("HOME", base.c_str(), 1);
        ::unsetenv("XDG_RUNTIME_DIR");
        return true;
    }();
    return done;
}

// Answers alerts by title, in order; a run past the script presses the first button. Records
// every alert's message.
class ScriptedAlerts {
public:
    explicit ScriptedAlerts(std::vector<std::string> titles = {})
        : titles_(std::move(titles))
    {
        Alert::clearAnsweredAlerts();
        previous_ = Alert::setResponder([this](const AlertRecord& record) {
            messages.push_back(record.messageText);
            if (next_ < titles_.size())
                return AlertResponse::pressTitled(titles_[next_++]);
            return AlertResponse::pressButton(0);
        });
    }
    ~ScriptedAlerts() { Alert::setResponder(previous_); }
    std::vector<std::string> messages;

private:
    std::vector<std::string> titles_;
    std::size_t next_ = 0;
    Alert::Responder previous_;
};

// Counts PlatformApplication::terminate() calls instead of ending the process.
class RecordedTermination {
public:
    RecordedTermination()
    {
        previous_ = PlatformApplication::setTerminateHandler([this] { ++count; });
    }
    ~RecordedTermination() { PlatformApplication::setTerminateHandler(previous_); }
    int count = 0;

private:
    PlatformApplication::TerminateHandler previous_;
};

// A running task registered with the quit-time registry for its lifetime, answering `reply`.
class RegisteredTask : public ApplicationContinuousUserActionHandler {
public:
    RegisteredTask(unsigned reply, std::optional<std::string> description, std::optional<std::string> source = {},
                   std::optional<std::string> destination = {})
        : reply_(reply)
        , description_(std::move(description))
        , source_(std::move(source))
        , destination_(std::move(destination))
    {
        ApplicationContinuousUserActionHandlersRegistry::defaultRegistry().registerACUAH(this);
    }
    unsigned applicationShouldTerminate(ApplicationContinuousUserActionHandlersRegistry&,
                                        std::optional<std::string>& source, std::optional<std::string>& destination,
                                        std::optional<std::string>& description) override
    {
        source = source_;
        destination = destination_;
        description = description_;
        return reply_;
    }

private:
    unsigned reply_;
    std::optional<std::string> description_, source_, destination_;
};

} // namespace vistel::test
