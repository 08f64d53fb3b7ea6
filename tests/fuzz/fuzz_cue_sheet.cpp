// Disc image sheets come from anywhere. Whatever a cue sheet holds, its FILE entries have a
// name without line breaks and an upper-case type word; a .toc sheet rewritten for libcdio
// keeps its lines, and only FILE, AUDIOFILE and DATAFILE lines change, by the folder put
// before a name.
#include "engines/cuesheet.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace engines;

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t end = text.find_first_of("\r\n", pos);
        lines.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t breaks = 1;
    for (char c : text)
        breaks += c == '\n' || c == '\r';
    const auto files = cueSheetFiles(text);
    if (files.size() > breaks)
        std::abort();
    for (const CueFileEntry& f : files) {
        if (f.name.empty() || f.name.find_first_of("\r\n") != std::string::npos ||
            f.type.find_first_of("\r\n\t ") != std::string::npos)
            std::abort();
        for (char c : f.type) {
            if (std::islower(static_cast<unsigned char>(c)))
                std::abort();
        }
    }

    const std::string folder = "/media/a disc";
    const std::string rewritten = tocSheetUnderFolder(text, folder);
    const auto before = linesOf(text), after = linesOf(rewritten);
    if (before.size() != after.size())
        std::abort();
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i])
            continue;
        // The only change: the folder and a slash inserted after the first quote.
        const size_t quote = before[i].find('"');
        if (quote == std::string::npos ||
            after[i] != before[i].substr(0, quote + 1) + folder + "/" + before[i].substr(quote + 1))
            std::abort();
        if (before[i].find("FILE") == std::string::npos)
            std::abort();
    }
    return 0;
}
