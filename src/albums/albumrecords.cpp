#include "albums/albumrecords.h"

#include "albums/profilefile.h"
#include "platform/text.h"

namespace albumrecords {
namespace {

constexpr char kFieldEnd = 0x0C;
constexpr char kLineEnd = 0x0A;

std::string_view upToNul(std::string_view bytes)
{
    const size_t nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

std::string field(std::string_view raw)
{
    return text::decodeLegacy(trimText(raw));
}

// Cuts the text up to the separator off the remainder; false (remainder unchanged) when the
// separator is missing.
bool take(std::string_view& rest, char separator, std::string_view& out)
{
    const size_t pos = rest.find(separator);
    if (pos == std::string_view::npos)
        return false;
    out = rest.substr(0, pos);
    rest.remove_prefix(pos + 1);
    return true;
}

} // namespace

std::string storable(std::string_view text)
{
    // Line feeds separate records, so a text's line breaks are kept as CR; a CR LF pair is one
    // break, not two.
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == kFieldEnd || c == '\0')
            out += ' ';
        else if (c == kLineEnd) {
            if (i == 0 || text[i - 1] != '\r')
                out += '\r';
        } else
            out += c;
    }
    return out;
}

void parseAlbumInfo(std::string_view bytes, AlbumInfo& info)
{
    std::string_view rest = upToNul(bytes);
    std::string_view raw;
    auto text = [&](std::string& target, char separator) {
        if (take(rest, separator, raw))
            target = field(raw);
    };
    auto number = [&](int32_t& target) {
        target = take(rest, kFieldEnd, raw) ? atoiText(trimText(raw)) : 0;
    };
    text(info.title, kFieldEnd);
    text(info.extendedInfo, kFieldEnd);
    text(info.genre, kFieldEnd);
    number(info.discLengthMs);
    number(info.discEndFrame);
    number(info.songCount);
    number(info.revision);
    text(info.artist, kLineEnd);
}

std::string formatAlbumInfo(const AlbumInfo& info)
{
    std::string out;
    for (const std::string* s : {&info.title, &info.extendedInfo, &info.genre}) {
        out += storable(*s);
        out += kFieldEnd;
    }
    for (int32_t n : {info.discLengthMs, info.discEndFrame, info.songCount, info.revision}) {
        out += std::to_string(n);
        out += kFieldEnd;
    }
    out += storable(info.artist);
    out += kLineEnd;
    out += '\0';
    return out;
}

std::vector<SongEntry> parseTrackInfo(std::string_view bytes)
{
    std::vector<SongEntry> songs;
    std::string_view rest = upToNul(bytes);
    while (!rest.empty()) {
        std::string_view line;
        if (!take(rest, kLineEnd, line))
            break;
        SongEntry song;
        std::string_view raw;
        // The texts come first: a line that runs out of separators ends in a text, so what
        // another writer left short is a title (or its extended text), never a number.
        if (!take(line, kFieldEnd, raw)) {
            song.title = field(line);
            songs.push_back(std::move(song));
            continue;
        }
        song.title = field(raw);
        if (!take(line, kFieldEnd, raw)) {
            song.extendedInfo = field(line);
            songs.push_back(std::move(song));
            continue;
        }
        song.extendedInfo = field(raw);
        if (take(line, kFieldEnd, raw))
            song.startFrame = atoiText(trimText(raw));
        song.lengthMs = atoiText(trimText(line));
        songs.push_back(std::move(song));
    }
    return songs;
}

std::string formatTrackInfo(const std::vector<SongEntry>& songs)
{
    std::string out;
    for (const SongEntry& s : songs) {
        out += storable(s.title);
        out += kFieldEnd;
        out += storable(s.extendedInfo);
        out += kFieldEnd;
        out += std::to_string(s.startFrame);
        out += kFieldEnd;
        out += std::to_string(s.lengthMs);
        out += kLineEnd;
    }
    out += '\0';
    return out;
}

std::vector<int32_t> parsePlayList(std::string_view bytes)
{
    std::vector<int32_t> program(bytes.size() / 4);
    for (size_t i = 0; i < program.size(); ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * i);
        program[i] = static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) |
                                          (static_cast<uint32_t>(p[3]) << 24));
    }
    return program;
}

std::string formatPlayList(const std::vector<int32_t>& program)
{
    std::string out;
    out.reserve(program.size() * 4);
    for (int32_t n : program) {
        const auto u = static_cast<uint32_t>(n);
        for (int k = 0; k < 4; ++k)
            out += static_cast<char>((u >> (8 * k)) & 0xFF);
    }
    return out;
}

} // namespace albumrecords
