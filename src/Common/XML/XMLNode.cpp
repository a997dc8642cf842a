#include "Common/XML/XMLNode.h"

#include <strings.h>

#include "Common/XML/XMLNodeEnumerator.h"

namespace vistel {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

void appendText(pugi::xml_node node, std::string& out)
{
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            out += child.value();
        else if (child.type() == pugi::node_element)
            appendText(child, out);
    }
}

} // namespace

std::string xmlStringValue(pugi::xml_node node)
{
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
        return node.value();
    std::string out;
    appendText(node, out);
    return out;
}

XMLNode::XMLNode(XMLDocumentPtr document, pugi::xml_node node)
    : document_(std::move(document))
    , node_(document_ ? node : pugi::xml_node())
{
}

Ref<XMLNode> XMLNode::create(XMLDocumentPtr document, pugi::xml_node node)
{
    return Ref<XMLNode>::adopt(new XMLNode(std::move(document), node));
}

std::optional<std::string> XMLNode::getParameterByName(std::string_view name) const
{
    if (!node_ || name.empty())
        return std::nullopt;
    for (pugi::xml_node child : node_.children()) {
        if (child.type() == pugi::node_element && equalIgnoringCase(child.name(), name))
            return xmlStringValue(child);
    }
    return std::nullopt;
}

Ref<XMLNode> XMLNode::getNextXMLNode(int nodeType) const
{
    if (!node_ || nodeType == XMLNodeType::Defaults)
        return nullptr;
    const pugi::xml_node next = node_.next_sibling();
    if (!next)
        return nullptr;
    return XMLNodeEnumerator::wrap(document_, next, nodeType);
}

} // namespace vistel
