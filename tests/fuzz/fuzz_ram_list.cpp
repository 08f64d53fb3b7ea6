// RealAudio .ram lists come from web pages and discs. Whatever they hold, every clip the parser
// gives back must be something the engine can open: an http address, or a path that is
// absolute or inside the list's folder, never empty, never holding a NUL.
#include "engines/ramlist.h"
#include "fuzzcheck.h"

using namespace engines;

FUZZ_TARGET
{
    // The folder changes with the input too: none, the root, or an ordinary one.
    const std::string folders[] = {"", "/", "/media/disc/Real Audio"};
    const std::string& folder = folders[size % 3];
    const auto clips = parseRamList(bytes, folder);
    FUZZ_CHECK(clips.size() <=
               1 + static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
    for (const std::string& clip : clips) {
        FUZZ_CHECK(!clip.empty() && clip.find('\0') == std::string::npos);
        const bool address = clip.rfind("http://", 0) == 0 || clip.rfind("https://", 0) == 0;
        FUZZ_CHECK(address || clip[0] == '/' || folder.empty() || clip.rfind(folder + "/", 0) == 0);
    }
    const std::string path = pathFromFileAddress(bytes);
    FUZZ_CHECK(path.empty() || (path[0] == '/' && path.find('\0') == std::string::npos));
}
