#include "Imaging/CodecPlugInHost.h"

#include <algorithm>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include "Imaging/CodecHostObjects.h"
#include "Imaging/ComSupport.h"
#include "Platform/Bundle.h"
#include "Platform/Log.h"

namespace vistel {

struct CodecPlugInHost::PlugIn {
    std::string path;
    void* handle = nullptr;
    std::vector<CodecPlugInFactory> factories;

    ~PlugIn()
    {
        if (handle)
            dlclose(handle);
    }
};

namespace {

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The candidate shared objects of `folder`, by file name.
std::vector<std::string> listSharedObjects(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || !endsWith(name, ".so"))
            continue;
        struct stat info;
        if (stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            names.push_back(std::move(name));
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

CodecPlugInHost::CodecPlugInHost(std::string folder) : folder_(std::move(folder)) { }

CodecPlugInHost::~CodecPlugInHost()
{
    CodecRelease(std::exchange(core_, nullptr));
    // Unload in reverse order of loading.
    while (!plugIns_.empty())
        plugIns_.pop_back();
}

CodecPlugInHost& CodecPlugInHost::shared()
{
    static CodecPlugInHost* host = new CodecPlugInHost(); // lives as long as the process
    return *host;
}

std::string CodecPlugInHost::folder() const
{
    return folder_.empty() ? Bundle::main()->builtInPlugInsPath() : folder_;
}

bool CodecPlugInHost::LoadPlugIns()
{
    std::lock_guard lock(mutex_);
    if (loaded_)
        return true;
    const std::string directory = folder();
    for (const std::string& name : listSharedObjects(directory)) {
        auto plugIn = std::make_unique<PlugIn>();
        plugIn->path = directory + "/" + name;
        plugIn->handle = dlopen(plugIn->path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!plugIn->handle) {
            const char* error = dlerror();
            ZovLog("CodecPlugInHost::LoadPlugIns cannot load " + plugIn->path + ": " + (error ? error : "?"));
            continue;
        }
        auto list = reinterpret_cast<VistelCodecPlugInFactoriesFunc>(
            dlsym(plugIn->handle, CODEC_PLUGIN_FACTORIES_SYMBOL));
        if (!list) {
            ZovLog("CodecPlugInHost::LoadPlugIns " + plugIn->path + " is not a codec plug-in");
            continue; // unloaded with `plugIn`
        }
        std::size_t count = 0;
        const CodecPlugInFactory* factories = list(&count);
        if (factories)
            plugIn->factories.assign(factories, factories + count);
        plugIns_.push_back(std::move(plugIn));
    }
    loaded_ = !plugIns_.empty();
    return loaded_;
}

bool CodecPlugInHost::ensureLoaded()
{
    {
        std::lock_guard lock(mutex_);
        if (loaded_)
            return true;
    }
    return LoadPlugIns();
}

std::vector<const CodecPlugInFactory*> CodecPlugInHost::factoriesFor(const CodecUUIDBytes& plugInType) const
{
    std::vector<const CodecPlugInFactory*> result;
    for (const auto& plugIn : plugIns_)
        for (const CodecPlugInFactory& factory : plugIn->factories)
            if (factory.plugInType == plugInType && factory.create)
                result.push_back(&factory);
    return result;
}

CodecResult CodecPlugInHost::CreatePlugInInstance(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid,
    void** out)
{
    if (!out)
        return CODEC_E_INVALIDARG;
    *out = nullptr;
    if (!ensureLoaded())
        return CODEC_E_FAIL;
    CodecResult result = CODEC_E_FAIL;
    for (const CodecPlugInFactory* factory : factoriesFor(plugInType)) {
        *out = nullptr;
        void* instance = factory->create(&plugInType);
        if (!instance)
            continue;
        result = static_cast<IUnknown*>(instance)->vtbl->QueryInterface(instance, iid, out);
        CodecRelease(instance);
        if (result >= 0 && *out)
            return result;
        if (result >= 0) // success without an interface: treat as a refusal
            result = CODEC_E_NOINTERFACE;
        CodecRelease(std::exchange(*out, nullptr));
    }
    *out = nullptr;
    return result;
}

CodecResult CodecPlugInHost::CreatePlugInInstances(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid,
    Ref<IUnknownArray>* out)
{
    if (!out)
        return CODEC_E_INVALIDARG;
    *out = nullptr;
    if (!ensureLoaded())
        return CODEC_E_FAIL;
    const auto factories = factoriesFor(plugInType);
    if (factories.empty())
        return CODEC_E_FAIL;
    for (const CodecPlugInFactory* factory : factories) {
        void* instance = factory->create(&plugInType);
        if (!instance)
            continue;
        void* interface = nullptr;
        if (static_cast<IUnknown*>(instance)->vtbl->QueryInterface(instance, iid, &interface) >= 0 && interface) {
            if (!*out)
                *out = CreateIUnknownArray();
            (*out)->append(interface);
        }
        CodecRelease(interface);
        CodecRelease(instance);
    }
    return CODEC_S_OK;
}

ICodecCore* CodecPlugInHost::CreateCodecCore()
{
    void* found = nullptr;
    if (CreatePlugInInstance(CodecCorePlugInTypeID, ICodecCoreID, &found) < 0 || !found)
        return nullptr;
    auto* core = static_cast<ICodecCore*>(found);

    CodecHostInfo info {};
    info.reserved = 0;
    info.companyName = createStringObject();
    info.productName = createStringObject();
    if (info.companyName)
        info.companyName->vtbl->SetCString(info.companyName, "Zov Systems", CODEC_ENCODING_MAC_ROMAN);
    if (info.productName)
        info.productName->vtbl->SetCString(info.productName, "Vistel", CODEC_ENCODING_MAC_ROMAN);
    info.allocator = createAllocatorObject();
    info.createHostObject = &CreateHostObject;
    const CodecResult result = core->vtbl->Initialize(core, &info);
    releaseFields(info);
    if (result < 0) {
        ZovLog("CodecPlugInHost::CreateCodecCore the codec core failed to initialise (" + std::to_string(result) + ")");
        CodecRelease(core);
        return nullptr;
    }
    return core;
}

bool CodecPlugInHost::InitCodecPlugIns()
{
    std::call_once(coreOnce_, [this] {
        ICodecCore* core = CreateCodecCore();
        std::lock_guard lock(mutex_);
        core_ = core;
    });
    return codecCore() != nullptr;
}

ICodecCore* CodecPlugInHost::codecCore() const
{
    std::lock_guard lock(mutex_);
    return core_;
}

std::size_t CodecPlugInHost::plugInCount() const
{
    std::lock_guard lock(mutex_);
    return plugIns_.size();
}

bool LoadPlugIns()
{
    return CodecPlugInHost::shared().LoadPlugIns();
}

CodecResult CreatePlugInInstance(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid, void** out)
{
    return CodecPlugInHost::shared().CreatePlugInInstance(plugInType, iid, out);
}

CodecResult CreatePlugInInstances(const CodecUUIDBytes& plugInType, const CodecUUIDBytes& iid,
    Ref<IUnknownArray>* out)
{
    return CodecPlugInHost::shared().CreatePlugInInstances(plugInType, iid, out);
}

ICodecCore* CreateCodecCore()
{
    return CodecPlugInHost::shared().CreateCodecCore();
}

bool InitCodecPlugIns()
{
    return CodecPlugInHost::shared().InitCodecPlugIns();
}

} // namespace vistel
