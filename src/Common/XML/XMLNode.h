#pragma once
// The XML layer of the picture-frame code and the print layouts: a parsed document
// (XMLFrameManager), wrappers of its nodes (XMLNode) and enumerators over the elements of one
// kind (XMLNodeEnumerator). Documents are parsed with pugixml; queries are XPath.
//
// A wrapper shares ownership of the whole document, so a node stays valid as long as any
// wrapper of it lives. A document, its wrappers and its enumerators are used by one thread at
// a time. Nothing here raises: failures are nil answers and small result codes.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "Platform/Object.h"

namespace vistel {

// A parsed document, shared by its manager, its wrappers and its enumerators.
using XMLDocumentPtr = std::shared_ptr<const pugi::xml_document>;

// Node types of the enumerators: each selects a query and the wrapper class of its hits.
namespace XMLNodeType {
inline constexpr int DeviceProfile = 0;
inline constexpr int DeviceType = 1;
inline constexpr int DeviceResolution = 2;
inline constexpr int Defaults = 3;
inline constexpr int PrintLayout = 4;
} // namespace XMLNodeType

class XMLNode : public Object {
public:
    // A wrapper made with no document or an empty node answers nil to everything.
    static Ref<XMLNode> create(XMLDocumentPtr document, pugi::xml_node node);

    pugi::xml_node getXMLNode() const { return node_; }
    const XMLDocumentPtr& document() const { return document_; }

    // The text of the first direct child element whose name equals `name` regardless of
    // letter case ("" for an element without text); nil when no child has that name.
    // Grandchildren are never searched.
    std::optional<std::string> getParameterByName(std::string_view name) const;

    // A wrapper, of the node type's wrapper class, around the next sibling of this node; null
    // when there is none, or for the "defaults" node type and unknown node types.
    Ref<XMLNode> getNextXMLNode(int nodeType) const;

protected:
    XMLNode(XMLDocumentPtr document, pugi::xml_node node);

private:
    XMLDocumentPtr document_;
    pugi::xml_node node_;
};

// All text inside `node`, concatenated in document order.
std::string xmlStringValue(pugi::xml_node node);

} // namespace vistel
