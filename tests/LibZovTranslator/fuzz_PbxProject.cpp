// Fuzzes the project file grammar and the typed access the project walk uses.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "PbxProject.h"
#include "Preprocessor.h"
#include "Utf16.h"

using namespace vistel;

namespace {

void walk(const PbxItem& item, int depth)
{
    if (depth > 100)
        return;
    if (item.isArray()) {
        for (const PbxItem& child : item.array())
            walk(child, depth + 1);
    } else if (item.isDictionary()) {
        (void)item.isa();
        for (const auto& [key, value] : item.dictionary())
            if (auto child = item.itemForKey(key))
                walk(*child, depth + 1);
    } else {
        (void)item.string();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto text = utf16::fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!text)
        return 0;
    const std::u16string body = Preprocessor::preprocessor().createPreprocessedString(std::u16string_view(*text));
    if (auto root = PbxProject::parseBody(body))
        if (auto item = PbxItem::itemWithValue(*root))
            walk(*item, 0);
    return 0;
}
