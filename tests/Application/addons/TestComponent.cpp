// An add-on for the add-on search's tests: "ZovTestComponent" puts one item into the Tools
// menu (titled after its bundle folder), "RefusingComponent" declines; other names answer null.
#include <memory>
#include <string>

#include "Application/MainMenu.h"
#include "Application/ZovTestComponent.h"
#include "Platform/FilePaths.h"
#include "Platform/Gui/Responder.h"

namespace {

class TestComponent : public vistel::ZovTestComponentProtocol {
public:
    explicit TestComponent(bool inserts) : inserts_(inserts) { }
    bool insertTo(vistel::Responder& application, vistel::MainMenu& menu) override
    {
        if (!inserts_)
            return false;
        const std::string name = vistel::lastPathComponent(path_);
        const std::string action = "addOn:" + name;
        application.setActionHandler(action, [](QObject*) { });
        menu.addEntry({"Tools", "Add-on " + name, action, 0, {}});
        return true;
    }
    std::string bundlePath() const override { return path_; }
    void setBundlePath(const std::string& path) override { path_ = path; }

private:
    bool inserts_;
    std::string path_;
};

} // namespace

extern "C" __attribute__((visibility("default"))) vistel::ZovTestComponentProtocol* ZovTestComponentCreate(
    const char* className)
{
    const std::string name = className ? className : "";
    if (name == "ZovTestComponent")
        return new TestComponent(true);
    if (name == "RefusingComponent")
        return new TestComponent(false);
    return nullptr;
}
