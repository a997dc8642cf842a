// Fuzzes the preprocessor and the Objective-C source parser.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Preprocessor.h"
#include "Utf16.h"
#include "backends/ZovTranslatorSourceBackend.h"

using namespace vistel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto text = utf16::fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!text)
        return 0;
    const std::u16string body = Preprocessor::preprocessor().createPreprocessedString(std::u16string_view(*text));
    auto tree = ZovTranslatorData::translatorData();
    ZovTranslatorSourceBackend::parsePreprocessedSourceString(*tree, body);
    return 0;
}
