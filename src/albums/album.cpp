#include "albums/album.h"

#include "albums/albumrecords.h"
#include "albums/playlist.h"
#include "albums/profilefile.h"
#include "platform/compoundfile.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/text.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace {

constexpr const char* kHeaderStream = "Header.INF";
constexpr const char* kRecentStream = "RecentAlbum.inf";
constexpr const char* kAlbumInfoStream = "AlbumInfo.inf";
constexpr const char* kTrackInfoStream = "TrackInfo.inf";
constexpr const char* kPlayListStream = "PlayList.inf";
// The full name of an album whose name is longer than an element name may be.
constexpr const char* kAlbumNameStream = "AlbumName.inf";
// Element names hold at most 31 UTF-16 code units; album names may have 32 characters.
constexpr size_t kElementNameUnits = 31;
constexpr size_t kAlbumNameCharacters = 32;
// A long name is stored as its first code units, "~" and eight hexadecimal digits.
constexpr size_t kShortenedPrefixUnits = 22;
constexpr const char kClassText[] = "Data File for Kolvo";
constexpr size_t kHeaderSize = 264;
// A stored song count beyond this is damage, not an album: padding stops there.
constexpr int kMaxPaddedSongs = 100000;
// A CD holds at most 99 tracks.
constexpr int kMaxCdTracks = 99;

// String ids of the album layer's own messages.
constexpr UINT IDS_ALBUM_NAME_REFUSED = 9300;
constexpr UINT IDS_ALBUM_DATABASE_MOVED = 9301;
constexpr UINT IDS_ALBUM_DATABASE_UNWRITABLE = 9302;

std::mutex g_notifierMutex;
Album::Notifier g_notifier;

void notify(const std::string& message)
{
    Album::Notifier n;
    {
        std::lock_guard lock(g_notifierMutex);
        n = g_notifier;
    }
    if (n)
        n(message);
    else
        std::fprintf(stderr, "kolvo: %s\n", message.c_str());
}

std::string format1(UINT id, const std::string& a, const std::string& b = {})
{
    std::string f = LoadString(id);
    std::string out;
    int arg = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '%' && i + 1 < f.size() && f[i + 1] == 's') {
            out += arg++ == 0 ? a : b;
            ++i;
        } else {
            out += f[i];
        }
    }
    return out;
}

std::string headerBytes()
{
    std::string h(kHeaderSize, '\0');
    std::memcpy(h.data(), kClassText, sizeof kClassText - 1);
    h[256] = 1; // version 1, then a zero word
    return h;
}

bool headerIsValid(cfb::CompoundFile& cf)
{
    std::string h;
    if (cf.readStream(cfb::kRootEntry, kHeaderStream, &h) != cfb::Error::None ||
        h.size() < kHeaderSize)
        return false;
    const std::string_view classText(h.data(), strnlen(h.data(), 256));
    const auto word = [&h](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(h[at])) |
               (static_cast<uint32_t>(static_cast<unsigned char>(h[at + 1])) << 8) |
               (static_cast<uint32_t>(static_cast<unsigned char>(h[at + 2])) << 16) |
               (static_cast<uint32_t>(static_cast<unsigned char>(h[at + 3])) << 24);
    };
    return equalsNoCase(classText, kClassText) && word(256) == 1 && word(260) == 0;
}

// Moves a file that is not an album database out of the way, keeping it for the user.
std::string moveAside(const std::string& path)
{
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    std::string target = path + ".broken-" + stamp;
    for (int i = 2; ::access(target.c_str(), F_OK) == 0; ++i)
        target = path + ".broken-" + stamp + "-" + std::to_string(i);
    if (std::rename(path.c_str(), target.c_str()) != 0)
        return {};
    return target;
}

bool keyCollides(std::string_view key)
{
    return equalsNoCase(key, kHeaderStream) || equalsNoCase(key, kRecentStream);
}

// FNV-1a over the upper-cased UTF-16 code units, so that every spelling of a name that the
// database takes for the same name (it ignores case) gets the same element name.
uint32_t nameHash(std::string_view key)
{
    const QString upper = QString::fromUtf8(key.data(), qsizetype(key.size())).toUpper();
    uint32_t h = 2166136261u;
    for (const QChar c : upper) {
        h = (h ^ (c.unicode() & 0xFF)) * 16777619u;
        h = (h ^ (c.unicode() >> 8)) * 16777619u;
    }
    return h;
}

// The element name an album is stored under: its name, or for a name longer than an element
// name may be, its first code units followed by "~" and a hash of the whole name. The whole
// name is then kept in the album's "AlbumName.inf".
std::string storageNameOf(std::string_view key)
{
    const auto units = cfb::utf8ToUtf16(key);
    if (!units || units->size() <= kElementNameUnits)
        return std::string(key);
    size_t cut = kShortenedPrefixUnits;
    if (QChar::isHighSurrogate((*units)[cut - 1]))
        --cut;
    char hash[16];
    std::snprintf(hash, sizeof hash, "~%08X", nameHash(key));
    return cfb::utf16ToUtf8(std::u16string_view(*units).substr(0, cut)) + hash;
}

// Names compared as the database compares them: upper-cased.
bool sameName(std::string_view a, std::string_view b)
{
    return a == b || QString::fromUtf8(a.data(), qsizetype(a.size())).toUpper() ==
                         QString::fromUtf8(b.data(), qsizetype(b.size())).toUpper();
}

// Whether an element name may be a shortened one: 31 code units ending in "~" and 8 hex digits.
bool mayBeShortened(std::string_view name)
{
    if (name.size() < 9 || name[name.size() - 9] != '~')
        return false;
    for (size_t i = name.size() - 8; i < name.size(); ++i) {
        if (text::hexDigitValue(name[i]) < 0)
            return false;
    }
    const auto units = cfb::utf8ToUtf16(name);
    return units && units->size() >= kElementNameUnits - 1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The database: opened per operation, header-checked, released at the end.

class AlbumDatabase
{
public:
    // Open for writing; when that fails, create (a file that is not an album database is moved
    // aside first and the user told). Null when neither works.
    static std::unique_ptr<cfb::CompoundFile> openForWriting(int kind, bool create,
                                                             std::string* error)
    {
        const std::string path = Album::DatabasePath(kind);
        if (path.empty())
            return nullptr;
        cfb::Error err;
        auto cf = cfb::CompoundFile::open(path, cfb::CompoundFile::Mode::ReadWrite, &err);
        if (cf && headerIsValid(*cf)) {
            // A list of albums that cannot be walked is damaged like a bad header: writing into
            // it would add to a tree nobody can read, so it goes aside with the rest.
            cfb::Error treeErr = cfb::Error::None;
            cf->children(cfb::kRootEntry, &treeErr);
            if (treeErr == cfb::Error::None)
                return cf;
        }
        const bool damaged = cf || err == cfb::Error::NotCompoundFile || err == cfb::Error::Corrupt;
        cf.reset();
        if (!create && !damaged) {
            *error = std::string(cfb::errorText(err));
            return nullptr;
        }
        if (damaged) {
            const std::string aside = moveAside(path);
            if (aside.empty()) {
                *error = format1(IDS_ALBUM_DATABASE_UNWRITABLE, path);
                return nullptr;
            }
            notify(format1(IDS_ALBUM_DATABASE_MOVED, path, aside));
        }
        if (err == cfb::Error::Locked) {
            *error = path + ": " + cfb::errorText(err);
            return nullptr;
        }
        paths::ensureDir(paths::dataDir());
        cf = cfb::CompoundFile::create(path, &err);
        if (!cf) {
            *error =
                format1(IDS_ALBUM_DATABASE_UNWRITABLE, path) + " (" + cfb::errorText(err) + ")";
            return nullptr;
        }
        if (cf->writeStream(cfb::kRootEntry, kHeaderStream, headerBytes()) != cfb::Error::None ||
            cf->commit() != cfb::Error::None) {
            *error = format1(IDS_ALBUM_DATABASE_UNWRITABLE, path);
            return nullptr;
        }
        return cf;
    }

    static std::unique_ptr<cfb::CompoundFile> openForReading(int kind)
    {
        const std::string path = Album::DatabasePath(kind);
        if (path.empty())
            return nullptr;
        auto cf = cfb::CompoundFile::open(path, cfb::CompoundFile::Mode::Read, nullptr);
        if (cf && !headerIsValid(*cf))
            cf.reset();
        return cf;
    }

    // The name an album's sub-storage stands for: the whole name kept in it when the element
    // name is a shortened one, else the element name.
    static std::string keyOf(cfb::CompoundFile& cf, const cfb::Element& e)
    {
        if (!mayBeShortened(e.name))
            return e.name;
        std::string stored;
        if (cf.readStream(e.id, kAlbumNameStream, &stored) != cfb::Error::None)
            return e.name;
        stored.resize(strnlen(stored.data(), stored.size()));
        if (!Album::IsValidKey(stored) || !sameName(storageNameOf(stored), e.name))
            return e.name;
        return stored;
    }

    // The sub-storage of an album, found without regard to case; *storedKey (when given) gets
    // the name as stored. A shortened element name holding another name (two long names
    // alike in their first characters and their hash) is not this album's.
    static std::optional<cfb::EntryId> albumStorage(cfb::CompoundFile& cf, std::string_view key,
                                                    std::string* storedKey = nullptr)
    {
        const std::string name = storageNameOf(key);
        const auto e = cf.find(cfb::kRootEntry, name);
        if (!e || e->type != cfb::ElementType::Storage)
            return std::nullopt;
        std::string stored = e->name;
        if (name != key) {
            stored = keyOf(cf, *e);
            if (!sameName(stored, key))
                return std::nullopt;
        }
        if (storedKey)
            *storedKey = stored;
        return e->id;
    }

    static void readAlbum(cfb::CompoundFile& cf, cfb::EntryId storage, Album& album)
    {
        std::string bytes;
        albumrecords::AlbumInfo info;
        info.title = album.m_title;
        info.extendedInfo = album.m_extendedInfo;
        info.genre = album.m_genre;
        info.artist = album.m_artist;
        if (cf.readStream(storage, kAlbumInfoStream, &bytes) == cfb::Error::None) {
            albumrecords::parseAlbumInfo(bytes, info);
            album.m_title = info.title;
            album.m_extendedInfo = info.extendedInfo;
            album.m_genre = info.genre;
            album.m_discLengthMs = info.discLengthMs;
            album.m_discEndFrame = info.discEndFrame;
            album.m_revision = info.revision;
            album.m_artist = info.artist;
        }
        if (album.m_kind != AlbumKindCd && album.m_title != album.m_key)
            album.m_title = album.m_key;
        album.m_songs.clear();
        if (cf.readStream(storage, kTrackInfoStream, &bytes) == cfb::Error::None) {
            for (SongEntry& s : albumrecords::parseTrackInfo(bytes))
                album.AddSong(s.title, s.extendedInfo, s.lengthMs, s.startFrame);
        }
        const int stored = std::min(info.songCount, kMaxPaddedSongs);
        while (album.songCount() < stored)
            album.AddSong({});
        album.m_program.clear();
        if (cf.readStream(storage, kPlayListStream, &bytes) == cfb::Error::None)
            album.m_program = albumrecords::parsePlayList(bytes);
    }

    static bool writeRecent(cfb::CompoundFile& cf, const std::string& key)
    {
        return cf.writeStream(cfb::kRootEntry, kRecentStream, key + '\0') == cfb::Error::None;
    }

    // Every stream of the album, each replaced as a whole.
    static cfb::Error writeAlbum(cfb::CompoundFile& cf, const Album& album)
    {
        if (album.m_key.empty())
            return cfb::Error::None;
        writeRecent(cf, album.m_key);
        const std::string name = storageNameOf(album.m_key);
        cfb::EntryId storage;
        if (name != album.m_key) {
            if (const auto taken = cf.find(cfb::kRootEntry, name);
                taken && !albumStorage(cf, album.m_key))
                return cfb::Error::InvalidName; // another long name has this element name
        }
        cfb::Error err = cf.openOrCreateStorage(cfb::kRootEntry, name, &storage);
        if (err != cfb::Error::None)
            return err;
        if (name != album.m_key) {
            err = cf.writeStream(storage, kAlbumNameStream, album.m_key + '\0');
            if (err != cfb::Error::None)
                return err;
        }
        albumrecords::AlbumInfo info;
        info.title = album.m_title;
        info.extendedInfo = album.m_extendedInfo;
        info.genre = album.m_genre;
        info.discLengthMs = album.m_discLengthMs;
        info.discEndFrame = album.m_discEndFrame;
        info.songCount = album.songCount();
        info.revision = album.m_revision;
        info.artist = album.m_artist;
        err = cf.writeStream(storage, kAlbumInfoStream, albumrecords::formatAlbumInfo(info));
        if (err != cfb::Error::None)
            return err;
        err =
            cf.writeStream(storage, kTrackInfoStream, albumrecords::formatTrackInfo(album.m_songs));
        if (err != cfb::Error::None)
            return err;
        if (album.m_program.empty()) {
            err = cf.destroy(storage, kPlayListStream);
            if (err == cfb::Error::NotFound)
                err = cfb::Error::None;
        } else {
            err = cf.writeStream(storage, kPlayListStream,
                                 albumrecords::formatPlayList(album.m_program));
        }
        return err;
    }
};

// ---------------------------------------------------------------------------------------------
// Random picker

namespace {
thread_local uint32_t t_randomState = 1;
}

void RandomPicker::seed(uint32_t state)
{
    t_randomState = state;
}

int RandomPicker::nextValue()
{
    t_randomState = t_randomState * 214013u + 2531011u;
    return static_cast<int>((t_randomState >> 16) & 0x7FFF);
}

void RandomPicker::resize(int size)
{
    m_drawn.resize(static_cast<size_t>(std::max(size, 0)), 0);
    seed(static_cast<uint32_t>(std::time(nullptr)));
}

void RandomPicker::clear()
{
    std::fill(m_drawn.begin(), m_drawn.end(), 0);
    seed(static_cast<uint32_t>(std::time(nullptr)));
}

bool RandomPicker::isDrawn(int index) const
{
    return index >= 0 && index < size() && m_drawn[static_cast<size_t>(index)];
}

int RandomPicker::draw(int limit)
{
    const int n = std::min(size(), limit);
    if (n <= 0)
        return -1;
    int r = nextValue() % n;
    if (m_drawn[static_cast<size_t>(r)]) {
        r = -1;
        for (int i = 0; i < n; ++i) {
            if (!m_drawn[static_cast<size_t>(i)]) {
                r = i;
                break;
            }
        }
        if (r < 0) {
            std::fill(m_drawn.begin(), m_drawn.end(), 0);
            return -1;
        }
    }
    m_drawn[static_cast<size_t>(r)] = 1;
    return r;
}

// ---------------------------------------------------------------------------------------------
// Album

Album::Album(AlbumKind kind)
    : m_kind(kind)
{}

void Album::setNotifier(Notifier notifier)
{
    std::lock_guard lock(g_notifierMutex);
    g_notifier = std::move(notifier);
}

std::string Album::DatabaseFileName(int kind)
{
    switch (kind) {
    case AlbumKindCd:
        return "KolCDP.sdb";
    case AlbumKindAudio:
        return "KolWave.sdb";
    case AlbumKindMidi:
        return "KolMIDI.sdb";
    case AlbumKindVideo:
        return "KolDGV.sdb";
    default:
        return {};
    }
}

std::string Album::DatabasePath(int kind)
{
    const std::string name = DatabaseFileName(kind);
    return name.empty() ? std::string() : paths::dataDir() + "/" + name;
}

bool Album::CheckDatabase(int kind, std::string* why)
{
    const std::string path = DatabasePath(kind);
    if (path.empty())
        return true;
    cfb::Error err;
    auto cf = cfb::CompoundFile::open(path, cfb::CompoundFile::Mode::Read, &err);
    if (!cf && err == cfb::Error::NotFound)
        return true;
    if (cf && headerIsValid(*cf)) {
        // The albums are the storages below the root: a tree of them that cannot be walked
        // lists none, whatever else the file holds.
        cf->children(cfb::kRootEntry, &err);
        if (err == cfb::Error::None)
            return true;
    }
    if (why)
        *why = path + ": " +
               (cf && !headerIsValid(*cf) ? std::string("not an album database")
                                          : std::string(cfb::errorText(err)));
    return false;
}

bool Album::IsValidKey(std::string_view key, std::string* why)
{
    const auto units = cfb::utf8ToUtf16(key);
    const auto characters = [&units] {
        size_t n = 0;
        for (char16_t c : *units)
            n += QChar::isLowSurrogate(c) ? 0 : 1;
        return n;
    };
    if (units && characters() <= kAlbumNameCharacters &&
        cfb::checkName(storageNameOf(key)) == cfb::Error::None && !keyCollides(key))
        return true;
    if (why)
        *why = format1(IDS_ALBUM_NAME_REFUSED, std::string(key));
    return false;
}

bool Album::Open(std::string_view key, int expectedSongs)
{
    Close();
    const bool ok = Load(key, expectedSongs);
    m_currentSong = 0;
    m_programPosition = 0;
    return ok;
}

bool Album::Load(std::string_view key, int expectedSongs)
{
    m_lastError.clear();
    if (!IsValidKey(key, &m_lastError))
        return false;
    m_key = std::string(key);
    std::string error;
    if (auto cf = AlbumDatabase::openForWriting(m_kind, true, &error)) {
        if (const auto storage = AlbumDatabase::albumStorage(*cf, m_key)) {
            AlbumDatabase::readAlbum(*cf, *storage, *this);
        } else {
            if (m_kind == AlbumKindCd) {
                const auto system = ProfileFile::cached(paths::dataDir() + "/cdplayer.ini");
                ImportIni(*system, true);
            }
            AlbumDatabase::writeAlbum(*cf, *this);
        }
        AlbumDatabase::writeRecent(*cf, m_key);
        const cfb::Error err = cf->commit();
        if (err != cfb::Error::None)
            m_lastError = cfb::errorText(err);
    } else {
        m_lastError = error;
        if (auto reader = AlbumDatabase::openForReading(m_kind)) {
            if (const auto storage = AlbumDatabase::albumStorage(*reader, m_key))
                AlbumDatabase::readAlbum(*reader, *storage, *this);
        }
    }
    if (m_kind == AlbumKindCd) {
        while (songCount() < std::min(expectedSongs, kMaxCdTracks))
            AddSong({});
    }
    return true;
}

bool Album::LoadForReading(std::string_view key)
{
    auto reader = AlbumDatabase::openForReading(m_kind);
    if (!reader)
        return false;
    std::string stored;
    const auto storage = AlbumDatabase::albumStorage(*reader, key, &stored);
    if (!storage)
        return false;
    Close();
    // The name as stored, whatever case the caller used.
    m_key = stored;
    AlbumDatabase::readAlbum(*reader, *storage, *this);
    return true;
}

bool Album::setKey(std::string_view key)
{
    m_lastError.clear();
    if (!IsValidKey(key, &m_lastError))
        return false;
    m_key = std::string(key);
    if (m_kind != AlbumKindCd)
        m_title = m_key;
    return true;
}

bool Album::Save()
{
    m_lastError.clear();
    if (m_key.empty())
        return true;
    std::string error;
    auto cf = AlbumDatabase::openForWriting(m_kind, true, &error);
    if (!cf) {
        m_lastError = error;
        return false;
    }
    cfb::Error err = AlbumDatabase::writeAlbum(*cf, *this);
    if (err == cfb::Error::None)
        err = cf->commit();
    else
        cf->rollback();
    if (err != cfb::Error::None) {
        m_lastError = DatabasePath(m_kind) + ": " + cfb::errorText(err);
        return false;
    }
    return true;
}

void Album::Close()
{
    m_key.clear();
    m_title.clear();
    m_artist.clear();
    m_extendedInfo.clear();
    m_genre.clear();
    m_revision = 0;
    m_songs.clear();
    m_discLengthMs = 0;
    m_discEndFrame = 0;
    m_program.clear();
    m_currentSong = 0;
    m_programPosition = 0;
    m_randomPicker.resize(0);
    m_randomPicker.clear();
    m_randomHistory.clear();
    m_historyPosition = -1;
}

bool Album::Exists(std::string_view key) const
{
    auto cf = AlbumDatabase::openForReading(m_kind);
    return cf && AlbumDatabase::albumStorage(*cf, key).has_value();
}

std::vector<AlbumListEntry> Album::ListAlbums() const
{
    std::vector<AlbumListEntry> list;
    auto cf = AlbumDatabase::openForReading(m_kind);
    if (!cf)
        return list;
    for (const cfb::Element& e : cf->children(cfb::kRootEntry)) {
        if (e.type != cfb::ElementType::Storage)
            continue;
        AlbumListEntry entry{AlbumDatabase::keyOf(*cf, e), {}, {}};
        std::string bytes;
        if (cf->readStream(e.id, kAlbumInfoStream, &bytes) == cfb::Error::None) {
            albumrecords::AlbumInfo info;
            albumrecords::parseAlbumInfo(bytes, info);
            entry.title = std::move(info.title);
            entry.artist = std::move(info.artist);
        }
        if (m_kind != AlbumKindCd && entry.title != entry.key)
            entry.title = entry.key;
        list.push_back(std::move(entry));
    }
    return list;
}

std::vector<std::string> Album::ListAlbumKeys() const
{
    std::vector<std::string> keys;
    auto cf = AlbumDatabase::openForReading(m_kind);
    if (!cf)
        return keys;
    for (const cfb::Element& e : cf->children(cfb::kRootEntry)) {
        if (e.type == cfb::ElementType::Storage)
            keys.push_back(AlbumDatabase::keyOf(*cf, e));
    }
    return keys;
}

bool Album::DeleteAlbum()
{
    m_lastError.clear();
    std::string error;
    auto cf = AlbumDatabase::openForWriting(m_kind, false, &error);
    if (!cf) {
        m_lastError = error;
        return false;
    }
    if (!AlbumDatabase::albumStorage(*cf, m_key))
        return false;
    cfb::Error err = cf->destroy(cfb::kRootEntry, storageNameOf(m_key));
    if (err == cfb::Error::None)
        err = cf->commit();
    if (err != cfb::Error::None) {
        m_lastError = cfb::errorText(err);
        return false;
    }
    return true;
}

std::string Album::GetRecentAlbum() const
{
    auto cf = AlbumDatabase::openForReading(m_kind);
    std::string bytes;
    if (!cf || cf->readStream(cfb::kRootEntry, kRecentStream, &bytes) != cfb::Error::None)
        return {};
    return text::decodeLegacy(std::string_view(bytes.data(), strnlen(bytes.data(), bytes.size())));
}

SongEntry& Album::AddSong(std::string_view title, std::string_view extendedInfo, int32_t lengthMs,
                          int32_t startFrame)
{
    SongEntry s;
    s.number = songCount() + 1;
    s.title = std::string(title);
    s.extendedInfo = std::string(extendedInfo);
    s.lengthMs = lengthMs;
    s.startFrame = startFrame;
    // The array grows by at least ten songs, and by half of itself for large albums, so that
    // adding thousands of songs is not quadratic.
    if (m_songs.size() == m_songs.capacity())
        m_songs.reserve(m_songs.size() + std::max<size_t>(10, m_songs.size() / 2));
    m_songs.push_back(std::move(s));
    m_randomPicker.resize(songCount());
    return m_songs.back();
}

void Album::RemoveSongs(int first, int count)
{
    if (first < 1 || first > songCount() || count <= 0)
        return;
    const int last = std::min(songCount(), first - 1 + count);
    m_songs.erase(m_songs.begin() + (first - 1), m_songs.begin() + last);
}

SongEntry* Album::GetSong(int n)
{
    return (n >= 1 && n <= songCount()) ? &m_songs[static_cast<size_t>(n - 1)] : nullptr;
}

const SongEntry* Album::GetSong(int n) const
{
    return (n >= 1 && n <= songCount()) ? &m_songs[static_cast<size_t>(n - 1)] : nullptr;
}

SongEntry* Album::FindSong(std::string_view title, int* position)
{
    for (size_t i = 0; i < m_songs.size(); ++i) {
        if (equalsNoCase(m_songs[i].title, title)) {
            if (position)
                *position = static_cast<int>(i + 1);
            return &m_songs[i];
        }
    }
    return nullptr;
}

bool Album::IsBlank() const
{
    if (!m_title.empty() || !m_artist.empty() || !m_extendedInfo.empty())
        return false;
    return std::all_of(m_songs.begin(), m_songs.end(), [](const SongEntry& s) {
        return s.title.empty() && s.extendedInfo.empty();
    });
}

bool Album::IsInProgram(int n) const
{
    return std::find(m_program.begin(), m_program.end(), n) != m_program.end();
}

void Album::CleanProgram()
{
    const int count = songCount();
    m_program.erase(std::remove_if(m_program.begin(), m_program.end(),
                                   [count](int32_t n) { return n < 1 || n > count; }),
                    m_program.end());
    m_programPosition = 0;
}

void Album::ResetPlay()
{
    m_currentSong = 0;
    m_programPosition = 0;
    m_randomPicker.clear();
}

int Album::ProgramEntry(int i)
{
    if (m_program.empty()) {
        m_programPosition = 0;
        return 0;
    }
    if (i >= 1 && i <= programCount())
        return m_program[static_cast<size_t>(i - 1)];
    m_programPosition = 1;
    return m_program[0];
}

int Album::RandomNext(RepeatMode repeat)
{
    ++m_historyPosition;
    if (m_historyPosition < static_cast<int>(m_randomHistory.size()))
        return m_randomHistory[static_cast<size_t>(m_historyPosition)];
    int r = m_randomPicker.draw(songCount());
    if (r < 0 && repeat == RepeatModeRepeatFromLast)
        r = m_randomPicker.draw(songCount()); // the picker was just cleared: a new cycle
    if (r < 0)
        return 0;
    const int song = r + 1;
    if (m_randomHistory.size() >= static_cast<size_t>(kHistorySize))
        m_randomHistory.erase(m_randomHistory.begin());
    m_randomHistory.push_back(song);
    m_historyPosition = static_cast<int>(m_randomHistory.size()) - 1;
    return song;
}

int Album::RandomPrevious()
{
    --m_historyPosition;
    if (m_historyPosition >= 0 && m_historyPosition < static_cast<int>(m_randomHistory.size()))
        return m_randomHistory[static_cast<size_t>(m_historyPosition)];
    m_historyPosition = -1;
    return 0;
}

int Album::finishMove(int result)
{
    if (result == 0) {
        m_currentSong = 0;
        m_programPosition = 0;
    } else {
        m_currentSong = result;
    }
    return result;
}

int Album::Next(PlayMethod method, RepeatMode repeat, bool forced)
{
    if (method == PlayMethodThisTrackOnly && !forced)
        return finishMove(0);
    if (repeat == RepeatModeRepeatThisSong && !forced)
        return m_currentSong;
    if (method == PlayMethodProgram && m_program.empty())
        method = PlayMethodNormal;
    int result = 0;
    switch (method) {
    case PlayMethodNormal:
    case PlayMethodThisTrackOnly:
        result = m_currentSong + 1;
        if (result > songCount())
            result = repeat == RepeatModeRepeatFromLast ? 1 : 0;
        break;
    case PlayMethodRandom:
        result = RandomNext(repeat);
        break;
    case PlayMethodProgram:
        ++m_programPosition;
        if (m_programPosition <= programCount()) {
            result = ProgramEntry(m_programPosition);
        } else if (repeat == RepeatModeRepeatFromLast) {
            m_programPosition = 1;
            result = ProgramEntry(1);
        }
        break;
    }
    return finishMove(result);
}

int Album::Previous(PlayMethod method, RepeatMode repeat, bool forced)
{
    if (repeat == RepeatModeRepeatThisSong && !forced)
        return m_currentSong;
    if (method == PlayMethodThisTrackOnly && !forced)
        return finishMove(0);
    if (method == PlayMethodProgram && m_program.empty())
        method = PlayMethodNormal;
    int result = 0;
    switch (method) {
    case PlayMethodNormal:
    case PlayMethodThisTrackOnly:
        result = m_currentSong - 1;
        if (result < 1)
            result = repeat == RepeatModeRepeatFromLast ? songCount() : 0;
        break;
    case PlayMethodRandom:
        result = RandomPrevious();
        break;
    case PlayMethodProgram:
        --m_programPosition;
        if (m_programPosition < 1) {
            if (repeat == RepeatModeRepeatFromLast) {
                m_programPosition = programCount();
                result = ProgramEntry(programCount());
            }
        } else {
            result = ProgramEntry(m_programPosition);
        }
        break;
    }
    return finishMove(result);
}

int Album::Current(PlayMethod method)
{
    if (method == PlayMethodProgram && m_program.empty())
        method = PlayMethodNormal;
    switch (method) {
    case PlayMethodRandom:
        if (m_currentSong == 0)
            m_currentSong = RandomNext(RepeatModeRepeatFromLast);
        break;
    case PlayMethodProgram:
        if (m_currentSong == 0)
            m_currentSong = ProgramEntry(m_programPosition);
        break;
    default:
        break;
    }
    return m_currentSong;
}

MediaKind Album::MediaKindOf(std::string_view fileName) const
{
    return ::MediaKindOf(m_kind, fileName);
}

// ---------------------------------------------------------------------------------------------
// Import and export

int Album::Import(const std::string& fileName, bool merge, int* skipped)
{
    if (skipped)
        *skipped = 0;
    switch (PlayListKind(fileName)) {
    case PlayListKindIni: {
        ProfileFile file;
        file.load(fileName);
        return ImportIni(file, merge);
    }
    case PlayListKindPls:
    case PlayListKindM3u:
        return ImportList(*this, fileName, merge, skipped);
    default:
        return 0;
    }
}

bool Album::Export(const std::string& fileName)
{
    switch (PlayListKind(fileName)) {
    case PlayListKindIni: {
        ProfileFile file;
        file.load(fileName);
        ExportIni(file);
        return file.save(fileName);
    }
    case PlayListKindPls:
    case PlayListKindM3u:
        return ExportList(*this, fileName);
    default:
        return false;
    }
}

int Album::ImportIni(const ProfileFile& file, bool merge)
{
    const std::string& section = m_key;
    // A file that does not hold this album has nothing to say about it.
    if (!file.hasSection(section))
        return 0;
    m_title = file.GetString(section, "title");
    m_artist = file.GetString(section, "artist");
    m_extendedInfo = file.GetString(section, "EXTD");
    m_genre = file.GetString(section, "genre");

    int n = file.GetInt(section, "numtracks", 0);
    n = std::min(n, m_kind == AlbumKindCd ? kMaxCdTracks : kMaxPaddedSongs);
    int added = 0;
    int accepted = 1;
    for (int i = 0; i < n; ++i) {
        const std::string title = file.GetString(section, std::to_string(i));
        const std::string ext = file.GetString(section, "EXTT" + std::to_string(i));
        if (MediaKindOf(title) == MediaKindNone)
            continue;
        if (!merge) {
            if (SongEntry* s = GetSong(accepted)) {
                s->title = title;
                s->extendedInfo = ext;
            } else {
                AddSong(title, ext);
                ++added;
            }
        } else if (!FindSong(title)) {
            AddSong(title, ext);
            ++added;
        }
        ++accepted;
    }

    const int numplay = file.GetInt(section, "numplay", 0);
    const std::string order = file.GetString(section, "order");
    m_program.clear();
    if (numplay >= 1 && !order.empty()) {
        size_t pos = 0;
        while (static_cast<int>(m_program.size()) < numplay) {
            while (pos < order.size() && order[pos] == ' ')
                ++pos;
            if (pos >= order.size())
                break;
            size_t end = order.find(' ', pos);
            if (end == std::string::npos)
                end = order.size();
            // The file counts from 0; a number at the very top of the range has no successor.
            const long long n =
                static_cast<long long>(atoiText(std::string_view(order).substr(pos, end - pos))) +
                1;
            if (n <= std::numeric_limits<int32_t>::max())
                m_program.push_back(static_cast<int32_t>(n));
            pos = end;
        }
    }
    return added;
}

void Album::ExportIni(ProfileFile& file) const
{
    const std::string& section = m_key;
    file.WriteString(section, "title", m_title);
    file.WriteString(section, "artist", m_artist);
    file.WriteString(section, "EXTD", m_extendedInfo);
    file.WriteString(section, "genre", m_genre);
    file.WriteInt(section, "numtracks", songCount());
    for (int i = 0; i < songCount(); ++i) {
        file.WriteString(section, std::to_string(i), m_songs[static_cast<size_t>(i)].title);
        file.WriteString(section, "EXTT" + std::to_string(i),
                         m_songs[static_cast<size_t>(i)].extendedInfo);
    }
    file.WriteInt(section, "numplay", programCount());
    std::string order;
    for (int32_t n : m_program)
        order += std::to_string(n - 1) + " ";
    file.WriteString(section, "order", order);
}
