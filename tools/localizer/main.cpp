// localizer: reads translatable texts with one of the translation backends (a project, an
// Objective-C source file, a string table) and writes them as a string table, keeping the
// translations already present in the output file.
//
//   localizer [-b KEY] [-c none|minimum|all] [--categories] -o OUTPUT INPUT...
//
// Several inputs are merged in the order given. The header date is the current time, or
// SOURCE_DATE_EPOCH (seconds since 1970) when that is set, so that builds are reproducible.
// Exit status: 0 written, 1 an input could not be loaded or the table not saved, 2 usage.

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Exception.h"
#include "ZovTranslatorData.h"
#include "backends/ZovTranslatorCocoaBackend.h"

using namespace vistel;

namespace {

void printUsage(std::ostream& out)
{
    out << "usage: localizer [-b KEY] [-c none|minimum|all] [--categories] -o OUTPUT INPUT...\n"
           "  -b, --backend KEY     backend that reads the inputs (default: pbx)\n"
           "  -c, --comments LEVEL  comments in the table: none, minimum (default) or all\n"
           "      --categories      write category names into the keys\n"
           "  -o, --output FILE     string table to write; its translations are kept\n"
           "backends:\n";
    for (const ZovTranslatorBackendClass* backend : ZovTranslatorData::availableBackends()) {
        const std::string description = backend->description();
        out << "  " << backend->key() << (description.empty() ? "" : "  " + description) << "\n";
    }
}

int usageError(const std::string& message)
{
    std::cerr << "localizer: " << message << "\n";
    printUsage(std::cerr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string backendKey = "pbx";
    std::string level = ZovTranslatorCocoaBackendCommentsLevelMinimum;
    bool categories = false;
    std::string output;
    std::vector<std::string> inputs;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            printUsage(std::cout);
            return 0;
        } else if (arg == "-b" || arg == "--backend") {
            if (!value(backendKey))
                return usageError("missing backend key");
        } else if (arg == "-c" || arg == "--comments") {
            std::string name;
            if (!value(name))
                return usageError("missing comment level");
            if (name == "none")
                level = ZovTranslatorCocoaBackendCommentsLevelNone;
            else if (name == "minimum")
                level = ZovTranslatorCocoaBackendCommentsLevelMinimum;
            else if (name == "all")
                level = ZovTranslatorCocoaBackendCommentsLevelAll;
            else
                return usageError("unknown comment level: " + name);
        } else if (arg == "--categories") {
            categories = true;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(output))
                return usageError("missing output file");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option: " + std::string(arg));
        } else {
            inputs.emplace_back(arg);
        }
    }
    if (output.empty() || inputs.empty())
        return usageError("an output file and at least one input are needed");
    const ZovTranslatorBackendClass* backend = ZovTranslatorData::backendForKey(backendKey);
    if (!backend)
        return usageError("unknown backend: " + backendKey);

    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        char* end = nullptr;
        errno = 0;
        const long long seconds = std::strtoll(epoch, &end, 10);
        if (*end != '\0')
            return usageError("SOURCE_DATE_EPOCH is not a number of seconds");
        // The clock counts in fine units: a date some 292 years from 1970 or further overflows it.
        constexpr long long limit =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::duration::max()).count();
        if (errno == ERANGE || seconds > limit || seconds < -limit)
            return usageError("SOURCE_DATE_EPOCH is beyond the dates the clock can hold");
        const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
        ZovTranslatorCocoaBackend::setClock([when] { return when; });
    }

    try {
        auto merged = ZovTranslatorData::translatorData();
        for (const std::string& input : inputs) {
            Ref<ZovTranslatorData> data;
            if (!backend->load(data, input, Value())) {
                std::cerr << "localizer: cannot load " << input << " with the " << backendKey << " backend";
                if (const auto error = backend->lastError())
                    std::cerr << ": " << error->localizedDescription;
                std::cerr << "\n";
                return 1;
            }
            merged->addTranslatorData(*data);
        }
        const Value options = Value::dictionary({{ZovTranslatorCocoaBackendCommentsLevelOption, level},
                                                 {ZovTranslatorCocoaBackendSaveCategoryOption, categories}});
        if (!ZovTranslatorCocoaBackend::save(merged, output, options)) {
            std::cerr << "localizer: cannot write " << output << "\n";
            return 1;
        }
    } catch (const Exception& error) {
        std::cerr << "localizer: " << error.description() << "\n";
        return 1;
    }
    return 0;
}
