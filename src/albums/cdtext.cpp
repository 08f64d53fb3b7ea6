#include "albums/cdtext.h"

#include "albums/album.h"
#include "albums/profilefile.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Lines of at most 255 bytes (a longer one goes on as the next line, cut between characters),
// trimmed.
std::vector<std::string> textLines(std::string_view bytes)
{
    constexpr size_t kMaxLine = 255;
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        size_t next = end + 1;
        if (line.size() > kMaxLine) {
            line = line.substr(0, cutText(line, kMaxLine).size());
            next = pos + line.size();
        }
        lines.push_back(text::decodeLegacy(trimText(line)));
        pos = next;
    }
    return lines;
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool readWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

// A count of frames in milliseconds (whole seconds first), and the sum of two frame counts:
// values near the 32-bit end have no result that fits, so they stop at it.
int32_t saturated(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

int32_t framesToMs(int32_t frames)
{
    return saturated(static_cast<int64_t>(frames) / 75 * 1000);
}

void replaceWhenSet(std::string_view value, void (Album::*set)(std::string_view), Album& album)
{
    if (!value.empty())
        (album.*set)(value);
}

// Opens and saves albums in the CD album database.
class DatabaseSink final : public CdAlbumSink
{
public:
    explicit DatabaseSink(std::vector<std::string>* problems)
        : m_album(AlbumKindCd)
        , m_problems(problems)
    {}
    Album* openAlbum(const std::string& key, int expectedSongs) override
    {
        if (!m_album.Open(key, expectedSongs)) {
            if (m_problems)
                m_problems->push_back(m_album.lastError());
            return nullptr;
        }
        return &m_album;
    }
    void saveAlbum(Album& album) override
    {
        if (album.Save())
            ++m_saved;
        else if (m_problems)
            m_problems->push_back(album.lastError());
    }
    void closeAlbum(Album& album) override { album.Close(); }
    int saved() const { return m_saved; }

private:
    Album m_album;
    std::vector<std::string>* m_problems;
    int m_saved = 0;
};

} // namespace

void ReadDiscPlay(std::string_view bytes, CdAlbumSink& sink)
{
    enum class State { None, Album, Tracks, TrackLines };
    State state = State::None;
    std::string key, artist, title, genre;
    Album* album = nullptr;
    int count = 0;
    int n = 0;
    int lengthIndex = 0, lengthValue = 0, offsetIndex = 0, offsetValue = 0;

    auto finish = [&] {
        if (album) {
            if (!key.empty() && album->songCount() >= 1) {
                if (lengthIndex == count && offsetIndex == count && count > 0) {
                    const int32_t end = saturated(static_cast<int64_t>(offsetValue) + lengthValue);
                    album->setDiscEndFrame(end);
                    album->setDiscLengthMs(framesToMs(end));
                }
                sink.saveAlbum(*album);
            }
            sink.closeAlbum(*album);
        }
        album = nullptr;
        state = State::None;
        key.clear();
        artist.clear();
        title.clear();
        genre.clear();
        count = n = 0;
        lengthIndex = lengthValue = offsetIndex = offsetValue = 0;
    };

    for (const std::string& line : textLines(bytes)) {
        if (startsWith(line, "<")) {
            finish();
            continue;
        }
        if (equalsNoCase(line, "[Album]")) {
            state = State::Album;
            continue;
        }
        if (equalsNoCase(line, "[Tracks]")) {
            state = State::Tracks;
            continue;
        }
        switch (state) {
        case State::None:
            break;
        case State::Album:
            if (startsWith(line, "AR="))
                artist = line.substr(3);
            else if (startsWith(line, "CA="))
                genre = line.substr(3);
            else if (startsWith(line, "TL="))
                title = line.substr(3);
            else if (startsWith(line, "IN="))
                key = line.substr(3);
            break;
        case State::Tracks:
            if (startsWith(line, "CT=") && !key.empty()) {
                count = atoiText(std::string_view(line).substr(3));
                // Every track part opens the disc again: what an earlier part set and nothing
                // saved yet gives way to this one.
                if (album)
                    sink.closeAlbum(*album);
                album = sink.openAlbum(key, std::clamp(count, 0, 99));
                if (album) {
                    replaceWhenSet(artist, &Album::setArtist, *album);
                    replaceWhenSet(genre, &Album::setGenre, *album);
                    replaceWhenSet(title, &Album::setTitle, *album);
                }
                n = 1;
                state = State::TrackLines;
            }
            break;
        case State::TrackLines: {
            std::string number = std::to_string(n);
            number.insert(0, 1, '[');
            number += "]=";
            SongEntry* song = album ? album->GetSong(n) : nullptr;
            if (startsWith(line, "TT" + number)) {
                if (song)
                    song->title = line.substr(2 + number.size());
            } else if (startsWith(line, "TM" + number)) {
                if (song)
                    song->extendedInfo = line.substr(2 + number.size());
            } else if (startsWith(line, "TL" + number)) {
                const int value = atoiText(std::string_view(line).substr(2 + number.size()));
                if (song)
                    song->lengthMs = framesToMs(value);
                lengthIndex = n;
                lengthValue = value;
            } else if (startsWith(line, "TO" + number)) {
                const int value = atoiText(std::string_view(line).substr(2 + number.size()));
                if (song)
                    song->startFrame = value;
                offsetIndex = n;
                offsetValue = value;
            } else if (n < 100000) {
                ++n;
            }
            break;
        }
        }
    }
    finish();
}

void ReadNotifyCd(std::string_view bytes, CdAlbumSink& sink)
{
    const std::vector<std::string> lines = textLines(bytes);
    if (lines.empty() || !equalsNoCase(lines[0], "V1.1"))
        return;
    int state = 0;
    std::string key, artist, title, genre;
    Album* album = nullptr;
    int n = 0;
    auto finish = [&] {
        if (album) {
            if (!key.empty() && album->songCount() >= 1)
                sink.saveAlbum(*album);
            sink.closeAlbum(*album);
        }
        album = nullptr;
        key.clear();
        artist.clear();
        title.clear();
        genre.clear();
        n = 0;
    };
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (equalsNoCase(line, "INI") || startsWith(line, "--")) {
            finish();
            state = 1;
            continue;
        }
        switch (state) {
        case 0:
            break;
        case 1:
            key = line;
            break;
        case 2:
            artist = line;
            break;
        case 3:
            title = line;
            break;
        case 4:
            genre = line;
            break;
        case 5:
            if (!key.empty()) {
                album = sink.openAlbum(key, std::clamp(atoiText(line), 0, 99));
                if (album) {
                    replaceWhenSet(artist, &Album::setArtist, *album);
                    replaceWhenSet(title, &Album::setTitle, *album);
                    replaceWhenSet(genre, &Album::setGenre, *album);
                }
            }
            n = 1;
            break;
        default:
            if (album && n <= album->songCount())
                album->GetSong(n)->title = line;
            ++n;
            break;
        }
        if (state > 0 && state < 6)
            ++state;
    }
    finish();
}

int ImportIniFile(const std::string& file, std::vector<std::string>* problems)
{
    ProfileFile ini;
    if (!ini.load(file))
        return 0;
    Album album(AlbumKindCd);
    int saved = 0;
    for (const std::string& section : ini.sectionNames()) {
        if (ini.GetInt(section, "numtracks", 0) <= 0)
            continue;
        if (!album.Open(section, 0)) {
            if (problems)
                problems->push_back(album.lastError());
            continue;
        }
        album.ImportIni(ini, false);
        if (album.Save())
            ++saved;
        else if (problems)
            problems->push_back(album.lastError());
        album.Close();
    }
    return saved;
}

int ImportDiscPlay(const std::string& file, std::vector<std::string>* problems)
{
    std::string bytes;
    if (!readWhole(file, bytes))
        return 0;
    DatabaseSink sink(problems);
    ReadDiscPlay(bytes, sink);
    return sink.saved();
}

int ImportNotifyCd(const std::string& file, std::vector<std::string>* problems)
{
    std::string bytes;
    if (!readWhole(file, bytes))
        return 0;
    DatabaseSink sink(problems);
    ReadNotifyCd(bytes, sink);
    return sink.saved();
}

int ImportCdFile(const std::string& file, std::vector<std::string>* problems)
{
    const size_t dot = file.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : lowerAscii(file.substr(dot + 1));
    if (ext == "ini")
        return ImportIniFile(file, problems);
    if (ext == "dpc")
        return ImportDiscPlay(file, problems);
    if (ext == "ncd")
        return ImportNotifyCd(file, problems);
    return -1;
}

bool ExportIniFile(const std::string& file)
{
    ProfileFile ini;
    ini.load(file);
    Album album(AlbumKindCd);
    for (const std::string& key : album.ListAlbumKeys()) {
        if (album.LoadForReading(key))
            album.ExportIni(ini);
    }
    return ini.save(file);
}

bool ExportText(const std::string& file)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    Album album(AlbumKindCd);
    for (const std::string& key : album.ListAlbumKeys()) {
        if (!album.LoadForReading(key))
            continue;
        out << album.artist() << '\t' << album.title() << '\t' << album.genre() << '\t'
            << CdTimeText(album.discLengthMs()) << '\n';
        for (int i = 1; i <= album.songCount(); ++i) {
            const SongEntry* s = album.GetSong(i);
            out << i << '\t' << CdTimeText(s->lengthMs) << '\t' << s->title << '\t'
                << s->extendedInfo << '\n';
        }
        out << '\n';
    }
    out.flush();
    return static_cast<bool>(out);
}

std::string CdTimeText(int ms)
{
    if (ms < 1000)
        return {};
    const int s = ms / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d", s / 60, s % 60);
    return buf;
}
