#pragma once
// Every user setting, held in memory as fields by the application object, read once at start
// and written back whole. The players and windows read and change the fields directly.

#include "platform/vocabulary.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// The section each component's record is stored in, by component index.
extern const std::array<const char*, ComponentCount> kComponentSections;

struct ComponentRecord
{
    int enable{};
    int repeat{};
    int playMode{};
    int timeMode{};
    std::string initialDir;
};

struct FontInfo
{
    int color{}; // 0x00BBGGRR
    int bold{};
    int italic{};
    int size{}; // points
    std::string fontName;
};

// The size of the recording format block, and the wave format it starts with.
constexpr size_t kRecordFormatSize = 4096;
void setDefaultRecordFormat(std::vector<std::uint8_t>& block);

struct AppSettings
{
    std::array<ComponentRecord, ComponentCount> components;

    // General
    std::string colorScheme;
    int mainVisible{};
    int mainTrayOnly{};
    int timer{}; // HHMMSS
    int timerAction{};
    int spectrumCd{};
    int spectrumMidi{};
    // Remocon
    int remoconAlwaysOnTop{};
    int remoconSize{};
    int useHotKey{};
    int remoconComponent{};
    // RemoteSpectrum
    int spectrumAlwaysOnTop{};
    int spectrumEnabled{};
    int spectrumSize{};
    int spectrumMode{};
    // Panel
    int viewTitle{};
    int viewDescription{};
    int viewFileInfo{};
    int viewId3Tag{};
    int viewAlbumTitle{};
    int viewAlbumSinger{};
    int viewAlbumDescription{};
    int viewAlbumGenre{};
    int viewInfoQuickTrack{};
    int viewSpectrumMode{};
    int viewId3TagTitle{};
    int viewId3TagArtist{};
    int viewId3TagAlbum{};
    int viewId3TagYear{};
    int viewId3TagComment{};
    int viewId3TagGenre{};
    // DSP
    int reverbMode{};
    int reverb{};
    int reverbDepth{};
    int chorus{};
    int chorusDepth{};
    int wide{};
    int wideDepth{};
    int fxMode{};
    int fx{};
    // Audio
    int recordType{};
    int recordMpegProfile{};
    int recordMpegBitRate{};
    int recordRaProfile{};
    int recordCdRecord{};
    int recordCdUseTitleInfo{};
    int recordCdUseSongInfo{};
    int recordCdUseSongInfoAlbumTitle{};
    int recordCdUseSongInfoAlbumSinger{};
    int recordCdUseSongInfoTrackNumber{};
    int recordCdRecordingMethod{};
    std::string recordDir;
    int wavUseDirectShow{};
    int mpaUseInternal{};
    int displayLyric{};
    // MP3
    int mp3Channel{};
    int mp3Quality{};
    int mp3BufferCount{};
    int mp3Priority{};
    int mp3OutputType{};
    int mp3Engine{};
    int outScaleAgc{};
    int outScaleValue{};
    int saveStream{};
    std::string streamOutputDir;
    std::string wavOutputDir;
    int wavOutputAutomaticNaming{};
    // Equalizer
    std::array<int, 20> equalizer{};
    int equalizerMode{};
    int equalizerEnable{};
    // Video
    int dgvAutoSize{};
    int dgvUseDirectShow{};
    int dgvUseVcd2Mode{};
    // CD
    int autoRun{};
    int cddbConnect{};
    std::string email;
    std::string mailServer;
    // MIDI
    int midUseInternal{};
    // The CD drive: a device node, a disc image or a folder; "" when there is none.
    std::string cdDrive;
    // Print
    int pageMarginLeft{};
    int pageMarginTop{};
    int pageMarginRight{};
    int pageMarginBottom{};
    int enableTwoColumn{};
    int enableColumnSeparator{};
    int albumSizeMargin{};
    int albumSizeCount{};
    int albumSize{};
    FontInfo titleFont;
    FontInfo pageFont;
    int enableTitleInfo{};
    int enablePageInfo{};
    int headerMargin{};
    FontInfo albumTitleFont;
    FontInfo albumSingerFont;
    FontInfo albumDescFont;
    int enableAlbumNumbering{};
    int enableAlbumSingerInfo{};
    int enableAlbumDescInfo{};
    FontInfo songTitleFont;
    FontInfo songDescFont;
    int enableSongInfo{};
    int enableSongTimeInfo{};
    int enableSongDescInfo{};

    // The recording wave format: a 4096-byte block starting with a wave format header.
    std::vector<std::uint8_t> recordFormat;
};

class Profile;

// Reads every value in its designed order; missing or unreadable values take their defaults.
void LoadSettingsFrom(const Profile& profile, AppSettings& s);
// Writes every value in the same order; false when the settings file could not be written.
bool SaveSettingsTo(Profile& profile, const AppSettings& s);

// Every stored value as ("Section/Name", text) in the order they are written: integers in
// decimal, strings as they are, the recording format as the hex of its wave format header.
std::vector<std::pair<std::string, std::string>> settingValues(const AppSettings& s);

// What `settings --set` may store, judged as the program will read it back. Values in the table
// above are checked for their type and adjusted as loading adjusts them; a name outside it is
// known only when the settings file already holds it (values a window keeps for itself, such
// as its position), and is taken as text.
struct SettingCheck
{
    enum Verdict {
        Accepted,      // stored as given
        Adjusted,      // stored as given, but the program reads it as `value`
        UnknownName,   // neither in the table nor in the file
        NotANumber,    // the name holds a number
        Binary,        // the name holds a binary block
        UnusableDrive, // the drive is neither a CD device, a disc image nor a folder
    };
    Verdict verdict = UnknownName;
    std::string value; // what the program will read back
};
SettingCheck CheckSettingValue(const Profile& profile, const std::string& section,
                               const std::string& name, const std::string& text);
