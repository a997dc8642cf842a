#pragma once
// NSAlert(FileError): the alert that tells the user why a file operation failed.
//
// A status code (negative system codes, or errno values that file services pass on), the kind of
// operation (0 copy, 1 move to Trash, 2 delete, 3 create folder, 4 move, 5 convert, 6 rename)
// and the two paths become a message and an informative text; the alert shows them with one
// "OK" button. For the codes that may mean a vanished device (-36, -5000, -43, -35) the volumes
// of both paths are checked first, so an unplugged card or a dead network share is reported as
// such rather than as a bare input/output error.
//
// Every text is translated under the class "NSAlert" and the method
// "showFileError:operationType:source:destination:" before it is filled.
//
// The volume check asks the volume registry through a lookup; the catalogue installs one over
// the volume manager. Until then the lookup reads the system's mount table: the volume of a path
// is the mount with the longest mount point above it, and it is available when the file system
// there still answers.
//
// Thread rules: fileErrorTexts() and the lookups from any thread; showFileError() on the main
// thread (called elsewhere, it runs the alert on the main thread and waits for it).

#include <functional>
#include <optional>
#include <string>

#include "ZovClass.h"

namespace vistel::NSAlertFileError {

// What the check needs to know of one volume.
struct Volume {
    std::string displayName;
    // The volume verified itself just now.
    bool available = false;
};
// The volume of a path, verified; nullopt when the registry knows no volume for it.
using VolumeLookup = std::function<std::optional<Volume>(const std::string& path)>;

// Installs the registry's lookup; an empty one restores the mount-table lookup. Answers the
// previous one.
VolumeLookup setVolumeLookup(VolumeLookup lookup);
VolumeLookup volumeLookup();
// The mount-table lookup.
std::optional<Volume> mountedVolumeForPath(const std::string& path);

struct Texts {
    std::string messageText;
    std::string informativeText;
    friend bool operator==(const Texts&, const Texts&) = default;
};

// The translated, filled texts of the alert.
Texts fileErrorTexts(int status, int operationType, const std::string& source, const std::string& destination,
                     const VolumeLookup& volumes);

// Shows the alert modally and answers its result (the "OK" button answers 1).
int showFileError(int status, int operationType, const std::string& source, const std::string& destination);

// The class the texts are translated under.
const ZovClass& alertZovClass();

} // namespace vistel::NSAlertFileError
