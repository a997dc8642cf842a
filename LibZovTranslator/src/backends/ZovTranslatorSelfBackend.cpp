#include "ZovTranslatorSelfBackend.h"

#include "ZovTranslatorManager.h"

namespace vistel {

std::string ZovTranslatorSelfBackend::description()
{
    return ZOV_TRANSLATE_CLASS("Vistel original translation backend", "description");
}

} // namespace vistel
