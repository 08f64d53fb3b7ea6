#pragma once
// An album: a named, ordered list of songs with disc-level information and the state of play
// through it. All albums of one player family live in one album database file (a compound
// file in the data folder) with one sub-storage per album. The database is opened at the start
// of each operation and released at its end, so several album objects may coexist; the last
// Save wins.

#include "albums/mediakind.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class ProfileFile;

// Play methods and repeat modes are owned by the player components and passed in.
enum PlayMethod : int {
    PlayMethodNormal = 0,
    PlayMethodRandom = 1,
    PlayMethodProgram = 2,
    PlayMethodThisTrackOnly = 3,
};

enum RepeatMode : int {
    RepeatModeNoRepeat = 0,
    RepeatModeRepeatThisSong = 1,
    RepeatModeRepeatFromLast = 2,
};

struct SongEntry
{
    int32_t number = 0;       // songCount just after the song was added
    std::string title;        // CD: track title; other kinds: path or URL of the file
    std::string extendedInfo; // CD: free text about the track (line breaks are single CRs)
    int32_t lengthMs = 0;     // CD: track length; 0 when not known
    int32_t startFrame = 0;   // CD: start of the track in frames of 1/75 s
};

// Which songs have been drawn in random play: one flag per song. Draws use the classic linear
// congruential generator (state * 214013 + 2531011, value = bits 16..30), one state per
// thread, reseeded with the time whenever the picker is resized or cleared.
class RandomPicker
{
public:
    // Keeps existing flags, clears new ones, reseeds.
    void resize(int size);
    // Clears every flag, reseeds.
    void clear();
    // A 0-based song index, or -1 when there is nothing to draw (no songs, or every song was
    // drawn: then all flags are cleared for a new cycle). Only the first `limit` slots take
    // part, so a picker left larger by RemoveSongs never yields a song that is gone.
    int draw(int limit);
    int size() const { return static_cast<int>(m_drawn.size()); }
    bool isDrawn(int index) const;

    // The generator of the calling thread.
    static void seed(uint32_t state);
    static int nextValue(); // 0..32767

private:
    std::vector<uint8_t> m_drawn;
};

struct AlbumListEntry
{
    std::string key;
    std::string title;
    std::string artist;
};

class Album
{
public:
    static constexpr int kHistorySize = 100;

    explicit Album(AlbumKind kind);
    Album(const Album&) = default;
    Album& operator=(const Album&) = default;

    // The database file of a kind ("KolCDP.sdb", ...); "" for a kind without one.
    static std::string DatabaseFileName(int kind);
    // Its full path in the data folder; "" for a kind without one.
    static std::string DatabasePath(int kind);

    // Whether the database of a kind can be read: true when it is an album database or does
    // not exist yet; false, with the reason, when it is busy, unreadable, not an album
    // database (readers then see no albums; the next writer moves such a file aside) or one
    // whose list of albums is damaged (readers see none; writers still write into it).
    static bool CheckDatabase(int kind, std::string* why = nullptr);

    // Album names become element names of the database: not empty, at most 32 characters,
    // none of ! : / \, and not a name of the database's own streams. A name longer than an
    // element name may be (31 UTF-16 code units) is stored under a shortened element name, its
    // whole name kept beside the album; every operation takes the whole name. False (and why,
    // in the interface language) for a name the database cannot hold.
    static bool IsValidKey(std::string_view key, std::string* why = nullptr);

    // --- the album operations ---
    // Close, Load, then no current song. False only when the key is refused (see IsValidKey);
    // the album then stays closed and lastError() says why.
    bool Open(std::string_view key, int expectedSongs);
    bool Load(std::string_view key, int expectedSongs);
    // Writes the album (and "RecentAlbum.inf"); nothing when the key is empty. False when the
    // database could not be written (lastError() says why).
    bool Save();
    void Close();
    bool Exists(std::string_view key) const;
    std::vector<AlbumListEntry> ListAlbums() const;
    std::vector<std::string> ListAlbumKeys() const;
    // Destroys the sub-storage named by this album's key.
    bool DeleteAlbum();
    std::string GetRecentAlbum() const;

    SongEntry& AddSong(std::string_view title, std::string_view extendedInfo = {},
                       int32_t lengthMs = 0, int32_t startFrame = 0);
    void RemoveSongs(int first, int count);
    // Pointers stay valid until the next AddSong, RemoveSongs, Load or Close.
    SongEntry* GetSong(int n);
    const SongEntry* GetSong(int n) const;
    // The first song whose title equals the text without regard to case; its 1-based position
    // goes to *position.
    SongEntry* FindSong(std::string_view title, int* position = nullptr);
    bool IsBlank() const;
    bool IsInProgram(int n) const;
    void CleanProgram();
    void ResetPlay();
    int Next(PlayMethod method, RepeatMode repeat, bool forced);
    int Previous(PlayMethod method, RepeatMode repeat, bool forced);
    int Current(PlayMethod method);
    // By the file's extension: PLS, M3U or INI (the section named by the key). The number of
    // songs added; the number of play-list entries left out goes to `skipped` when given.
    int Import(const std::string& fileName, bool merge, int* skipped = nullptr);
    bool Export(const std::string& fileName);
    MediaKind MediaKindOf(std::string_view fileName) const;

    // INI album section from an already-read profile file (Import reads the file itself). A file
    // without the album's section leaves the album as it is.
    int ImportIni(const ProfileFile& file, bool merge);
    void ExportIni(ProfileFile& file) const;

    // Reads the album without writing anything: no database is created, "RecentAlbum.inf" is
    // left alone and a missing album stays missing. The key becomes the name as stored (the
    // lookup ignores case). False when there is no such album.
    bool LoadForReading(std::string_view key);

    // Gives the album another name, the one it is saved under next (the old one stays in the
    // database until DeleteAlbum under it). An album of files takes the name as its title too.
    // False, with lastError(), for a name the database cannot hold; the album is unchanged.
    bool setKey(std::string_view key);

    // --- fields ---
    AlbumKind kind() const { return m_kind; }
    const std::string& key() const { return m_key; }
    const std::string& title() const { return m_title; }
    void setTitle(std::string_view text) { m_title = text; }
    const std::string& artist() const { return m_artist; }
    void setArtist(std::string_view text) { m_artist = text; }
    const std::string& extendedInfo() const { return m_extendedInfo; }
    void setExtendedInfo(std::string_view text) { m_extendedInfo = text; }
    const std::string& genre() const { return m_genre; }
    void setGenre(std::string_view text) { m_genre = text; }
    int32_t revision() const { return m_revision; }
    void setRevision(int32_t revision) { m_revision = revision; }
    int32_t discLengthMs() const { return m_discLengthMs; }
    void setDiscLengthMs(int32_t ms) { m_discLengthMs = ms; }
    int32_t discEndFrame() const { return m_discEndFrame; }
    void setDiscEndFrame(int32_t frame) { m_discEndFrame = frame; }

    int songCount() const { return static_cast<int>(m_songs.size()); }
    const std::vector<SongEntry>& songs() const { return m_songs; }

    // The play program: 1-based song numbers in play order.
    const std::vector<int32_t>& program() const { return m_program; }
    int programCount() const { return static_cast<int>(m_program.size()); }
    void setProgram(std::vector<int32_t> program) { m_program = std::move(program); }

    int currentSong() const { return m_currentSong; }
    void setCurrentSong(int n) { m_currentSong = n; }
    int programPosition() const { return m_programPosition; }
    void setProgramPosition(int position) { m_programPosition = position; }

    const RandomPicker& randomPicker() const { return m_randomPicker; }
    const std::vector<int>& randomHistory() const { return m_randomHistory; }
    int historyPosition() const { return m_historyPosition; }

    // The reason of the last failed Open, Load, Save or DeleteAlbum ("" after a success).
    const std::string& lastError() const { return m_lastError; }

    // A database that fails the header check is moved aside before a new one is written; the
    // user is told once through this hook (the application shows a message box; the default
    // writes to stderr).
    using Notifier = std::function<void(const std::string& message)>;
    static void setNotifier(Notifier notifier);

private:
    int RandomNext(RepeatMode repeat);
    int RandomPrevious();
    int ProgramEntry(int i);
    int finishMove(int result);

    AlbumKind m_kind;
    std::string m_key;
    std::string m_title;
    std::string m_artist;
    std::string m_extendedInfo;
    std::string m_genre;
    int32_t m_revision = 0;
    std::vector<SongEntry> m_songs;
    int32_t m_discLengthMs = 0;
    int32_t m_discEndFrame = 0;
    std::vector<int32_t> m_program;
    int m_currentSong = 0;
    int m_programPosition = 0;
    RandomPicker m_randomPicker;
    std::vector<int> m_randomHistory;
    int m_historyPosition = -1;
    std::string m_lastError;

    friend class AlbumDatabase;
};
