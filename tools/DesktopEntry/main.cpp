// vistel-desktop-entry TEMPLATE OUTPUT
// Fills the desktop entry template with the MIME types of the codec plug-ins found in the
// plug-ins folder (VISTEL_PLUGINS_DIR, or the one beside the program). Run by the build after
// the plug-ins are staged; fails when no codec offers a MIME type, so a build without working
// codecs does not ship an entry that opens nothing.
#include <fstream>
#include <iostream>
#include <sstream>

#include "Imaging/DesktopEntry.h"
#include "Imaging/RIReperesentation.h"
#include "Platform/AtomicFileWriter.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: vistel-desktop-entry TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "vistel-desktop-entry: can't read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream templateText;
    templateText << in.rdbuf();

    const vistel::Value types = vistel::RIReperesentation::imageUnfilteredFileTypesProperties();
    if (vistel::DesktopEntry::mimeTypes(types).empty()) {
        std::cerr << "vistel-desktop-entry: no codec plug-in offers a MIME type\n";
        return 1;
    }
    const auto written = vistel::writeFileAtomically(argv[2], vistel::DesktopEntry::fillTemplate(templateText.str(), types));
    if (!written) {
        std::cerr << "vistel-desktop-entry: " << written.cause << "\n";
        return 1;
    }
    return 0;
}
