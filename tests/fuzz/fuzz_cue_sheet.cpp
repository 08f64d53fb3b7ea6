// Disc image sheets come from anywhere. Whatever a cue sheet holds, its FILE entries have a
// name without line breaks and an upper-case type word; a .toc sheet rewritten for libcdio
// keeps its lines, and only FILE, AUDIOFILE and DATAFILE lines change, by the folder put
// before a name.
#include "engines/cuesheet.h"
#include "fuzzcheck.h"

using namespace engines;

static std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t pos = 0;;) {
        const size_t end = text.find_first_of("\r\n", pos);
        lines.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos)
            return lines;
        pos = end + 1;
    }
}

FUZZ_TARGET
{
    const auto files = cueSheetFiles(bytes);
    FUZZ_CHECK(files.size() <= linesOf(bytes).size());
    for (const CueFileEntry& f : files) {
        FUZZ_CHECK(!f.name.empty() && f.name.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(f.type.find_first_of("\r\n\t abcdefghijklmnopqrstuvwxyz") == std::string::npos);
    }

    const std::string folder = "/media/a disc";
    const auto before = linesOf(bytes), after = linesOf(tocSheetUnderFolder(bytes, folder));
    FUZZ_CHECK(before.size() == after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i])
            continue;
        // The only change: the folder and a slash inserted after the first quote.
        const size_t quote = before[i].find('"');
        FUZZ_CHECK(quote != std::string::npos && before[i].find("FILE") != std::string::npos &&
                   after[i] ==
                       before[i].substr(0, quote + 1) + folder + "/" + before[i].substr(quote + 1));
    }
}
