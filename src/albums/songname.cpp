#include "albums/songname.h"

#include "albums/filetags.h"
#include "albums/id3tag.h"
#include "albums/mediakind.h"
#include "albums/profilefile.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

// Johab's 5-bit vowel field for the 21 vowels in their standard order, and the final field for
// no final consonant (0) and the 27 final consonants.
constexpr std::array<unsigned, 21> kVowelField = {3,  4,  5,  6,  7,  10, 11, 12, 13, 14, 15,
                                                  18, 19, 20, 21, 22, 23, 26, 27, 28, 29};
unsigned finalField(unsigned t)
{
    return t == 0 ? 1 : (t <= 16 ? t + 1 : t + 2);
}
unsigned johabOf(unsigned initialField, unsigned vowelField, unsigned finalFieldValue)
{
    return 0x8000u | (initialField << 10) | (vowelField << 5) | finalFieldValue;
}

// The 2350 Hangul syllables of KS X 1001 as Johab codes, in KS X 1001 order (which is also
// Johab order). Built once from the standard's repertoire as the system's EUC-KR converter
// knows it: each Wansung syllable code gives its Unicode syllable, whose initial, vowel and
// final make the Johab code.
const std::vector<unsigned>& syllables()
{
    static const std::vector<unsigned> table = [] {
        std::string wansung;
        for (unsigned lead = 0xB0; lead <= 0xC8; ++lead) {
            for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
                wansung += static_cast<char>(lead);
                wansung += static_cast<char>(trail);
            }
        }
        std::vector<unsigned> out;
        const auto utf16 = text::convert(wansung, "EUC-KR", "UTF-16LE");
        if (!utf16 || utf16->size() != 2350 * 2)
            return out;
        for (size_t i = 0; i < 2350; ++i) {
            const unsigned cp = static_cast<unsigned char>((*utf16)[2 * i]) |
                                (static_cast<unsigned char>((*utf16)[2 * i + 1]) << 8);
            if (cp < 0xAC00 || cp > 0xD7A3)
                return std::vector<unsigned>();
            const unsigned s = cp - 0xAC00;
            out.push_back(johabOf(s / 588 + 2, kVowelField[(s % 588) / 28], finalField(s % 28)));
        }
        if (!std::is_sorted(out.begin(), out.end()))
            return std::vector<unsigned>();
        return out;
    }();
    static const bool told = [] {
        if (table.empty())
            std::fprintf(stderr, "Kolvo: the system has no EUC-KR converter (glibc's gconv "
                                 "modules); Korean song names of old albums show as blanks\n");
        return true;
    }();
    (void)told;
    return table;
}

// The 51 compatibility letters of KS X 1001 row 4 (0xA4A1...), as Johab writes a letter
// standing alone: a consonant that can begin a syllable as that initial with the vowel and
// final fillers, one that can only end a syllable as a final after the two fillers, a vowel
// between the initial and final fillers.
const std::array<unsigned, 51>& letters()
{
    static const std::array<unsigned, 51> table = [] {
        // For the 30 consonants: the initial index (0..18), or -1 and the final index.
        constexpr int kInitial[30] = {0,  1, -1, 2, -1, -1, 3,  4,  5,  -1, -1, -1, -1, -1, -1,
                                      -1, 6, 7,  8, -1, 9,  10, 11, 12, 13, 14, 15, 16, 17, 18};
        constexpr int kFinal[30] = {1,  2,  3,  4, 5,  6,  7,  0,  8,  9, 10, 11, 12, 13, 14,
                                    15, 16, 17, 0, 18, 19, 20, 21, 22, 0, 23, 24, 25, 26, 27};
        std::array<unsigned, 51> out{};
        for (int i = 0; i < 30; ++i) {
            out[static_cast<size_t>(i)] =
                kInitial[i] >= 0 ? johabOf(static_cast<unsigned>(kInitial[i]) + 2, 2, 1)
                                 : johabOf(1, 2, finalField(static_cast<unsigned>(kFinal[i])));
        }
        for (size_t v = 0; v < 21; ++v)
            out[30 + v] = johabOf(1, kVowelField[v], 1);
        return out;
    }();
    return table;
}

// Lead byte 0xD4 by trail byte.
struct D4Entry
{
    unsigned char trail;
    unsigned short wansung;
};
constexpr D4Entry kD4[] = {
    {0x81, 0xA1DB}, {0x82, 0xA1DC}, {0x83, 0xA2BE}, {0x84, 0xA1DF}, {0x85, 0xA2C0}, {0x86, 0xA2BC},
    {0x88, 0xA1E1}, {0x89, 0xA1DD}, {0x8A, 0xA1E1}, {0x8B, 0xA1CE}, {0x8C, 0xA1CF}, {0x8D, 0xA2DC},
    {0x8E, 0xA2DD}, {0x8F, 0xA2B4}, {0x90, 0xA2BA}, {0x91, 0xA2B8}, {0x92, 0xA2D5}, {0x93, 0xA3A1},
    {0x94, 0xA2D2}, {0x95, 0xA1D7}, {0x96, 0xA1AA}, {0x97, 0xA2D0}, {0x98, 0xA1E8}, {0x99, 0xA1E9},
    {0x9A, 0xA1E6}, {0x9B, 0xA1E7}, {0x9D, 0xA1EA}, {0x9E, 0xA1E3}, {0x9F, 0xA1E5}, {0xA8, 0xA2CE},
    {0xA9, 0xA1B8}, {0xAA, 0xA1B9}, {0xAB, 0xA8F6}, {0xAC, 0xA8F9}, {0xAE, 0xA1AD}, {0xB0, 0xA1CB},
    {0xB1, 0xA2C6}, {0xB2, 0xA2CC}, {0xEC, 0xA2E2}, {0xED, 0xA5D5}, {0xEE, 0xA1F4}, {0xEF, 0xA1FB},
    {0xF0, 0xA1D5}, {0xF1, 0xA1BE}, {0xF2, 0xA1C3}, {0xF3, 0xA1C2}, {0xF4, 0xA1F2}, {0xF5, 0xA1F2},
    {0xF6, 0xA1C0}, {0xF7, 0xA1AD}, {0xF8, 0xA2AA}, {0xF9, 0xA2AB}, {0xFA, 0xA2D0}, {0xFB, 0xA1EE},
    {0xFC, 0xA9FA}, {0xFD, 0xA9F7},
};

// Symbol rows (lead 0xD9..0xDE) and Hanja rows (0xE0..0xF9): each lead byte holds two Wansung
// rows; trail bytes 0x30..0x7E and 0x91..0xA0 fall in the first, 0xA1..0xFE in the second.
unsigned rowPair(unsigned lead, unsigned trail)
{
    unsigned first;
    if (lead >= 0xD9 && lead <= 0xDE)
        first = (2 * lead - 17) & 0xFF;
    else if (lead >= 0xE0 && lead <= 0xF9)
        first = (2 * lead + 10) & 0xFF;
    else
        return 0;
    if (trail >= 0x30 && trail <= 0x7E)
        return (first << 8) | (trail + 0x70);
    if (trail >= 0x91 && trail <= 0xA0)
        return (first << 8) | (trail + 0x5E);
    if (trail >= 0xA1 && trail <= 0xFE)
        return (((first + 1) & 0xFF) << 8) | trail;
    return 0;
}

std::string baseName(const std::string& path)
{
    const size_t cut =
        path.find("://") != std::string::npos ? path.rfind('/') : path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Korean text in Wansung as UTF-8; a code the converter refuses shows as U+FFFD.
std::string wansungToUtf8(std::string_view bytes)
{
    if (auto all = text::convert(bytes, "CP949", "UTF-8"))
        return *all;
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80 || i + 1 >= bytes.size()) {
            out += c < 0x80 ? bytes[i] : '?';
            ++i;
            continue;
        }
        const auto one = text::convert(bytes.substr(i, 2), "CP949", "UTF-8");
        out += one ? *one : std::string("\xEF\xBF\xBD");
        i += 2;
    }
    return out;
}

std::string imsTitle(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buf[31] = {};
    const ssize_t n = ::pread(fd, buf, 30, 6);
    ::close(fd);
    if (n != 30)
        return {};
    buf[30] = '\0';
    ConvertHangulCode(kHangulJohab, kHangulWansung, buf);
    return wansungToUtf8(trimText(std::string_view(buf, strlen(buf))));
}

} // namespace

unsigned JohabToWansung(unsigned johab)
{
    const unsigned lead = johab >> 8;
    const unsigned trail = johab & 0xFF;
    const auto& syl = syllables();
    const auto it = std::lower_bound(syl.begin(), syl.end(), johab);
    if (it != syl.end() && *it == johab) {
        const auto i = static_cast<unsigned>(it - syl.begin());
        return ((0xB0 + i / 94) << 8) | (0xA1 + i % 94);
    }
    const auto& jamo = letters();
    const auto j = std::find(jamo.begin(), jamo.end(), johab);
    if (j != jamo.end())
        return 0xA4A1 + static_cast<unsigned>(j - jamo.begin());
    if (lead == 0xD4) {
        for (const D4Entry& e : kD4) {
            if (e.trail == trail)
                return e.wansung;
        }
        return 0;
    }
    return rowPair(lead, trail);
}

void ConvertHangulCode(int sourceCode, int targetCode, char* text)
{
    if (sourceCode != kHangulJohab || targetCode != kHangulWansung || !text)
        return;
    auto* p = reinterpret_cast<unsigned char*>(text);
    size_t i = 0;
    while (p[i]) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        if (!p[i + 1])
            break;
        const unsigned w = JohabToWansung((static_cast<unsigned>(p[i]) << 8) | p[i + 1]);
        p[i] = w ? static_cast<unsigned char>(w >> 8) : ' ';
        p[i + 1] = w ? static_cast<unsigned char>(w & 0xFF) : ' ';
        i += 2;
    }
}

std::string ImsSongTitle(const std::string& path)
{
    return imsTitle(path);
}

std::string SongDisplayName(const std::string& path, bool extended)
{
    std::string name = baseName(path);
    if (!extended)
        return name;
    const MediaKind kind = MediaKindOf(AlbumKindAudio, path);
    if (kind == MediaKindMpegAudio || kind == MediaKindCompressedAudio) {
        std::string title, artist;
        Id3Tag tag;
        // MPEG audio is named by its ID3v1 tag; what that leaves empty (or a file without one)
        // by the newer tag other players wrote, as are the compressed kinds, whose tags are
        // their own.
        if (kind == MediaKindMpegAudio && ReadId3Tag(path, tag)) {
            title = Id3FieldText(trimText(tag.title));
            artist = Id3FieldText(trimText(tag.artist));
        }
        if ((title.empty() || artist.empty()) && path.find("://") == std::string::npos) {
            if (const std::optional<SongTags> newer = ReadNewerTags(path)) {
                if (title.empty())
                    title = newer->title;
                if (artist.empty())
                    artist = newer->artist;
            }
        }
        if (!title.empty() && !artist.empty())
            name += ",  [" + title + " / " + artist + "]";
        else if (!title.empty() || !artist.empty())
            name += ",  [" + title + artist + "]";
    } else if (MediaKindOf(AlbumKindMidi, path) == MediaKindIms) {
        const std::string title = imsTitle(path);
        if (!title.empty())
            name += ",  [" + title + "]";
    }
    return name;
}
