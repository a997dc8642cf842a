// printlayouticons: draws the list icon of every print layout from its slots.
//
// Usage: printlayouticons LAYOUTS.xml OUTPUT-FOLDER [SIDE=64]
// Each layout's "icon" names the PNG written into OUTPUT-FOLDER (resources/images/printing for
// the shipped layouts), so the icons always show the slots the layouts really have.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QImage>

#include "Application/Printing/PrintLayout.h"
#include "Common/XML/XMLFrameManager.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LAYOUTS.xml OUTPUT-FOLDER [SIDE]\n", argv[0]);
        return 2;
    }
    const int side = argc > 3 ? std::atoi(argv[3]) : 64;
    vistel::ZOVPrintLayout::registerWrapperClass();
    vistel::XMLFrameManager document;
    if (document.ReadXMLFile(argv[1]) != vistel::XMLResult::Done) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    const vistel::Ref<vistel::XMLNodeEnumerator> layouts = document.getXMLNodeEnumerator(vistel::XMLNodeType::PrintLayout);
    int written = 0;
    while (const vistel::Ref<vistel::XMLNode> node = layouts ? layouts->nextObject() : nullptr) {
        auto* layout = dynamic_cast<vistel::ZOVPrintLayout*>(node.get());
        const std::string icon = layout ? layout->layoutIcon().value_or("") : "";
        if (icon.empty())
            continue;
        const std::string path = std::string(argv[2]) + "/" + icon;
        if (!vistel::renderLayoutIcon(*layout, QSize(side, side)).save(QString::fromStdString(path), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d icons in %s\n", written, argv[2]);
    return 0;
}
