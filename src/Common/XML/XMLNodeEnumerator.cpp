#include "Common/XML/XMLNodeEnumerator.h"

#include <array>
#include <mutex>

#include "Platform/Log.h"

namespace vistel {

namespace {

constexpr std::array<const char*, 5> queries {
    "//device-profile", "//device-profile", "//size", "//defaults", "//layout",
};

std::mutex factoriesMutex;
std::array<XMLNodeEnumerator::WrapperFactory, queries.size()>& factories()
{
    static std::array<XMLNodeEnumerator::WrapperFactory, queries.size()> table;
    return table;
}

} // namespace

XMLNodeEnumerator::XMLNodeEnumerator(XMLDocumentPtr document, int nodeType)
    : document_(std::move(document))
    , nodeType_(nodeType)
{
}

Ref<XMLNodeEnumerator> XMLNodeEnumerator::create(XMLDocumentPtr document, int nodeType)
{
    return Ref<XMLNodeEnumerator>::adopt(new XMLNodeEnumerator(std::move(document), nodeType));
}

bool XMLNodeEnumerator::isKnownNodeType(int nodeType)
{
    return nodeType >= 0 && std::size_t(nodeType) < queries.size();
}

void XMLNodeEnumerator::registerWrapperClass(int nodeType, WrapperFactory factory)
{
    if (!isKnownNodeType(nodeType))
        return;
    std::lock_guard lock(factoriesMutex);
    factories()[std::size_t(nodeType)] = std::move(factory);
}

Ref<XMLNode> XMLNodeEnumerator::wrap(const XMLDocumentPtr& document, pugi::xml_node node, int nodeType)
{
    if (!isKnownNodeType(nodeType))
        return nullptr;
    WrapperFactory factory;
    {
        std::lock_guard lock(factoriesMutex);
        factory = factories()[std::size_t(nodeType)];
    }
    return factory ? factory(document, node) : XMLNode::create(document, node);
}

std::optional<std::vector<pugi::xml_node>> XMLNodeEnumerator::getObjectsArray() const
{
    if (!isKnownNodeType(nodeType_)) {
        ZovLog("XMLNodeEnumerator::getObjectsArray Unknown node type");
        return std::nullopt;
    }
    if (!document_)
        return std::nullopt;
    try {
        pugi::xpath_node_set hits = document_->select_nodes(queries[std::size_t(nodeType_)]);
        hits.sort();
        std::vector<pugi::xml_node> nodes;
        for (const pugi::xpath_node& hit : hits)
            if (hit.node())
                nodes.push_back(hit.node());
        return nodes;
    } catch (const pugi::xpath_exception&) {
        return std::nullopt;
    }
}

Ref<XMLNode> XMLNodeEnumerator::nextObject()
{
    if (!hits_) {
        hits_ = getObjectsArray();
        if (!hits_)
            hits_.emplace();
        // The defaults entry is one entry: only its first hit is enumerated.
        if (nodeType_ == XMLNodeType::Defaults && hits_->size() > 1)
            hits_->resize(1);
    }
    if (next_ >= hits_->size())
        return nullptr;
    current_ = wrap(document_, (*hits_)[next_++], nodeType_);
    return current_;
}

std::optional<std::vector<Ref<XMLNode>>> XMLNodeEnumerator::allObjects() const
{
    std::optional<std::vector<pugi::xml_node>> nodes = getObjectsArray();
    if (!nodes)
        return std::nullopt;
    std::vector<Ref<XMLNode>> wrappers;
    for (pugi::xml_node node : *nodes)
        wrappers.push_back(wrap(document_, node, nodeType_));
    return wrappers;
}

} // namespace vistel
