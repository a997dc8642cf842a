#pragma once
// NSApplicationWithLimitedOpenFiles: the program's application object. Opening many files at
// once (six or more) asks first, since each opens a window of its own.
//
// Thread rules: main thread only.

#include <string>
#include <vector>

#include "Platform/Gui/PlatformApplication.h"
#include "ZovClass.h"

namespace vistel {

class NSApplicationWithLimitedOpenFiles : public PlatformApplication {
public:
    ZOV_ROOT_CLASS_WITH_ORIGINAL_NAME(NSApplicationWithLimitedOpenFiles, "NSApplicationWithLimitedOpenFiles")

    static constexpr std::size_t FilesOpenedWithoutAsking = 5;

    NSApplicationWithLimitedOpenFiles(int& argc, char** argv);

    // Yes for fewer than six files; otherwise asks ("Open" opens them).
    static bool shouldOpenFiles(const std::vector<std::string>& paths);
    // Opens the files through the application object (files opened at launch noted), unless
    // shouldOpenFiles refuses.
    static void doOpenFiles(const std::vector<std::string>& paths);
};

} // namespace vistel
