// Fuzzes both string table readers: the run-time reader (any encoding) and the localiser's
// reader after preprocessing, plus the escape round trip.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Preprocessor.h"
#include "StringsFile.h"
#include "Utf16.h"
#include "backends/ZovTranslatorCocoaBackend.h"

using namespace vistel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto table = parseStringsFile(bytes)) {
        for (const auto& [key, value] : *table) {
            // What saving writes must read back as the same text.
            const std::string escaped = escapeStringsText(value);
            if (unescapeStringsText(*utf16::fromUtf8(escaped)) != value)
                std::abort();
            (void)key;
        }
    }
    if (auto text = utf16::fromUtf8(bytes)) {
        auto tree = ZovTranslatorData::translatorData();
        const std::u16string body = Preprocessor::preprocessor().createPreprocessedString(std::u16string_view(*text));
        ZovTranslatorCocoaBackend::parsePreprocessedBodyString(*tree, body);
        ZovTranslatorCocoaBackend::tableText(*tree, nullptr, false, 2);
    }
    return 0;
}
