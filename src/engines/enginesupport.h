#pragma once
// What the engine families share: posting notifications for one play cookie, telling files
// from stream addresses, output folders and file names, and the text buffers of the designed
// functions.

#include "platform/messages.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace engines {

// Posts an engine's notifications for one play cookie. Until armed, posts are held back (an
// open that fails is answered by its result, not by a notification as well); dropping the
// notifier discards them. Copies share the same state.
class Notifier
{
public:
    Notifier() = default;
    Notifier(HWND window, UINT message, int cookie);
    void post(int event, LPARAM value) const;
    void arm() const;

private:
    struct State
    {
        std::mutex mutex;
        bool armed = false;
        std::vector<std::pair<int, LPARAM>> held;
    };
    HWND m_window = 0;
    UINT m_message = 0;
    int m_cookie = 0;
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

bool isStreamAddress(const std::string& location);
// A file of a Video CD named by a kolvovcd: URI (see vcdsource.h): not in the file system, its
// source element opens the disc.
bool isVcdAddress(const std::string& location);
// An existing regular file we may read. False for a missing file, a folder or an unmounted
// medium, which the engines answer with their file-not-reachable code.
bool fileReachable(const std::string& path);

// The folder for written files when the setting names none: the user's music folder.
std::string defaultOutputFolder();
// The text of a 256-byte folder buffer of the designed functions ("" for a null pointer).
std::string folderFromBuffer(const char* buffer);
void folderToBuffer(char* buffer, const std::string& folder);
// "<folder>/<base><ext>"; with `unique`, " (2)", " (3)"... are added until the name is free.
std::string outputFileName(const std::string& folder, const std::string& base,
                           const std::string& extension, bool unique);
// The name part of a path or address without its extension ("stream" when there is none).
std::string baseNameOf(const std::string& location);

// Copies text into a caller's buffer of `size` bytes (cut on a UTF-8 character boundary);
// returns the number of bytes written, 0 for no buffer or no text.
std::int32_t copyText(char* buffer, int size, const std::string& text);

} // namespace engines
