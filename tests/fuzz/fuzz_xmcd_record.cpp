// A read reply comes from a server on the network. Whatever its lines hold, reading them must
// stay inside them, leave no xmcd line-break escape behind, give UTF-8 text, and an album
// filled from it must build back into a record whose lines keep their limits.
#include "cddb/discid.h"
#include "cddb/xmcd.h"
#include "platform/text.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool hasEscape(const std::string& s)
{
    return s.find("\\n") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos <= input.size()) {
        size_t end = input.find('\n', pos);
        if (end == std::string::npos)
            end = input.size();
        std::string line = input.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }

    const XmcdRecord raw = ParseXmcdRecord(lines, "misc");
    check(raw.trackTitles.size() <= lines.size());
    check(raw.trackExtendedInfo.size() <= lines.size());
    check(raw.category == "misc");
    check(!hasEscape(raw.title) && !hasEscape(raw.artist) && !hasEscape(raw.extendedInfo));
    for (const std::string& t : raw.trackTitles)
        check(!hasEscape(t));

    const bool korean = size % 2 == 1;
    const XmcdRecord decoded = DecodeXmcdRecord(raw, korean);
    check(text::isValidUtf8(decoded.title) && text::isValidUtf8(decoded.artist));
    for (const std::string& t : decoded.trackTitles)
        check(text::isValidUtf8(t));

    // Store into a disc of a few tracks and write it out again.
    const int tracks = 1 + static_cast<int>(size % 5);
    std::vector<std::int32_t> offsets;
    for (int i = 0; i < tracks; ++i)
        offsets.push_back(150 + i * 9000);
    CddbAlbum album = CddbAlbumFromToc(offsets, 150 + tracks * 9000);
    StoreXmcdRecord(album, decoded);
    const std::string record = BuildSubmissionRecord(album, kCddbClientName, korean);
    size_t start = 0;
    for (;;) {
        const size_t end = record.find("\r\n", start);
        const std::string line =
            record.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.empty() || line[0] != '#')
            check(line.size() <= 73);
        for (const char c : line)
            check(c != '\r' && static_cast<unsigned char>(c) < 0x7F);
        if (end == std::string::npos) {
            check(line == "PLAYORDER=3D");
            break;
        }
        start = end + 2;
    }
    return 0;
}
