#pragma once
// Kolvo as the desktop's player for media files and audio CDs, and the undoing of it, the
// freedesktop.org way: defaults in the user's mimeapps.list naming Kolvo's desktop entries.
// Every default it replaces is kept first ("Kolvo.BAK" in Registry.conf, once: registering again
// keeps the value from before the first registration), so restoring gives back the user's own
// choice, and the whole file byte for byte once everything Kolvo registered is restored.
//
// The extension table is the designed one; each extension stands for its MIME type (".mp3" for
// audio/mpeg), so extensions of one type are registered and restored together. The list is read,
// changed and written once per request: a list that cannot be read or written, a malformed one,
// or a folder for Kolvo's desktop entry that cannot be made changes nothing and says why.

#include <optional>
#include <string>
#include <vector>

namespace associations {

// Kolvo's desktop entries: files, and audio CDs (which start it with "/playcd").
inline constexpr const char* kDesktopId = "kolvo.desktop";
inline constexpr const char* kCdDesktopId = "kolvo-cd.desktop";
// The types an audio CD is offered to Kolvo by.
inline constexpr const char* kCdTypes[] = {"x-content/audio-cdda", "x-scheme-handler/cdda"};

struct Extension
{
    const char* extension; // ".mp3"
    const char* className; // the designed class name, "MPEG Audio"
    const char* mimeType;  // what the desktop calls files of this extension
};

// Family 0 Digital Audio, 1 MIDI, 2 Digital Video, in the designed list order (at most 20).
const std::vector<Extension>& familyExtensions(int family);
// The family of the dialog opened for a player component: 4 MIDI, 5 video, else audio.
int familyOfComponent(int component);

// What came of a request: the text to show and whether it is a failure.
struct Outcome
{
    bool ok = true;
    std::string message;
};

// The designed Apply: `register` and `restore` are extensions of the family; the message is the
// designed one (1077 and 1078 with the lists, or 1079 when both are empty).
Outcome Apply(int family, const std::vector<std::string>& registerExts,
              const std::vector<std::string>& restoreExts);
// Kolvo as the audio CD player (1043), and the previous player back (1044).
Outcome RegisterCdPlayer();
Outcome RestoreCdPlayer();

} // namespace associations
