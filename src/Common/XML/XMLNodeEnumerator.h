#pragma once
// XMLNodeEnumerator: the elements of one node type of a document, in document order, each
// wrapped in the node type's wrapper class.
//
//   node type  query                 wrapper class
//   0          //device-profile      device profile (device list)
//   1          //device-profile      device type (device list)
//   2          //size                device resolution (device list)
//   3          //defaults            XMLNode; only the first hit is enumerated
//   4          //layout              print layout
//
// Wrapper classes other than XMLNode are registered by their owners (the device list, the
// print layouts) with registerWrapperClass(); until then hits are plain XMLNodes. The
// enumerator yields exactly the query's hits: no white-space text and no elements of other
// names between them.

#include <functional>
#include <vector>

#include "Common/XML/XMLNode.h"

namespace vistel {

class XMLNodeEnumerator : public Object {
public:
    using WrapperFactory = std::function<Ref<XMLNode>(XMLDocumentPtr document, pugi::xml_node node)>;

    static Ref<XMLNodeEnumerator> create(XMLDocumentPtr document, int nodeType);

    // Makes the wrappers of `nodeType` with `factory` (empty: plain XMLNodes again). Called once
    // at start-up by the code that owns the wrapper class.
    static void registerWrapperClass(int nodeType, WrapperFactory factory);
    // A wrapper of `nodeType`'s class around `node`; null for an unknown node type.
    static Ref<XMLNode> wrap(const XMLDocumentPtr& document, pugi::xml_node node, int nodeType);
    static bool isKnownNodeType(int nodeType);

    const XMLDocumentPtr& getXMLDocument() const { return document_; }
    int getNodeType() const { return nodeType_; }
    const Ref<XMLNode>& getCurrentXMLNode() const { return current_; }

    // The nodes the node type's query yields, in document order; nil without a document, for
    // an unknown node type ("XMLNodeEnumerator::getObjectsArray Unknown node type" is logged)
    // or when the query fails.
    std::optional<std::vector<pugi::xml_node>> getObjectsArray() const;
    // The next hit, wrapped; null at the end and on every later call.
    Ref<XMLNode> nextObject();
    // One wrapper around each hit, in order; nil when getObjectsArray() is nil.
    std::optional<std::vector<Ref<XMLNode>>> allObjects() const;

private:
    XMLNodeEnumerator(XMLDocumentPtr document, int nodeType);

    XMLDocumentPtr document_;
    int nodeType_;
    Ref<XMLNode> current_;
    std::optional<std::vector<pugi::xml_node>> hits_; // run at the first step
    std::size_t next_ = 0;
};

} // namespace vistel
