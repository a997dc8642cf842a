#include "Platform/ErrorRecord.h"

namespace vistel {

std::string ErrorRecord::localizedDescription() const
{
    const Value& text = userInfo.get(NSLocalizedDescriptionKey);
    if (text.isString())
        return text.asString();
    return "The operation could not be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

std::string ErrorRecord::localizedRecoverySuggestion() const
{
    return userInfo.get(NSLocalizedRecoverySuggestionErrorKey).toString();
}

std::vector<std::string> ErrorRecord::localizedRecoveryOptions() const
{
    std::vector<std::string> options;
    for (const Value& option : userInfo.get(NSLocalizedRecoveryOptionsErrorKey).asArray())
        if (option.isString())
            options.push_back(option.asString());
    return options;
}

std::string ErrorRecord::description() const
{
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + localizedDescription() + "\"";
}

} // namespace vistel
