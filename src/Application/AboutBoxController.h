#pragma once
// AboutBoxController: the about box. One window for the whole run, made on first use: the
// program's name ("CFBundleName", else the fixed product name), "Version <short version>
// (<bundle version>)" and the copyright ("NSHumanReadableCopyright" as the user's language has
// it), centred; a button opens the licence agreement ("License.rtf" of the preferred
// localisation) with the default application, shown only when that document ships. Escape and
// Ctrl+W close it.
//
// Thread rules: main thread only.
#include <string>

#include "Platform/Bundle.h"
#include "ZovClass.h"

class QLabel;
class QPushButton;
class QWidget;

namespace vistel {

class AboutBoxController {
public:
    ZOV_ROOT_CLASS(AboutBoxController)
    static constexpr const char* ProductName = "Vistel Photo Browser";

    // Makes the shared controller on the first call; brings its window to the front.
    static void orderFrontAboutBox();
    // The shared controller, null before the first orderFrontAboutBox().
    static AboutBoxController* shared();

    // A controller over `bundle` (the main bundle's for the shared one).
    explicit AboutBoxController(Ref<Bundle> bundle);
    ~AboutBoxController();
    AboutBoxController(const AboutBoxController&) = delete;
    AboutBoxController& operator=(const AboutBoxController&) = delete;

    // Opens the licence agreement; nothing when it does not ship.
    void showLicenseAgreement();
    std::string licenseAgreementPath() const;

    QWidget* window() const { return window_; }
    QLabel* applicationNameTextField() const { return applicationNameTextField_; }
    QLabel* versionStringTextField() const { return versionStringTextField_; }
    QLabel* copyrightTextField() const { return copyrightTextField_; }
    QPushButton* licenseButton() const { return licenseButton_; }

private:
    void awakeFromNib();

    Ref<Bundle> bundle_;
    QWidget* window_ = nullptr; // owned
    QLabel* applicationNameTextField_ = nullptr;
    QLabel* versionStringTextField_ = nullptr;
    QLabel* copyrightTextField_ = nullptr;
    QPushButton* licenseButton_ = nullptr;
};

} // namespace vistel
