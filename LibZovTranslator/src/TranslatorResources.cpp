#include "TranslatorResources.h"

#include "Platform/Bundle.h"

namespace vistel::translator_resources {

std::string resourcesDirectory()
{
    return Bundle::main()->resourcePath();
}

std::string developmentRegion()
{
    const Value& region = Bundle::main()->objectForInfoDictionaryKey("CFBundleDevelopmentRegion");
    return region.isString() && !region.asString().empty() ? region.asString() : "en";
}

std::vector<std::string> preferredLanguages()
{
    return Bundle::preferredLanguages();
}

} // namespace vistel::translator_resources
