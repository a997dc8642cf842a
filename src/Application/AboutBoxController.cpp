#include "Application/AboutBoxController.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "Common/Strings/NSStringApplicationInfoAddition.h"
#include "Platform/Formatter.h"
#include "Platform/Gui/Window.h"
#include "Platform/Gui/Workspace.h"
#include "ZovTranslatorManager.h"

namespace vistel {

namespace {

AboutBoxController*& sharedController()
{
    static AboutBoxController* controller = nullptr;
    return controller;
}

QLabel* centredLabel(QLayout* layout)
{
    auto* label = new QLabel;
    label->setAlignment(Qt::AlignHCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    layout->addWidget(label);
    return label;
}

} // namespace

void AboutBoxController::orderFrontAboutBox()
{
    // Kept for the rest of the run.
    const bool first = !sharedController();
    if (first)
        sharedController() = new AboutBoxController(Bundle::main());
    QWidget* window = sharedController()->window();
    if (first) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect visible = screen->availableGeometry();
            window->move(visible.center() - QPoint(window->width() / 2, window->height() / 2));
        }
    }
    window->show();
    window->raise();
    window->activateWindow();
}

AboutBoxController* AboutBoxController::shared()
{
    return sharedController();
}

AboutBoxController::AboutBoxController(Ref<Bundle> bundle)
    : bundle_(std::move(bundle))
{
    window_ = new QWidget(nullptr, Qt::Dialog);
    window_->setObjectName("About");
    closeWithEscapeAndCloseKey(window_);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(32, 24, 32, 20);
    layout->setSpacing(8);
    applicationNameTextField_ = centredLabel(layout);
    QFont big = applicationNameTextField_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    applicationNameTextField_->setFont(big);
    versionStringTextField_ = centredLabel(layout);
    copyrightTextField_ = centredLabel(layout);
    licenseButton_ = new QPushButton(QString::fromStdString(ZOV_TRANSLATE("License Agreement", "awakeFromNib")));
    QObject::connect(licenseButton_, &QPushButton::clicked, [this] { showLicenseAgreement(); });
    layout->addWidget(licenseButton_, 0, Qt::AlignHCenter);
    awakeFromNib();
}

AboutBoxController::~AboutBoxController()
{
    if (sharedController() == this)
        sharedController() = nullptr;
    delete window_;
}

void AboutBoxController::awakeFromNib()
{
    std::string name = bundle_->objectForInfoDictionaryKey("CFBundleName").toString();
    if (name.empty())
        name = ProductName;
    applicationNameTextField_->setText(QString::fromStdString(name));
    versionStringTextField_->setText(QString::fromStdString(
        format(ZOV_TRANSLATE("Version %@ (%@)", "awakeFromNib"), NSStringApplicationInfoAddition::shortVersion(*bundle_),
               NSStringApplicationInfoAddition::minorVersion(*bundle_))));
    copyrightTextField_->setText(
        QString::fromStdString(NSStringApplicationInfoAddition::localizedInfoValue("NSHumanReadableCopyright", *bundle_)));
    licenseButton_->setVisible(!licenseAgreementPath().empty());
    window_->setWindowTitle(QString::fromStdString(
        NSStringApplicationInfoAddition::stringByResolvingInfoKey(
            "CFBundleName", ZOV_TRANSLATE("About CFBundleName", "awakeFromNib"), *bundle_)
            .value_or(name)));
    window_->adjustSize();
    window_->setFixedSize(window_->sizeHint().expandedTo(QSize(300, 0)));
}

std::string AboutBoxController::licenseAgreementPath() const
{
    return bundle_->pathForResource("License", "rtf");
}

void AboutBoxController::showLicenseAgreement()
{
    if (const std::string path = licenseAgreementPath(); !path.empty())
        Workspace::openFile(path);
}

} // namespace vistel
