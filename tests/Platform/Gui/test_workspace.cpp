// Handing files and addresses to the desktop, through a recording opener.

#include <gtest/gtest.h>

#include "Platform/Gui/Workspace.h"

using namespace vistel;

TEST(WorkspaceTest, FilesGoAsEncodedFileURLsAndAddressesAsGiven)
{
    std::vector<std::string> opened;
    Workspace::Opener previous = Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    EXPECT_TRUE(Workspace::openFile("/home/me/Holiday 2024/IMG#1.jpg"));
    EXPECT_TRUE(Workspace::openURL("https://example.org/client/en/301869"));
    EXPECT_FALSE(Workspace::openFile("relative.jpg"));
    EXPECT_FALSE(Workspace::openURL(""));
    EXPECT_EQ(opened, (std::vector<std::string> {"file:///home/me/Holiday%202024/IMG%231.jpg",
                                                 "https://example.org/client/en/301869"}));
    Workspace::setOpener(previous);
}
