// The four panels on a real X display (Xvfb): each shows its browser with the accessory below
// it and the panel's own OK button inside the window. With VISTEL_KEEP_SCREENSHOTS set to a
// folder, each panel's window is saved there as a picture.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <filesystem>

#include "TestSupport.h"
#include "Operations/Panels/ConversionPanels.h"
#include "PanelsTestSupport.h"

namespace vistel::test {
namespace {

TEST(ConversionPanelsOnScreen, DISABLED_EachPanelUnderX)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    auto convert = BatchConvertionPanel::openPanel("BatchConvertion");
    choose(convert->accessory()->popupButton(), ConversionPanelAccessory::PDF);
    convert->accessory()->encryptButton()->setChecked(true);
    convert->accessory()->pdfPassword1()->setText("secret");
    auto resize = BatchResizePanel::openPanel("BatchResize");
    choose(resize->popupButton(), BatchResizePanel::PrintSize);
    choose(resize->unitsPopupButton(), BatchResizePanel::Centimetres);
    auto rename = BatchRenamePanel::openPanel("BatchRename");
    auto save = SaveImageAsPanel::savePanel("SaveImageAs");
    save->fileDialog()->selectFile("holiday");
    const std::pair<const char*, AccessoryFilePanel*> panels[] = {
        {"convert", convert.get()}, {"resize", resize.get()}, {"rename", rename.get()}, {"save", save.get()}};
    const char* keep = std::getenv("VISTEL_KEEP_SCREENSHOTS");
    for (auto [name, panel] : panels) {
        SCOPED_TRACE(name);
        panel->fileDialog()->setDirectory(QDir::tempPath());
        panel->resize(620, 460);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
        QTest::qWait(300);
        const QRect inside = panel->rect();
        const QRect browser(panel->fileDialog()->mapTo(panel, QPoint()), panel->fileDialog()->size());
        const QRect accessory(panel->accessoryView()->mapTo(panel, QPoint()), panel->accessoryView()->size());
        const QRect ok(panel->okButton()->mapTo(panel, QPoint()), panel->okButton()->size());
        EXPECT_TRUE(panel->okButton()->isVisible());
        EXPECT_TRUE(inside.contains(ok)) << ok.y() << " of " << inside.height();
        EXPECT_GE(accessory.top(), browser.bottom());
        EXPECT_LE(accessory.bottom(), ok.top());
        EXPECT_GT(browser.height(), 150);
        if (keep) {
            const QPixmap shot = panel->screen()->grabWindow(panel->winId());
            EXPECT_TRUE(shot.save(QString("%1/panel-%2.png").arg(keep, name)));
        }
        panel->hide();
    }
}

TEST(ConversionPanelsOnScreen, EachPanelShowsItsAccessoryBelowTheBrowser)
{
    if (!std::filesystem::exists("/usr/bin/xvfb-run"))
        VISTEL_SKIP_UNAVAILABLE() << "xvfb-run is not installed";
    TemporaryFolder folder;
    const XvfbTestRun run = runTestUnderXvfb("ConversionPanelsOnScreen.DISABLED_EachPanelUnderX", folder / "out.txt");
    EXPECT_TRUE(run.exitedZero) << run.output;
}

} // namespace
} // namespace vistel::test
