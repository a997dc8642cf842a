#include "Platform/FeatureSwitches.h"

#include "Platform/UserDefaults.h"

namespace vistel {

bool ThumbnailLoggingEnabled()
{
    return UserDefaults::standard().boolForKey(ThumbnailLoggingPreferenceKey);
}

} // namespace vistel
