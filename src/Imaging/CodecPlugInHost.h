#pragma once
// CodecPlugInHost: finds the codec plug-ins, creates their instances by plug-in type and
// interface, and initialises the codec core once.
//
// A plug-in is a shared object in the plug-ins folder (CodecPlugInContract.h) loaded with
// dlopen(RTLD_NOW | RTLD_LOCAL). Loading is lazy: the first instance request scans the folder,
// and while no plug-in has been found every request scans it again; once one has, the plug-in
// list is fixed. Factories are walked in plug-in order (file names), then in the order each
// plug-in lists them.
//
// The process uses CodecPlugInHost::shared(), over Bundle::main()->builtInPlugInsPath() (which
// Bundle::setPlugInsPathOverride replaces); it lives until the process ends, and so do its
// plug-ins and the core. Tests make their own hosts over a folder; such a host releases its core
// and unloads its plug-ins when destroyed, so every object its plug-ins made must be gone then.
//
// All members are safe to call from any thread.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Imaging/CodecPlugInContract.h"
#include "Imaging/IUnknownArray.h"

namespace vistel {

class CodecPlugInHost {
public:
    // Over `folder`; an empty folder means the main bundle's plug-ins folder at each scan.
    explicit CodecPlugInHost(std::string folder = {});
    ~CodecPlugInHost();
    CodecPlugInHost(const CodecPlugInHost&) = delete;
    CodecPlugInHost& operator=(const CodecPlugInHost&) = delete;

    static CodecPlugInHost& shared();

    // Scans the folder and keeps every shared object that exports the factory list. True when
    // at least one plug-in is loaded (then and for good).
    bool LoadPlugIns();
    // The first instance of `plugInType` that answers `iid`: 0 (or another non-negative answer
    // of its QueryInterface) with the interface in *out, one reference for the caller. Else
    // *out is null and the answer is the last refusal, or CODEC_E_FAIL when no plug-in is
    // loaded, no factory is registered for the type or no factory made an instance.
    CodecResult CreatePlugInInstance(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid, void** out);
    // Every instance of `plugInType` that answers `iid`, in order. 0 also when none answers
    // (*out stays null); CODEC_E_FAIL when no plug-in is loaded or no factory is registered.
    CodecResult CreatePlugInInstances(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid,
        Ref<IUnknownArray>* out);
    // A new, initialised codec core (one reference for the caller), or null when there is none
    // or its initialisation fails.
    ICodecCore* CreateCodecCore();
    // Makes the core once and keeps it; whether there is one.
    bool InitCodecPlugIns();
    // The kept core (no reference added), null before InitCodecPlugIns or without one.
    ICodecCore* codecCore() const;

    std::size_t plugInCount() const;
    std::string folder() const;

private:
    struct PlugIn;
    bool ensureLoaded();
    std::vector<const CodecPlugInFactory*> factoriesFor(const CodecUUIDBytes& plugInType) const;

    const std::string folder_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<PlugIn>> plugIns_; // fixed once loaded_ is set
    bool loaded_ = false;
    std::once_flag coreOnce_;
    ICodecCore* core_ = nullptr;
};

// The contract's functions, over CodecPlugInHost::shared().
bool LoadPlugIns();
CodecResult CreatePlugInInstance(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid, void** out);
CodecResult CreatePlugInInstances(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid,
    Ref<IUnknownArray>* out);
ICodecCore* CreateCodecCore();
bool InitCodecPlugIns();

} // namespace vistel
