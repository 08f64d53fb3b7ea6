#include "cddb/xmcd.h"

#include "cddb/cddbtext.h"
#include "platform/strings.h"
#include "platform/text.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <vector>

namespace {

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool containsBackslashN(std::string_view s)
{
    return s.find("\\n") != std::string_view::npos;
}

// atoi, without its undefined behaviour on overflow.
int decimalValue(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    long long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-v);
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

void replaceBackslashN(std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\r';
            ++i;
        } else {
            out += s[i];
        }
    }
    s.swap(out);
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not a valid one.
size_t utf8SequenceLength(std::string_view s, size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80             ? 1
                     : (c & 0xE0) == 0xC0 ? 2
                     : (c & 0xF0) == 0xE0 ? 3
                     : (c & 0xF8) == 0xF0 ? 4
                                          : 0;
    if (n == 0 || i + n > s.size() || !text::isValidUtf8(s.substr(i, n)))
        return 0;
    return n;
}

std::string formatted(const char* format, int value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

bool CddbKoreanMode()
{
    return interfaceLanguage() == "ko";
}

std::optional<std::string> ToRecordEncoding(std::string_view utf8, bool korean)
{
    if (korean)
        return text::convert(utf8, "UTF-8", "CP949");
    // ISO-8859-1 holds exactly the code points below 256.
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const size_t n = utf8SequenceLength(utf8, i);
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (n == 1) {
            out += static_cast<char>(c);
        } else if (n == 2 && c <= 0xC3) {
            out += static_cast<char>(((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F));
        } else {
            return std::nullopt;
        }
        i += n;
    }
    return out;
}

std::string ToRecordEncodingLossy(std::string_view utf8, bool korean)
{
    if (auto whole = ToRecordEncoding(utf8, korean))
        return *whole;
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const size_t n = utf8SequenceLength(utf8, i);
        if (n == 0) {
            out += '?';
            ++i;
            continue;
        }
        const auto one = ToRecordEncoding(utf8.substr(i, n), korean);
        out += one ? *one : std::string("?");
        i += n;
    }
    return out;
}

std::string FromRecordEncoding(std::string_view bytes, bool korean)
{
    if (text::isValidUtf8(bytes))
        return std::string(bytes);
    if (!korean) {
        // CP1252 differs from ISO-8859-1 only in 0x80-0x9F; iconv says what those are (a
        // byte it leaves undefined is read as ISO-8859-1).
        static const std::vector<std::string> kC1 = [] {
            std::vector<std::string> table;
            for (int b = 0x80; b < 0xA0; ++b) {
                const auto one =
                    text::convert(std::string(1, static_cast<char>(b)), "CP1252", "UTF-8");
                table.push_back(one ? *one
                                    : std::string{static_cast<char>(0xC2), static_cast<char>(b)});
            }
            return table;
        }();
        std::string out;
        out.reserve(bytes.size() * 2);
        for (const char ch : bytes) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x80) {
                out += ch;
            } else if (c < 0xA0) {
                out += kC1[c - 0x80];
            } else {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return out;
    }
    if (auto whole = text::convert(bytes, "CP949", "UTF-8"))
        return *whole;
    // Piece by piece: a byte pair code page 949 does not know becomes U+FFFD.
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (i + 1 < bytes.size()) {
            if (auto pair = text::convert(bytes.substr(i, 2), "CP949", "UTF-8")) {
                out += *pair;
                i += 2;
                continue;
            }
        }
        out += "\xEF\xBF\xBD";
        ++i;
    }
    return out;
}

bool IsSubmittableText(std::string_view text, bool korean, bool& highBytes)
{
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            continue;
        if (!korean || c < 0xA0)
            return false;
        highBytes = true;
    }
    return true;
}

std::string EncodeXmcdValue(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x7F || c == '=') {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else if (c == '\r') {
            out += "\\n";
        } else {
            out += ch;
        }
    }
    return out;
}

void AppendXmcdField(std::string& record, std::string_view key, std::string_view value)
{
    if (value.empty()) {
        record += key;
        record += "\r\n";
        return;
    }
    size_t column = 0;
    for (size_t i = 0; i < value.size();) {
        if (column == 0) {
            record += key;
            column = key.size();
        }
        const char c = value[i++];
        record += c;
        ++column;
        if (c == '=') {
            // An escape travels whole: its two digits stay on the line of its "=".
            const size_t digits = std::min<size_t>(2, value.size() - i);
            record.append(value.substr(i, digits));
            i += digits;
            column += digits;
        }
        if (column > 70) {
            record += "\r\n";
            column = 0;
        }
    }
    if (column != 0)
        record += "\r\n";
}

std::string BuildSubmissionRecord(const CddbAlbum& album, const std::string& clientName,
                                  bool korean)
{
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    const auto value = [korean](const std::string& utf8) {
        return EncodeXmcdValue(ToRecordEncodingLossy(utf8, korean));
    };

    std::string r;
    r += "# xmcd CD database file\r\n";
    r += "# Copyright of the xmcd format stays with its authors; sent by Kolvo\r\n";
    r += "#\r\n";
    r += "# Track frame offsets:\r\n";
    for (int i = 0; i < info.trackCount; ++i)
        r += formatted("#\t%d\r\n", info.frameOffsets[i]);
    r += "#\r\n";
    r += formatted("# Disc length: %d seconds\r\n", info.discLength);
    r += "#\r\n";
    r += formatted("# Revision: %d\r\n", NextRevision(album.revision));
    r += "# Submitted via: " + clientName + "\r\n";
    r += "#\r\n";
    r += "DISCID=3D" + DiscIdText(info.discId) + "\r\n";
    AppendXmcdField(r, "DTITLE=3D",
                    value(album.artist.empty() ? album.title : album.artist + " / " + album.title));
    for (int i = 0; i < info.trackCount; ++i)
        AppendXmcdField(r, formatted("TTITLE%d=3D", i),
                        value(album.tracks[static_cast<size_t>(i)].title));
    AppendXmcdField(r, "EXTD=3D", value(album.extendedInfo));
    for (int i = 0; i < info.trackCount; ++i)
        AppendXmcdField(r, formatted("EXTT%d=3D", i),
                        value(album.tracks[static_cast<size_t>(i)].extendedInfo));
    r += "PLAYORDER=3D";
    return r;
}

XmcdRecord ParseXmcdRecord(const std::vector<std::string>& lines, const std::string& category)
{
    XmcdRecord record;
    record.category = category;
    std::string discTitle;
    int k = 0;
    int m = 0;
    std::string upper;
    for (const std::string& line : lines) {
        const std::string_view l = line;
        if (startsWith(l, "#")) {
            upper.assign(line);
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (startsWith(upper, "# REVISION:"))
                record.revision = decimalValue(trimmed(std::string_view(upper).substr(11)));
            continue;
        }
        if (startsWith(l, "DTITLE="))
            discTitle += trimmed(l.substr(7));
        if (startsWith(l, "EXTD="))
            record.extendedInfo += trimmed(l.substr(5));
        if (startsWith(l, "DYEAR="))
            record.year = trimmed(l.substr(6));
        if (startsWith(l, "DGENRE="))
            record.genre += trimmed(l.substr(7));
        const std::string titleKey = formatted("TTITLE%d=", k);
        if (startsWith(l, titleKey)) {
            record.trackTitles.emplace_back(l.substr(titleKey.size()));
            ++k;
        }
        const std::string extKey = formatted("EXTT%d=", m);
        if (startsWith(l, extKey)) {
            record.trackExtendedInfo.emplace_back(l.substr(extKey.size()));
            ++m;
        }
    }

    const size_t slash = discTitle.find('/');
    if (slash == std::string::npos) {
        record.artist = discTitle;
        record.title = discTitle;
    } else {
        std::string_view artist = std::string_view(discTitle).substr(0, slash);
        while (!artist.empty() && isBlank(artist.back()))
            artist.remove_suffix(1);
        std::string_view title = std::string_view(discTitle).substr(slash + 1);
        while (!title.empty() && isBlank(title.front()))
            title.remove_prefix(1);
        record.artist = artist;
        record.title = title;
    }

    replaceBackslashN(record.title);
    replaceBackslashN(record.artist);
    replaceBackslashN(record.extendedInfo);
    for (std::string& t : record.trackTitles)
        replaceBackslashN(t);
    for (std::string& t : record.trackExtendedInfo)
        replaceBackslashN(t);
    return record;
}

XmcdRecord DecodeXmcdRecord(const XmcdRecord& raw, bool korean)
{
    XmcdRecord out;
    out.title = FromRecordEncoding(raw.title, korean);
    out.artist = FromRecordEncoding(raw.artist, korean);
    out.extendedInfo = FromRecordEncoding(raw.extendedInfo, korean);
    for (const std::string& t : raw.trackTitles)
        out.trackTitles.push_back(FromRecordEncoding(t, korean));
    for (const std::string& t : raw.trackExtendedInfo)
        out.trackExtendedInfo.push_back(FromRecordEncoding(t, korean));
    out.category = FromRecordEncoding(raw.category, korean);
    out.revision = raw.revision;
    out.year = FromRecordEncoding(raw.year, korean);
    out.genre = FromRecordEncoding(raw.genre, korean);
    return out;
}

void StoreXmcdRecord(CddbAlbum& album, const XmcdRecord& record)
{
    for (size_t i = 0; i < album.tracks.size(); ++i) {
        album.tracks[i].title = i < record.trackTitles.size() ? record.trackTitles[i] : "";
        album.tracks[i].extendedInfo =
            i < record.trackExtendedInfo.size() ? record.trackExtendedInfo[i] : "";
    }
    album.title = record.title;
    album.artist = record.artist;
    album.extendedInfo = record.extendedInfo;
    album.genre = record.category;
    album.revision = record.revision;
}

SubmissionCheck CheckSubmission(const CddbAlbum& album, bool korean)
{
    SubmissionCheck check;
    const auto fail = [&check](std::string message) {
        check.passed = false;
        check.message = std::move(message);
        return check;
    };
    const auto submittable = [&](const std::string& utf8) {
        const auto bytes = ToRecordEncoding(utf8, korean);
        return bytes && IsSubmittableText(*bytes, korean, check.highBytes);
    };
    const auto trackPrefix = [](int track) {
        char buffer[128];
        std::snprintf(buffer, sizeof buffer, "%s %d :\n", LoadString(cddbtext::kTrack).c_str(),
                      track);
        return std::string(buffer);
    };

    if (album.title.empty() || album.genre.empty() || !submittable(album.title) ||
        !submittable(album.artist))
        return fail(LoadString(cddbtext::kBadAlbumTitle));

    for (const std::string* text : {&album.title, &album.artist}) {
        if (text->find_first_of("/,") != std::string::npos)
            return fail(LoadString(cddbtext::kSlashOrComma));
        if (containsBackslashN(*text))
            return fail(LoadString(cddbtext::kNewlineText));
    }
    if (containsBackslashN(album.extendedInfo))
        return fail(LoadString(cddbtext::kNewlineText));

    if (album.discLengthMs == 0 || album.discEndFrame == 0 || album.tracks.empty())
        return fail(LoadString(cddbtext::kNoDiscTime));

    bool anyTitle = false;
    for (size_t i = 0; i < album.tracks.size(); ++i) {
        const CddbTrack& track = album.tracks[i];
        if (!submittable(track.title))
            return fail(trackPrefix(static_cast<int>(i) + 1) +
                        LoadString(cddbtext::kBadTrackTitle));
        if (containsBackslashN(track.title) || containsBackslashN(track.extendedInfo))
            return fail(LoadString(cddbtext::kNewlineText));
        anyTitle = anyTitle || !track.title.empty();
    }
    if (!anyTitle)
        return fail(LoadString(cddbtext::kBadTrackTitle));

    for (size_t i = 0; i < album.tracks.size(); ++i) {
        if (album.tracks[i].startFrame == 0)
            return fail(trackPrefix(static_cast<int>(i) + 1) + LoadString(cddbtext::kNoTrackTime));
    }
    check.passed = true;
    return check;
}
