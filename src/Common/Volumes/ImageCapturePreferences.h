#pragma once
// ImageCapturePreferences: which application the desktop starts when a camera (a card with a
// DCIM folder, content type "x-content/image-dcf") is connected, and which it offers. They are
// kept in the user's mimeapps.list in configurationFolder() ($XDG_CONFIG_HOME): the offered
// applications under [Added Associations], the started one under [Default Applications],
// each as a desktop file id; Vistel is "vistel.desktop".
//
// The file is read once when the object is made; save() writes it back with the safe save,
// changing only the "x-content/image-dcf" lines of those two groups: every other line (other
// types, other groups, comments, blank lines) stays as it was.
//
// One thread at a time (the preferences window's).

#include <string>
#include <vector>

#include "Platform/Object.h"
#include "Platform/StatusCodes.h"

namespace vistel {

class ImageCapturePreferences final : public Object {
public:
    static constexpr const char* ContentType = "x-content/image-dcf";
    static constexpr const char* VistelDesktopID = "vistel.desktop";

    // Reads mimeapps.list; a missing or unreadable file is an empty one.
    static Ref<ImageCapturePreferences> imageCapturePreferences();

    // Vistel is among the offered applications.
    bool isVistelPresent() const;
    void setVistelPresent(bool present);
    // Vistel is offered and started.
    bool isVistelADefault() const;
    // Yes: offered and started. No: the first other offered application is started, or none.
    void setVistelADefault(bool isDefault);

    // The offered applications and the started one ("" for none).
    const std::vector<std::string>& offeredApplications() const { return offered_; }
    const std::string& defaultApplication() const { return default_; }

    // Writes the file (creating it and its folder when missing); 0 or the safe save's status.
    StatusCode save() const;
    // The file's text as save() would write it.
    std::string text() const;
    static std::string path();

private:
    ImageCapturePreferences() = default;

    std::vector<std::string> lines_;
    bool endsWithNewline_ = true;
    std::vector<std::string> offered_;
    std::string default_;
};

} // namespace vistel
