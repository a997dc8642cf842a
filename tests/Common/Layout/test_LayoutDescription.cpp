#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "Common/Layout/ZovBoxLayout.h"
#include "LayoutTestSupport.h"

using namespace vistel;

namespace {

// Replaces every non-null address by a name in order of first appearance, so that the dump
// compares across runs while it still shows which item is whose parent.
std::string maskAddresses(const std::string& text)
{
    const std::size_t digits = 2 * sizeof(void*);
    std::map<std::string, std::string> names;
    std::string result;
    std::size_t last = 0;
    for (std::size_t at = text.find("0x"); at != std::string::npos; at = text.find("0x", last)) {
        std::size_t end = at + 2;
        while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end])))
            ++end;
        result += text.substr(last, at - last);
        const std::string found = text.substr(at, end - at);
        if (end - at != 2 + digits || found == "0x" + std::string(digits, '0')) {
            result += found;
        } else {
            auto [entry, added] = names.try_emplace(found, "<ADDR" + std::to_string(names.size() + 1) + ">");
            result += entry->second;
        }
        last = end;
    }
    return result + text.substr(last);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

} // namespace

// A vertical box holding a header, a horizontal row and a hidden footer; the row holds a
// sidebar item and a vertical box with one item: three levels of layouts.
TEST(LayoutDescription, ThreeLevelTreeMatchesTheGoldenDump)
{
    auto root = ZovBoxLayout::createVertical();
    root->setSpacing(4);

    auto header = ZovLayoutItem::create();
    header->setVSizePolicy(MakeFixedSizePolicy(20));
    root->addItem(std::move(header));

    auto row = ZovBoxLayout::createHorizontal();
    row->setMargins(2);
    auto sidebar = ZovLayoutItem::create();
    sidebar->setHSizePolicy(MakePreferredSizePolicy(120, 80, 200));
    sidebar->setCustomProperty(Value("sidebar"), "role");
    row->addItem(std::move(sidebar));
    auto column = ZovBoxLayout::createVertical();
    auto cell = ZovLayoutItem::create();
    cell->setHeightForWidthFactor(2);
    column->addItem(std::move(cell));
    row->addItem(std::move(column));
    root->addItem(std::move(row));

    auto footer = ZovLayoutItem::create();
    footer->setVSizePolicy(MakeFixedSizePolicy(26));
    footer->setVisible(false);
    root->addItem(std::move(footer));

    root->setFrame({0, 0, 640, 480});

    const std::string dump = maskAddresses(root->description()) + "\n";
    const std::string goldenPath = std::string(VISTEL_TEST_DATA_DIR) + "/layout_description.txt";
    const std::string golden = readFile(goldenPath);
    EXPECT_EQ(dump, golden) << "golden file: " << goldenPath << "\nactual dump:\n" << dump;
}

TEST(LayoutDescription, AddressesArePrintedFullWidth)
{
    auto item = ZovLayoutItem::create();
    const std::string text = item->description();
    EXPECT_NE(text.find(LayoutPointerText(item.get())), std::string::npos);
    EXPECT_EQ(LayoutPointerText(item.get()).size(), 2 + 2 * sizeof(void*));
}

// The layout engine is meant to be used without the GUI toolkit: no Qt library may come
// into the process through it.
TEST(LayoutLibrary, LoadsNoQt)
{
    const std::string maps = readFile("/proc/self/maps");
    ASSERT_FALSE(maps.empty());
    EXPECT_EQ(maps.find("libQt"), std::string::npos);
}
