// Fuzzes the XML layer over any file: the identity file's reader, the enumerators of every node
// type (device profiles, device types, resolutions, defaults, print layouts), the parameters
// and siblings of each hit and the text of whole nodes. Any input is read or refused without
// crashing, and an enumerator gives the hits of its node type in the order the query found
// (the defaults only their first).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Common/XML/XMLDocumentID.h"
#include "Common/XML/XMLNodeEnumerator.h"

namespace {

const std::string& folder()
{
    static const std::string path = [] {
        std::string pattern = "/tmp/fuzz_XMLDocument.XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return path;
}

void walk(const vistel::XMLDocumentPtr& document, int nodeType)
{
    auto enumerator = vistel::XMLNodeEnumerator::create(document, nodeType);
    if (!enumerator)
        return;
    const auto hits = enumerator->getObjectsArray();
    std::size_t count = 0;
    while (auto node = enumerator->nextObject()) {
        if (!hits || count >= hits->size() || node->getXMLNode() != (*hits)[count])
            std::abort();
        ++count;
        for (const char* name : {"name", "width", "height", "size", "id", "type", "layout"})
            (void)node->getParameterByName(name);
        (void)vistel::xmlStringValue(node->getXMLNode());
        if (auto next = node->getNextXMLNode(nodeType))
            (void)next->getParameterByName("name");
    }
    // The defaults are one entry: only their first hit is enumerated.
    const std::size_t expected =
        !hits ? 0 : nodeType == vistel::XMLNodeType::Defaults ? std::min<std::size_t>(hits->size(), 1) : hits->size();
    if (count != expected)
        std::abort();
    if (enumerator->nextObject())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        std::ofstream file(folder() + "/document.xml", std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const auto identity = vistel::XMLDocumentID::createWithXMLFile(folder(), std::string_view("document.xml"));
    if (!identity)
        return 0;
    (void)identity->getDeviceUUID();
    (void)identity->getDisplayname();
    (void)identity->getFrameSize();
    (void)identity->getResolution();
    const auto& document = identity->getXMLDocument();
    for (int nodeType = vistel::XMLNodeType::DeviceProfile; nodeType <= vistel::XMLNodeType::PrintLayout; ++nodeType)
        walk(document, nodeType);
    return 0;
}
