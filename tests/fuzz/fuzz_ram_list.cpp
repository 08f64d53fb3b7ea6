// RealAudio .ram lists come from web pages and discs. Whatever they hold, every clip the parser
// gives back must be something the engine can open: an http address, or a path that is
// absolute or inside the list's folder, never empty, never holding a NUL.
#include "engines/ramlist.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace engines;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string content(reinterpret_cast<const char*>(data), size);
    // The folder changes with the input too: none, the root, or an ordinary one.
    const std::string folders[] = {"", "/", "/media/disc/Real Audio"};
    const std::string& folder = folders[size % 3];
    size_t lines = 1;
    for (char c : content)
        lines += c == '\n';
    const auto clips = parseRamList(content, folder);
    if (clips.size() > lines)
        std::abort();
    for (const std::string& clip : clips) {
        if (clip.empty() || clip.find('\0') != std::string::npos)
            std::abort();
        const bool address = clip.rfind("http://", 0) == 0 || clip.rfind("https://", 0) == 0;
        const bool local = clip[0] == '/' ||
                           (!folder.empty() && clip.rfind(folder + "/", 0) == 0) || folder.empty();
        if (!address && !local)
            std::abort();
    }
    const std::string path = pathFromFileAddress(content);
    if (!path.empty() && (path[0] != '/' || path.find('\0') != std::string::npos))
        std::abort();
    return 0;
}
