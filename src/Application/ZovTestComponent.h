#pragma once
// Add-on components: what an add-on bundle found at start-up offers the program.
//
// An add-on is a folder "<name>.bundle" or "<name>.framework" holding Info.plist
// (CFBundleIdentifier beginning with "com.ZovSystems.TestFramework", NSPrincipalClass,
// CFBundleExecutable) and the shared object that CFBundleExecutable names. The shared object
// exports the C function ZovTestComponentCreate: given the principal class's name it answers a
// new component (ownership passes to the program), or null when it has no such class. Add-ons
// are built with the program (same compiler and C++ library), against its libraries.
//
// Thread rules: components are made, asked and destroyed on the main thread.
#include <string>

namespace vistel {

class MainMenu;
class Responder;

class ZovTestComponentProtocol {
public:
    virtual ~ZovTestComponentProtocol() = default;
    // Puts the component into the program's menu; true when it did.
    virtual bool insertTo(Responder& application, MainMenu& menu) = 0;
    virtual std::string bundlePath() const = 0;
    virtual void setBundlePath(const std::string& path) = 0;
};

} // namespace vistel

// The principal-class factory every add-on exports.
extern "C" {
typedef vistel::ZovTestComponentProtocol* (*ZovTestComponentCreateFunction)(const char* className);
}
#define ZOV_TEST_COMPONENT_CREATE_SYMBOL "ZovTestComponentCreate"
