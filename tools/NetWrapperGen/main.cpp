// netwrapper_gen: turns the network component family tables (src/NetWrappers/Tables/*.table)
// into C++ at build time.
//
//   netwrapper_gen <output folder> <table>...
//
// Writes into the output folder:
//   NetComponentEntryPoints.h  the extern "C" prototypes of every family's seven entry points,
//                              included by the wrappers and by the component library;
//   NetComponentTables.inc     the kinds and selectors of every id, for the component library;
//   NetComponents.map          the component library's version script;
//   NetComponentsTesting.map   the version script of its test build (with the test controls);
//   IPWorksSSL<Name>.h / .cpp  one wrapper class per family, with its event sink.
// A file is rewritten only when its text changes, so an unchanged table rebuilds nothing.
// A malformed row stops the build with "<table>:<line>: <what is wrong>".

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct TableError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Property {
    int id = 0;
    std::string getter, setter; // empty when absent
    std::string kind;           // string, counted, data, int, bool
    bool indexed = false;
    bool action = false;        // writing it does something: it is never only stored
    int countId = 0;            // an indexed property: the int property that counts its list
};

struct Method {
    int id = 0;
    std::string selector;
    std::vector<std::string> arguments; // string, data, int
    std::string result;                 // empty, string, counted
    std::vector<int> appendsTo;         // an add... method: the list member each argument extends
};

struct Event {
    int id = 0;
    std::string handler;
    std::vector<std::string> arguments; // string, data, int, long, bool, int&
};

struct Family {
    std::string name;   // CertMgr
    std::string prefix; // CertMgr_
    std::string className;
    std::string factory;
    std::vector<Property> properties;
    std::vector<Method> methods;
    std::vector<Event> events;
};

// The name a list or append row uses for a property: its getter, or its setter when write-only.
std::string propertyKey(const Property& p)
{
    return p.getter.empty() ? p.setter : p.getter;
}

const std::set<std::string> kCppKeywords{
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break",
    "case", "catch", "char", "class", "compl", "concept", "const", "consteval", "constexpr",
    "constinit", "const_cast", "continue", "co_await", "co_return", "co_yield", "decltype",
    "default", "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "export",
    "extern", "false", "float", "for", "friend", "goto", "if", "inline", "int", "long",
    "mutable", "namespace", "new", "noexcept", "not", "not_eq", "nullptr", "operator", "or",
    "or_eq", "private", "protected", "public", "register", "reinterpret_cast", "requires",
    "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
    "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef", "typeid",
    "typename", "union", "unsigned", "using", "virtual", "void", "volatile", "wchar_t", "while",
    "xor", "xor_eq"};

int colons(const std::string& selector)
{
    return static_cast<int>(std::count(selector.begin(), selector.end(), ':'));
}

// A selector becomes a member named by its first keyword; a C++ keyword gets a trailing '_'.
std::string memberName(const std::string& selector)
{
    std::string name = selector.substr(0, selector.find(':'));
    return kCppKeywords.count(name) ? name + "_" : name;
}

bool isSelector(const std::string& text)
{
    if (text.empty() || !(std::isalpha(static_cast<unsigned char>(text[0])) || text[0] == '_'))
        return false;
    const size_t colon = text.find(':');
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (i < colon ? !(std::isalnum(c) || c == '_') : c != ':')
            return false;
    }
    return true;
}

class TableReader {
public:
    explicit TableReader(std::string path) : path_(std::move(path)) {}

    Family read()
    {
        std::ifstream in(path_);
        if (!in)
            throw TableError(path_ + ": cannot be read");
        Family family;
        std::string text;
        bool sawFamily = false;
        while (std::getline(in, text)) {
            ++line_;
            if (text.empty() || text[0] == '#')
                continue;
            std::istringstream words(text);
            std::vector<std::string> cells;
            for (std::string word; words >> word;)
                cells.push_back(word);
            if (cells.empty())
                continue;
            if (cells[0] == "family") {
                if (sawFamily)
                    fail("a second family row");
                readFamily(cells, family);
                sawFamily = true;
            } else if (!sawFamily) {
                fail("the family row must come first");
            } else if (cells[0] == "property") {
                family.properties.push_back(readProperty(cells));
            } else if (cells[0] == "method") {
                family.methods.push_back(readMethod(cells));
            } else if (cells[0] == "event") {
                family.events.push_back(readEvent(cells));
            } else if (cells[0] == "list") {
                readList(cells, family);
            } else if (cells[0] == "append") {
                readAppend(cells, family);
            } else {
                fail("unknown row \"" + cells[0] + "\"");
            }
            checkUnique(family);
        }
        if (!sawFamily)
            fail("no family row");
        return family;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw TableError(path_ + ":" + std::to_string(line_) + ": " + what);
    }

    void expectCells(const std::vector<std::string>& cells, size_t count) const
    {
        if (cells.size() != count)
            fail(cells[0] + " rows have " + std::to_string(count) + " columns, this one has " +
                 std::to_string(cells.size()));
    }

    int readId(const std::string& cell) const
    {
        if (cell.empty() || cell.size() > 6 ||
            !std::all_of(cell.begin(), cell.end(), [](char c) { return c >= '0' && c <= '9'; }))
            fail("\"" + cell + "\" is not an id");
        const int id = std::stoi(cell);
        if (id < 1)
            fail("ids start at 1");
        return id;
    }

    std::string readSelector(const std::string& cell, int argumentParts) const
    {
        if (!isSelector(cell))
            fail("\"" + cell + "\" is not a selector");
        if (colons(cell) != argumentParts)
            fail("\"" + cell + "\" should have " + std::to_string(argumentParts) + " argument parts");
        return cell;
    }

    std::vector<std::string> readKinds(const std::string& cell, const std::set<std::string>& allowed) const
    {
        std::vector<std::string> kinds;
        if (cell == "-")
            return kinds;
        std::istringstream in(cell);
        for (std::string kind; std::getline(in, kind, ',');) {
            if (!allowed.count(kind))
                fail("\"" + kind + "\" is not a kind here");
            kinds.push_back(kind);
        }
        return kinds;
    }

    void readFamily(const std::vector<std::string>& cells, Family& family) const
    {
        expectCells(cells, 4);
        const std::string& prefix = cells[1];
        if (prefix.size() < 2 || prefix.back() != '_' || !isSelector(prefix.substr(0, prefix.size() - 1)))
            fail("\"" + prefix + "\" is not an entry-point prefix");
        family.prefix = prefix;
        family.name = prefix.substr(0, prefix.size() - 1);
        if (!isSelector(cells[2]) || colons(cells[2]) || !isSelector(cells[3]) || colons(cells[3]))
            fail("class and factory must be plain names");
        family.className = cells[2];
        family.factory = cells[3];
    }

    Property* findProperty(Family& family, const std::string& key) const
    {
        for (Property& p : family.properties)
            if (p.kind != "data" && propertyKey(p) == key)
                return &p;
        fail("no property \"" + key + "\" above this row");
    }

    // list <count> <member>...: the int property <count> sizes the indexed members' lists.
    void readList(const std::vector<std::string>& cells, Family& family) const
    {
        if (cells.size() < 3)
            fail("a list row names its count and at least one member");
        Property* count = findProperty(family, cells[1]);
        if (count->kind != "int" || count->indexed)
            fail("a list's count is a plain int property");
        for (size_t i = 2; i < cells.size(); ++i) {
            Property* member = findProperty(family, cells[i]);
            if (!member->indexed)
                fail("\"" + cells[i] + "\" is not indexed");
            if (member->countId)
                fail("\"" + cells[i] + "\" is in two lists");
            member->countId = count->id;
            for (Property& p : family.properties)
                if (p.id == member->id)
                    p.countId = count->id; // the byte form too
        }
    }

    // append <selector> <member>...: the method appends one entry, argument i to member i.
    void readAppend(const std::vector<std::string>& cells, Family& family) const
    {
        if (cells.size() < 3)
            fail("an append row names its method and the members it extends");
        const auto method = std::find_if(family.methods.begin(), family.methods.end(),
                                         [&](const Method& m) { return m.selector == cells[1]; });
        if (method == family.methods.end())
            fail("no method \"" + cells[1] + "\" above this row");
        if (method->arguments.size() != cells.size() - 2)
            fail("\"" + cells[1] + "\" takes " + std::to_string(method->arguments.size()) + " arguments");
        int countId = 0;
        for (size_t i = 2; i < cells.size(); ++i) {
            const Property* member = findProperty(family, cells[i]);
            if (!member->countId || (countId && member->countId != countId))
                fail("\"" + cells[i] + "\" is not in the same list as the other members");
            countId = member->countId;
            method->appendsTo.push_back(member->id);
        }
    }

    Property readProperty(const std::vector<std::string>& cells) const
    {
        if (cells.size() == 7 && cells[6] != "action")
            fail("the last column of a property row is \"action\" or nothing");
        if (cells.size() != 7)
            expectCells(cells, 6);
        Property p;
        p.id = readId(cells[1]);
        if (cells[5] != "plain" && cells[5] != "indexed")
            fail("the index column is \"plain\" or \"indexed\"");
        p.indexed = cells[5] == "indexed";
        static const std::set<std::string> kinds{"string", "counted", "data", "int", "bool"};
        if (!kinds.count(cells[4]))
            fail("\"" + cells[4] + "\" is not a property kind");
        p.kind = cells[4];
        if (cells[2] != "-")
            p.getter = readSelector(cells[2], p.indexed ? 1 : 0);
        if (cells[3] != "-") {
            p.setter = readSelector(cells[3], p.indexed ? 2 : 1);
            if (p.setter.compare(0, 3, "set") != 0 || p.setter.size() < 5)
                fail("a setter is named set<Property>:");
        }
        if (p.getter.empty() && p.setter.empty())
            fail("a property needs a getter or a setter");
        p.action = cells.size() == 7;
        if (p.action && p.setter.empty())
            fail("an action property is written");
        return p;
    }

    Method readMethod(const std::vector<std::string>& cells) const
    {
        expectCells(cells, 5);
        Method m;
        m.id = readId(cells[1]);
        m.arguments = readKinds(cells[3], {"string", "data", "int"});
        m.selector = readSelector(cells[2], static_cast<int>(m.arguments.size()));
        if (cells[4] != "-" && cells[4] != "string" && cells[4] != "counted")
            fail("a method's result is \"-\", \"string\" or \"counted\"");
        m.result = cells[4] == "-" ? "" : cells[4];
        return m;
    }

    Event readEvent(const std::vector<std::string>& cells) const
    {
        expectCells(cells, 4);
        Event e;
        e.id = readId(cells[1]);
        e.arguments = readKinds(cells[3], {"string", "data", "int", "long", "bool", "int&"});
        e.handler = readSelector(cells[2], static_cast<int>(e.arguments.size()));
        if (e.handler.compare(0, 2, "on") != 0 || e.handler.size() < 3)
            fail("a handler is named on<Event>");
        return e;
    }

    // Ids are unique within their kind, except that a byte form shares its counted text's id.
    void checkUnique(const Family& family) const
    {
        std::map<int, int> textIds, dataIds;
        for (const Property& p : family.properties)
            ++(p.kind == "data" ? dataIds : textIds)[p.id];
        for (const auto& [id, count] : textIds)
            if (count > 1)
                fail("property id " + std::to_string(id) + " appears twice");
        for (const auto& entry : dataIds) {
            const int id = entry.first; // a plain variable: clang 14 cannot capture a binding
            if (entry.second > 1)
                fail("byte form id " + std::to_string(id) + " appears twice");
            const auto text = std::find_if(family.properties.begin(), family.properties.end(),
                                           [&](const Property& p) { return p.id == id && p.kind != "data"; });
            if (text != family.properties.end() && text->kind != "counted")
                fail("property id " + std::to_string(id) + " has a byte form but is not a counted text");
        }
        std::set<int> methodIds, eventIds;
        for (const Method& m : family.methods)
            if (!methodIds.insert(m.id).second)
                fail("method id " + std::to_string(m.id) + " appears twice");
        for (const Event& e : family.events)
            if (!eventIds.insert(e.id).second)
                fail("event id " + std::to_string(e.id) + " appears twice");
    }

    std::string path_;
    int line_ = 0;
};

// ---- C++ text -------------------------------------------------------------------------------

// How each kind is written in C++: as a parameter (setters, methods, events), as a getter's
// result, and the Component accessor that carries it.
struct KindText {
    const char* parameter;
    const char* result;
    const char* accessor;
};

const std::map<std::string, KindText> kKindTexts{
    {"string", {"const std::string&", "std::string", "Text"}},
    {"counted", {"const std::string&", "std::string", "Counted"}},
    {"data", {"std::span<const std::byte>", "std::vector<std::byte>", "Bytes"}},
    {"int", {"int", "int", "Int"}},
    {"bool", {"bool", "bool", "Bool"}},
    {"long", {"std::int32_t", "", ""}},
    {"int&", {"int&", "", ""}},
};

std::string propertyType(const std::string& kind)
{
    return kKindTexts.at(kind).parameter;
}

std::string propertyResultType(const std::string& kind)
{
    return kKindTexts.at(kind).result;
}

std::string accessorSuffix(const std::string& kind)
{
    return kKindTexts.at(kind).accessor;
}

std::string methodParameters(const Method& m, bool named)
{
    std::string text;
    for (size_t i = 0; i < m.arguments.size(); ++i) {
        if (i)
            text += ", ";
        text += propertyType(m.arguments[i]);
        if (named)
            text += " a" + std::to_string(i);
    }
    return text;
}

std::string eventParameters(const Event& e)
{
    std::string text;
    for (size_t i = 0; i < e.arguments.size(); ++i)
        text += (i ? ", " : "") + propertyType(e.arguments[i]);
    return text;
}

std::string header(const Family& f, const std::string& tableName)
{
    std::ostringstream o;
    o << "// " << f.className << ": the wrapper of the " << f.prefix << " component family.\n"
      << "// Generated by netwrapper_gen from " << tableName << "; edit the table, not this file.\n"
      << "//\n"
      << "// Properties, methods and errors follow NetWrapperRuntime.h. Events arrive as calls of the\n"
      << "// virtual on... handlers, on the thread on which the component calls its sink; the handlers\n"
      << "// here do nothing, a subclass overrides those it wants. The component holds the address of\n"
      << "// the wrapper, so a wrapper can be neither copied nor moved.\n"
      << "#pragma once\n\n#include \"NetWrappers/NetWrapperRuntime.h\"\n\nnamespace vistel {\n\n"
      << "class " << f.className << " {\npublic:\n"
      << "    " << f.className << "() noexcept;\n"
      << "    virtual ~" << f.className << "() = default;\n"
      << "    " << f.className << "(const " << f.className << "&) = delete;\n"
      << "    " << f.className << "& operator=(const " << f.className << "&) = delete;\n\n"
      << "    // A new wrapper of this class (never of a subclass); nullptr when the component cannot be made.\n"
      << "    static std::unique_ptr<" << f.className << "> " << f.factory << "();\n\n"
      << "    // False when the component could not be made; every other call then fails.\n"
      << "    bool valid() const noexcept { return component_.valid(); }\n"
      << "    std::string lastError() const { return component_.lastError(); }\n"
      << "    int lastErrorCode() const { return component_.lastErrorCode(); }\n\n";
    for (const Property& p : f.properties) {
        const std::string index = p.indexed ? "int index" : "";
        if (!p.getter.empty())
            o << "    " << propertyResultType(p.kind) << " " << memberName(p.getter) << "(" << index << ") const;\n";
        if (!p.setter.empty())
            o << "    void " << memberName(p.setter) << "(" << (p.indexed ? "int index, " : "")
              << propertyType(p.kind) << " value);\n";
    }
    o << "\n";
    for (const Method& m : f.methods)
        o << "    " << (m.result.empty() ? "void" : "std::string") << " " << memberName(m.selector) << "("
          << methodParameters(m, false) << ");\n";
    o << "\n";
    for (const Event& e : f.events)
        o << "    virtual void " << memberName(e.handler) << "(" << eventParameters(e) << ") {}\n";
    o << "\nprivate:\n"
      << "    static int sink(void* context, int event, int argumentCount, void** slots, int* lengths) noexcept;\n\n"
      << "    netwrappers::Component component_;\n};\n\n} // namespace vistel\n";
    return o.str();
}

std::string eventArgument(const std::string& kind, size_t slot)
{
    const std::string s = std::to_string(slot);
    if (kind == "string")
        return "in.text(" + s + ")";
    if (kind == "data")
        return "in.data(" + s + ")";
    if (kind == "int")
        return "in.integer(" + s + ")";
    if (kind == "long")
        return "in.long32(" + s + ")";
    if (kind == "bool")
        return "in.boolean(" + s + ")";
    return "back" + s + ".value";
}

std::string source(const Family& f)
{
    const std::string& c = f.className;
    std::ostringstream o;
    o << "// Generated by netwrapper_gen; edit the table, not this file.\n"
      << "#include \"NetWrappers/" << c << ".h\"\n\n"
      << "#include \"NetWrappers/NetComponentEntryPoints.h\"\n\n"
      << "namespace vistel {\n\nnamespace {\n"
      << "constexpr netwrappers::EntryPoints k" << c << "EntryPoints{&" << f.prefix << "Create, &" << f.prefix
      << "Destroy, &" << f.prefix << "Get, &" << f.prefix << "Set,\n    &" << f.prefix << "Do, &" << f.prefix
      << "GetLastError, &" << f.prefix << "GetLastErrorCode};\n} // namespace\n\n"
      << c << "::" << c << "() noexcept : component_(k" << c << "EntryPoints, &sink, this) {}\n\n"
      << "std::unique_ptr<" << c << "> " << c << "::" << f.factory << "()\n{\n"
      << "    auto wrapper = std::make_unique<" << c << ">();\n"
      << "    return wrapper->valid() ? std::move(wrapper) : nullptr;\n}\n\n";
    for (const Property& p : f.properties) {
        const std::string index = p.indexed ? "index" : "0";
        const std::string suffix = accessorSuffix(p.kind);
        if (!p.getter.empty())
            o << propertyResultType(p.kind) << " " << c << "::" << memberName(p.getter) << "("
              << (p.indexed ? "int index" : "") << ") const\n{\n    return component_.get" << suffix << "("
              << p.id << ", " << index << ");\n}\n\n";
        if (!p.setter.empty())
            o << "void " << c << "::" << memberName(p.setter) << "(" << (p.indexed ? "int index, " : "")
              << propertyType(p.kind) << " value)\n{\n    component_.set" << suffix << "(" << p.id << ", "
              << index << ", value);\n}\n\n";
    }
    for (const Method& m : f.methods) {
        const size_t n = m.arguments.size();
        o << (m.result.empty() ? "void" : "std::string") << " " << c << "::" << memberName(m.selector) << "("
          << methodParameters(m, true) << ")\n{\n    netwrappers::Slots<" << n << "> slots{";
        for (size_t i = 0; i < n; ++i)
            o << (i ? ", " : "") << "netwrappers::" << (m.arguments[i] == "data" ? "dataArgument"
                                                       : m.arguments[i] == "int" ? "intArgument"
                                                                                 : "textArgument")
              << "(a" << i << ")";
        o << "};\n    component_.invoke(" << m.id << ", slots);\n";
        if (m.result == "string")
            o << "    return slots.text(" << n << ");\n";
        else if (m.result == "counted")
            o << "    return slots.counted(" << n << ");\n";
        o << "}\n\n";
    }
    o << "int " << c << "::sink(void* context, int event, int, void** slots, int* lengths) noexcept\n{\n"
      << "    auto* self = static_cast<" << c << "*>(context);\n"
      << "    if (!self)\n        return 0;\n"
      << "    const netwrappers::EventSlots in{slots, lengths};\n"
      << "    switch (event) {\n";
    for (const Event& e : f.events) {
        const std::string name = c + "::" + memberName(e.handler);
        o << "    case " << e.id << ": {\n";
        std::vector<size_t> writtenBack;
        for (size_t i = 0; i < e.arguments.size(); ++i)
            if (e.arguments[i] == "int&") {
                writtenBack.push_back(i);
                o << "        netwrappers::WrittenBack back" << i << "(in, " << i << ");\n";
            }
        o << "        " << (writtenBack.empty() ? "" : "if (") << "netwrappers::deliver(\"" << name
          << "\", [&] { self->" << memberName(e.handler) << "(";
        for (size_t i = 0; i < e.arguments.size(); ++i)
            o << (i ? ", " : "") << eventArgument(e.arguments[i], i);
        o << "); })" << (writtenBack.empty() ? ";\n" : ") {\n");
        for (size_t slot : writtenBack)
            o << "            back" << slot << ".store();\n";
        if (!writtenBack.empty())
            o << "        }\n";
        o << "        break;\n    }\n";
    }
    o << "    default:\n        break;\n    }\n    return 0;\n}\n\n} // namespace vistel\n";
    return o.str();
}

std::string entryPointsHeader(const std::vector<Family>& families)
{
    std::ostringstream o;
    o << "// The C entry points of the network component library: seven for each component family.\n"
      << "// Generated by netwrapper_gen from the family tables; included by the wrappers and by the\n"
      << "// library that defines them.\n"
      << "//\n"
      << "// Create(sink, context, reserved) answers an opaque handle (null on failure); the library\n"
      << "// calls sink(context, event, argument count, slots, lengths) for each event. Get answers one\n"
      << "// pointer-sized word (an address for texts and data, the value for int and bool) and the\n"
      << "// value's length through its last argument; Set and Do answer 0 on success. Integers are\n"
      << "// 32-bit; a slot holds an int as (void*)(intptr_t)value.\n"
      << "#pragma once\n\n"
      << "#ifndef NET_COMPONENT_API\n#define NET_COMPONENT_API\n#endif\n\n"
      << "#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n"
      << "typedef int (*NetComponentSink)(void* context, int event, int argumentCount, void** slots, int* lengths);\n\n";
    for (const Family& f : families) {
        const std::string& p = f.prefix;
        o << "NET_COMPONENT_API void* " << p << "Create(NetComponentSink sink, void* context, void* reserved);\n"
          << "NET_COMPONENT_API int " << p << "Destroy(void* handle);\n"
          << "NET_COMPONENT_API void* " << p << "Get(void* handle, int property, int index, int* length);\n"
          << "NET_COMPONENT_API int " << p << "Set(void* handle, int property, int index, void* value, int length);\n"
          << "NET_COMPONENT_API int " << p << "Do(void* handle, int method, int argumentCount, void** slots, int* lengths);\n"
          << "NET_COMPONENT_API const char* " << p << "GetLastError(void* handle);\n"
          << "NET_COMPONENT_API int " << p << "GetLastErrorCode(void* handle);\n\n";
    }
    o << "#ifdef __cplusplus\n}\n#endif\n";
    return o.str();
}

char kindLetter(const std::string& kind)
{
    if (kind == "counted" || kind == "data")
        return 'c';
    return kind[0]; // string, int, bool; method results: string
}

std::string quoted(const std::string& text)
{
    return text.empty() ? "nullptr" : "\"" + text + "\"";
}

// Per family, indexed by id - 1: the getter and setter of each property (text forms) with its
// kind letter (s string, c counted or data, i int, b bool), whether it is indexed, whether
// writing it is an action and the id of the count that sizes its list; each method's selector
// with its argument kinds (s, d, i), its result (s, c or nothing) and, for a method that appends
// to a list, the member id each argument goes to.
std::string componentTables(const std::vector<Family>& families)
{
    std::ostringstream o;
    o << "// Generated by netwrapper_gen from the family tables; included by the component library.\n"
      << "// Expects NetComponentProperty, NetComponentMethod and NetComponentFamily to be declared.\n\n";
    for (const Family& f : families) {
        std::map<int, const Property*> byId;
        for (const Property& p : f.properties)
            if (p.kind != "data")
                byId[p.id] = &p;
        o << "constexpr NetComponentProperty k" << f.name << "Properties[] = {\n";
        for (int id = 1; id <= (byId.empty() ? 0 : byId.rbegin()->first); ++id) {
            const auto found = byId.find(id);
            if (found == byId.end())
                o << "    {nullptr, nullptr, 0, false, false, 0},\n";
            else
                o << "    {" << quoted(found->second->getter) << ", " << quoted(found->second->setter) << ", '"
                  << kindLetter(found->second->kind) << "', " << (found->second->indexed ? "true" : "false") << ", "
                  << (found->second->action ? "true" : "false") << ", " << found->second->countId << "},\n";
        }
        o << "};\n";
        std::map<int, const Method*> methods;
        for (const Method& m : f.methods) {
            methods[m.id] = &m;
            if (m.appendsTo.empty())
                continue;
            o << "constexpr int k" << f.name << "Appends" << m.id << "[] = {";
            for (size_t i = 0; i < m.appendsTo.size(); ++i)
                o << (i ? ", " : "") << m.appendsTo[i];
            o << "};\n";
        }
        o << "constexpr NetComponentMethod k" << f.name << "Methods[] = {\n";
        for (int id = 1; id <= (methods.empty() ? 0 : methods.rbegin()->first); ++id) {
            const auto found = methods.find(id);
            if (found == methods.end()) {
                o << "    {nullptr, \"\", 0, nullptr},\n";
                continue;
            }
            std::string arguments;
            for (const std::string& kind : found->second->arguments)
                arguments += kind[0];
            o << "    {" << quoted(found->second->selector) << ", \"" << arguments << "\", "
              << (found->second->result.empty() ? "0" : std::string("'") + found->second->result[0] + "'") << ", "
              << (found->second->appendsTo.empty() ? "nullptr" : "k" + f.name + "Appends" + std::to_string(id))
              << "},\n";
        }
        o << "};\n\n";
    }
    o << "constexpr NetComponentFamily kFamilies[] = {\n";
    for (const Family& f : families)
        o << "    {\"" << f.prefix << "\", k" << f.name << "Properties, std::size(k" << f.name << "Properties), k"
          << f.name << "Methods, std::size(k" << f.name << "Methods)},\n";
    o << "};\n\n// X(name, family index) for each family.\n#define NET_COMPONENT_FAMILIES(X)";
    for (size_t i = 0; i < families.size(); ++i)
        o << " \\\n    X(" << families[i].name << ", " << i << ")";
    o << "\n";
    return o.str();
}

// The shipped library exports the seven entry points of each family and nothing else; its test
// build also exports the test-control calls (NetComponentsTest_*).
std::string versionScript(const std::vector<Family>& families, bool withTestControls)
{
    std::ostringstream o;
    o << "/* Generated by netwrapper_gen: the network component library" << (withTestControls ? "'s test build" : "")
      << " exports the seven\n   entry points of each family"
      << (withTestControls ? " and the test-control calls" : "") << ", nothing else. */\n"
      << "NETCOMPONENTS_1 {\n  global:\n";
    for (const Family& f : families)
        for (const char* suffix : {"Create", "Destroy", "Get", "Set", "Do", "GetLastError", "GetLastErrorCode"})
            o << "    " << f.prefix << suffix << ";\n";
    if (withTestControls)
        o << "    NetComponentsTest_*;\n";
    o << "  local:\n    *;\n};\n";
    return o.str();
}

void writeIfChanged(const std::string& path, const std::string& text)
{
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old == text)
                return;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error(path + ": cannot be written");
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: netwrapper_gen <output folder> <table>...\n");
        return 2;
    }
    try {
        const std::string folder = argv[1];
        std::vector<Family> families;
        std::vector<std::string> tableNames;
        for (int i = 2; i < argc; ++i) {
            families.push_back(TableReader(argv[i]).read());
            tableNames.push_back(baseName(argv[i]));
            if (tableNames.back() != families.back().name + ".table")
                throw TableError(std::string(argv[i]) + ":1: the file must be named " + families.back().name + ".table");
        }
        for (size_t i = 0; i < families.size(); ++i) {
            writeIfChanged(folder + "/" + families[i].className + ".h", header(families[i], tableNames[i]));
            writeIfChanged(folder + "/" + families[i].className + ".cpp", source(families[i]));
        }
        writeIfChanged(folder + "/NetComponentEntryPoints.h", entryPointsHeader(families));
        writeIfChanged(folder + "/NetComponentTables.inc", componentTables(families));
        writeIfChanged(folder + "/NetComponents.map", versionScript(families, false));
        writeIfChanged(folder + "/NetComponentsTesting.map", versionScript(families, true));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
