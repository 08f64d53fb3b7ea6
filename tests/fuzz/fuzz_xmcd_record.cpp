// A read reply comes from a server on the network. Whatever its lines hold, reading them must
// stay inside them, leave no xmcd line-break escape behind, give UTF-8 text, and an album
// filled from it must build back into a record whose lines keep their limits.
#include "cddb/discid.h"
#include "cddb/xmcd.h"
#include "fuzzcheck.h"
#include "platform/text.h"

// The text cut at every `end`; cut at LF, a line loses the CR before it too.
static std::vector<std::string> split(const std::string& text, const std::string& end)
{
    std::vector<std::string> lines;
    for (size_t pos = 0;;) {
        const size_t at = text.find(end, pos);
        std::string line = text.substr(pos, at == std::string::npos ? std::string::npos : at - pos);
        if (end == "\n" && !line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (at == std::string::npos)
            return lines;
        pos = at + end.size();
    }
}

static bool noEscape(const std::string& s)
{
    return s.find("\\n") == std::string::npos;
}

FUZZ_TARGET
{
    const std::vector<std::string> lines = split(bytes, "\n");
    const XmcdRecord raw = ParseXmcdRecord(lines, "misc");
    FUZZ_CHECK(raw.trackTitles.size() <= lines.size());
    FUZZ_CHECK(raw.trackExtendedInfo.size() <= lines.size());
    FUZZ_CHECK(raw.category == "misc");
    FUZZ_CHECK(noEscape(raw.title) && noEscape(raw.artist) && noEscape(raw.extendedInfo));
    for (const std::string& t : raw.trackTitles)
        FUZZ_CHECK(noEscape(t));

    const bool korean = size % 2 == 1;
    const XmcdRecord decoded = DecodeXmcdRecord(raw, korean);
    FUZZ_CHECK(text::isValidUtf8(decoded.title) && text::isValidUtf8(decoded.artist));
    for (const std::string& t : decoded.trackTitles)
        FUZZ_CHECK(text::isValidUtf8(t));

    // Store into a disc of a few tracks and write it out again.
    const int tracks = 1 + static_cast<int>(size % 5);
    std::vector<std::int32_t> offsets;
    for (int i = 0; i < tracks; ++i)
        offsets.push_back(150 + i * 9000);
    CddbAlbum album = CddbAlbumFromToc(offsets, 150 + tracks * 9000);
    StoreXmcdRecord(album, decoded);
    const auto record = split(BuildSubmissionRecord(album, kCddbClientName, korean), "\r\n");
    for (const std::string& line : record) {
        FUZZ_CHECK((!line.empty() && line[0] == '#') || line.size() <= 73);
        for (const char c : line)
            FUZZ_CHECK(c != '\r' && static_cast<unsigned char>(c) < 0x7F);
    }
    FUZZ_CHECK(record.back() == "PLAYORDER=3D");
}
