// The committed family tables checked against the numbering rules of the network library and
// against a hand-written count of every family's members. The reader here is deliberately its
// own: a fault in the generator's parser must not hide a fault in a table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Row {
    std::vector<std::string> cells;
    int line = 0;
};

struct Family {
    std::string prefix;
    std::vector<std::string> header;
    std::vector<Row> properties, methods, events, lists, appends;
};

std::string tablePath(const std::string& name)
{
    return std::string(VISTEL_SOURCE_DIR) + "/src/NetWrappers/Tables/" + name + ".table";
}

Family readFamily(const std::string& name)
{
    Family family;
    family.prefix = name + "_";
    std::ifstream in(tablePath(name));
    EXPECT_TRUE(in.good()) << tablePath(name);
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream words(text);
        Row row{{}, line};
        for (std::string word; words >> word;)
            row.cells.push_back(word);
        const std::string kind = row.cells.at(0);
        if (kind == "family")
            family.header = row.cells;
        else if (kind == "property")
            family.properties.push_back(row);
        else if (kind == "method")
            family.methods.push_back(row);
        else if (kind == "event")
            family.events.push_back(row);
        else if (kind == "list")
            family.lists.push_back(row);
        else if (kind == "append")
            family.appends.push_back(row);
        else
            ADD_FAILURE() << name << ":" << line << ": unknown row " << kind;
    }
    return family;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool caseInsensitiveLess(const std::string& a, const std::string& b)
{
    return lower(a) < lower(b);
}

int colons(const std::string& selector)
{
    return static_cast<int>(std::count(selector.begin(), selector.end(), ':'));
}

std::string withoutColons(std::string selector)
{
    selector.erase(std::remove(selector.begin(), selector.end(), ':'), selector.end());
    return selector;
}

std::vector<std::string> kinds(const std::string& cell)
{
    std::vector<std::string> result;
    if (cell == "-")
        return result;
    std::istringstream in(cell);
    for (std::string kind; std::getline(in, kind, ',');)
        result.push_back(kind);
    return result;
}

// The sort name of a property: the getter, or for a write-only property the setter without
// its leading "set".
std::string propertyName(const Row& row)
{
    const std::string& getter = row.cells[2];
    if (getter != "-")
        return withoutColons(getter);
    return withoutColons(row.cells[3]).substr(3);
}

struct Counts {
    const char* name;
    int propertyIds, byteForms, methods, events;
};

// Written out by hand from the library's own member count of each family.
const Counts kCounts[] = {
    {"CertMgr", 21, 2, 19, 5},      {"FileMailerS", 42, 4, 10, 8}, {"FTPS", 34, 4, 16, 9},
    {"HTMLMailerS", 49, 4, 10, 8},  {"HTTPS", 51, 6, 9, 13},       {"IMAPS", 56, 4, 34, 12},
    {"IPPortS", 27, 6, 8, 8},       {"LDAPS", 40, 5, 13, 11},      {"NNTPS", 47, 4, 15, 12},
    {"POPS", 40, 4, 12, 10},        {"RSSS", 57, 4, 11, 13},       {"SMPPS", 30, 4, 11, 7},
    {"SMTPS", 43, 4, 14, 9},        {"SNPPS", 25, 4, 7, 5},        {"SOAPS", 65, 4, 12, 13},
    {"TelnetS", 33, 7, 5, 14},      {"WebDAVS", 42, 5, 21, 15},    {"WebFormS", 45, 5, 8, 13},
    {"WebUploadS", 45, 5, 9, 14},   {"XMPPS", 36, 4, 18, 13},
};

class FamilyTable : public ::testing::TestWithParam<Counts> {
protected:
    void SetUp() override { family = readFamily(GetParam().name); }
    Family family;
};

TEST_P(FamilyTable, HeaderNamesClassAndFactoryAfterThePrefix)
{
    const std::string name = GetParam().name;
    ASSERT_EQ(family.header.size(), 4u);
    EXPECT_EQ(family.header[1], name + "_");
    EXPECT_EQ(family.header[2], "IPWorksSSL" + name);
    EXPECT_EQ(family.header[3], lower(name));
}

TEST_P(FamilyTable, CountsMatchTheLibrary)
{
    std::set<int> textIds;
    int byteForms = 0;
    for (const Row& row : family.properties) {
        if (row.cells[4] == "data")
            ++byteForms;
        else
            textIds.insert(std::stoi(row.cells[1]));
    }
    EXPECT_EQ(static_cast<int>(textIds.size()), GetParam().propertyIds);
    EXPECT_EQ(byteForms, GetParam().byteForms);
    EXPECT_EQ(static_cast<int>(family.methods.size()), GetParam().methods);
    EXPECT_EQ(static_cast<int>(family.events.size()), GetParam().events);
}

TEST_P(FamilyTable, PropertyIdsRunAlphabetically)
{
    std::vector<std::string> byId;
    for (const Row& row : family.properties) {
        ASSERT_TRUE(row.cells.size() == 6u || (row.cells.size() == 7u && row.cells[6] == "action"))
            << "line " << row.line;
        if (row.cells[4] == "data")
            continue;
        const int id = std::stoi(row.cells[1]);
        EXPECT_EQ(id, static_cast<int>(byId.size()) + 1) << "line " << row.line;
        byId.push_back(propertyName(row));
    }
    std::vector<std::string> expected = byId;
    std::stable_sort(expected.begin(), expected.end(), caseInsensitiveLess);
    if (family.prefix == "SOAPS_") {
        // The one break in the rule: otherHeaders holds 19, ahead of idle and localHost.
        expected.erase(std::find(expected.begin(), expected.end(), "otherHeaders"));
        expected.insert(expected.begin() + 18, "otherHeaders");
        EXPECT_EQ(byId.at(18), "otherHeaders");
        EXPECT_EQ(byId.at(19), "idle");
        EXPECT_EQ(byId.at(20), "localHost");
    }
    EXPECT_EQ(byId, expected);
}

TEST_P(FamilyTable, ByteFormsAreExactlyTheCountedTexts)
{
    std::map<int, const Row*> counted, data;
    for (const Row& row : family.properties) {
        const std::string& kind = row.cells[4];
        if (kind == "counted")
            counted[std::stoi(row.cells[1])] = &row;
        if (kind == "data")
            data[std::stoi(row.cells[1])] = &row;
    }
    ASSERT_EQ(counted.size(), data.size());
    for (const auto& [id, text] : counted) {
        ASSERT_TRUE(data.count(id)) << "id " << id << " has no byte form";
        const Row& bytes = *data[id];
        const std::string& getter = text->cells[2];
        const std::string& setter = text->cells[3];
        EXPECT_EQ(bytes.cells[2], getter == "-" ? "-"
                                                : withoutColons(getter) + "B" + (colons(getter) ? ":" : ""));
        EXPECT_EQ(bytes.cells[3], setter == "-" ? "-"
                                                : setter.substr(0, setter.find(':')) + "B" + setter.substr(setter.find(':')));
        EXPECT_EQ(bytes.cells[5], text->cells[5]);
    }
}

TEST_P(FamilyTable, AccessorsHaveOneArgumentPartPerValueAndIndex)
{
    const std::set<std::string> kinds{"string", "counted", "data", "int", "bool"};
    for (const Row& row : family.properties) {
        EXPECT_TRUE(kinds.count(row.cells[4])) << "line " << row.line;
        const bool indexed = row.cells[5] == "indexed";
        EXPECT_TRUE(indexed || row.cells[5] == "plain") << "line " << row.line;
        EXPECT_FALSE(row.cells[2] == "-" && row.cells[3] == "-") << "line " << row.line;
        if (row.cells[2] != "-") {
            EXPECT_EQ(colons(row.cells[2]), indexed ? 1 : 0) << "line " << row.line;
        }
        if (row.cells[3] != "-") {
            EXPECT_EQ(colons(row.cells[3]), indexed ? 2 : 1) << "line " << row.line;
            EXPECT_EQ(row.cells[3].substr(0, 3), "set") << "line " << row.line;
            if (row.cells[2] != "-") {
                std::string name = withoutColons(row.cells[2]);
                name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
                EXPECT_EQ(withoutColons(row.cells[3]), "set" + name) << "line " << row.line;
            }
        }
    }
}

TEST_P(FamilyTable, ConfigFirstThenMethodsAlphabetically)
{
    ASSERT_FALSE(family.methods.empty());
    const Row& config = family.methods.front();
    EXPECT_EQ(config.cells, (std::vector<std::string>{"method", "1", "config:", "string", "string"}));
    const std::set<std::string> argumentKinds{"string", "data", "int"};
    std::vector<std::string> selectors;
    for (size_t i = 0; i < family.methods.size(); ++i) {
        const Row& row = family.methods[i];
        ASSERT_EQ(row.cells.size(), 5u) << "line " << row.line;
        EXPECT_EQ(std::stoi(row.cells[1]), static_cast<int>(i) + 1) << "line " << row.line;
        const auto arguments = kinds(row.cells[3]);
        EXPECT_EQ(colons(row.cells[2]), static_cast<int>(arguments.size())) << "line " << row.line;
        for (const auto& kind : arguments)
            EXPECT_TRUE(argumentKinds.count(kind)) << "line " << row.line;
        EXPECT_TRUE(row.cells[4] == "-" || row.cells[4] == "string" || row.cells[4] == "counted")
            << "line " << row.line;
        if (i > 0)
            selectors.push_back(row.cells[2]);
    }
    EXPECT_TRUE(std::is_sorted(selectors.begin(), selectors.end(), caseInsensitiveLess));
}

TEST_P(FamilyTable, EventsRunAlphabeticallyWithoutOn)
{
    const std::set<std::string> argumentKinds{"string", "data", "int", "long", "bool", "int&"};
    std::vector<std::string> names;
    for (size_t i = 0; i < family.events.size(); ++i) {
        const Row& row = family.events[i];
        ASSERT_EQ(row.cells.size(), 4u) << "line " << row.line;
        EXPECT_EQ(std::stoi(row.cells[1]), static_cast<int>(i) + 1) << "line " << row.line;
        ASSERT_EQ(row.cells[2].substr(0, 2), "on") << "line " << row.line;
        const auto arguments = kinds(row.cells[3]);
        EXPECT_EQ(colons(row.cells[2]), static_cast<int>(arguments.size())) << "line " << row.line;
        for (const auto& kind : arguments)
            EXPECT_TRUE(argumentKinds.count(kind)) << "line " << row.line;
        names.push_back(row.cells[2].substr(2));
    }
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), caseInsensitiveLess));
}

// Every indexed property belongs to exactly one list, sized by a plain int property of the
// family; an append row's method takes one argument per member it extends.
TEST_P(FamilyTable, IndexedPropertiesAreCountedByOneList)
{
    std::map<std::string, const Row*> byName;
    for (const Row& row : family.properties)
        if (row.cells[4] != "data")
            byName[row.cells[2] != "-" ? row.cells[2] : row.cells[3]] = &row;
    std::map<std::string, int> listed;
    for (const Row& list : family.lists) {
        ASSERT_GE(list.cells.size(), 3u) << "line " << list.line;
        ASSERT_TRUE(byName.count(list.cells[1])) << "line " << list.line;
        const Row& count = *byName[list.cells[1]];
        EXPECT_EQ(count.cells[4], "int") << "line " << list.line;
        EXPECT_EQ(count.cells[5], "plain") << "line " << list.line;
        for (size_t i = 2; i < list.cells.size(); ++i)
            ++listed[list.cells[i]];
    }
    for (const auto& [name, row] : byName) {
        if (row->cells[5] == "indexed") {
            EXPECT_EQ(listed[name], 1) << name;
        }
    }
    for (const Row& append : family.appends) {
        const auto method = std::find_if(family.methods.begin(), family.methods.end(),
                                         [&](const Row& m) { return m.cells[2] == append.cells[1]; });
        ASSERT_NE(method, family.methods.end()) << "line " << append.line;
        EXPECT_EQ(kinds(method->cells[3]).size() + 2, append.cells.size()) << "line " << append.line;
        for (size_t i = 2; i < append.cells.size(); ++i)
            EXPECT_EQ(listed[append.cells[i]], 1) << "line " << append.line;
    }
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, FamilyTable, ::testing::ValuesIn(kCounts),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
