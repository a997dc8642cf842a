#include "Common/Strings/NSURLExtentions.h"

namespace vistel::NSURLExtentions {

namespace {

// Position of the first ":/", or npos when it is absent or at the very start.
std::size_t protocolEnd(std::string_view url)
{
    const std::size_t at = url.find(":/");
    return (at == std::string_view::npos || at == 0) ? std::string_view::npos : at;
}

// "scheme://" is followed by an authority; "scheme:/x" is not.
bool hasAuthority(std::string_view url, std::size_t protocolEnd)
{
    return url.substr(protocolEnd + 1).starts_with("//");
}

// The authority of "scheme://authority/...": up to the path, query or fragment.
std::string_view authority(std::string_view url, std::size_t protocolEnd)
{
    std::string_view rest = url.substr(protocolEnd + 3);
    return rest.substr(0, rest.find_first_of("/?#"));
}

// "41:7" -> "41"; a component without ':' stays whole.
std::string_view cutBeforeLastColon(std::string_view text)
{
    const std::size_t colon = text.rfind(':');
    return colon == std::string_view::npos ? text : text.substr(0, colon);
}

} // namespace

std::optional<std::string> protocol(std::string_view url)
{
    const std::size_t end = protocolEnd(url);
    if (end == std::string_view::npos)
        return std::nullopt;
    return std::string(url.substr(0, end));
}

std::optional<std::string> hostReplaced(std::string_view url)
{
    if (url.empty() || url.front() == '/')
        return std::nullopt;
    const std::size_t end = protocolEnd(url);
    if (end == std::string_view::npos)
        return std::nullopt;

    if (hasAuthority(url, end)) {
        std::string_view host = authority(url, end);
        if (const std::size_t at = host.rfind('@'); at != std::string_view::npos)
            host.remove_prefix(at + 1);
        host = cutBeforeLastColon(host);
        if (host.empty())
            return std::nullopt;
        return std::string(host);
    }

    std::string_view rest = url.substr(end + 2);
    const std::string_view first = rest.substr(0, rest.find('/'));
    if (first.empty())
        return std::nullopt;
    return std::string(cutBeforeLastColon(first));
}

std::optional<std::string> path(std::string_view url)
{
    const std::size_t end = protocolEnd(url);
    if (end == std::string_view::npos)
        return std::nullopt;
    if (hasAuthority(url, end)) {
        const std::string_view rest = url.substr(end + 3);
        const std::size_t slash = rest.find('/');
        return slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
    }
    return std::string(url.substr(end + 1));
}

} // namespace vistel::NSURLExtentions
