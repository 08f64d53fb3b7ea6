#pragma once
// The CD reader: the table of contents, the CD-Text and the audio sectors of what the "Drive"
// setting names, over libcdio: a CD drive (/dev/sr0), a disc image (.cue/.bin, cdrdao .toc,
// Nero .nrg) or a folder holding the files of a mounted disc (which has no audio tracks). It
// serves the CD audio device and, later, the digital copy of CD tracks.
//
// Sectors are read with libcdio-paranoia from a drive (it re-reads and matches overlaps
// against jitter and scratches) and plainly from an image, where a sector reads back exactly
// as it was written and paranoia's verification would only read everything twice.
//
// One reader may be used from two threads: one reading sectors while another asks for the
// table of contents or the state of the disc.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engines {

constexpr int kCdSectorBytes = 2352; // one sector of audio: 1/75 s
constexpr int kCdSectorFrames = 588; // stereo sample frames per sector
constexpr int kCdSectorsPerSecond = 75;
constexpr int kCdLeadInSectors = 150; // MSF addresses count the 2 s before the first track

struct CdTrack
{
    int number = 0;
    std::int32_t lsn = 0; // the first sector (index 1), counted from the end of the lead-in
    bool audio = true;
    // Its address as MSF counts it: lsn + 150.
    std::int32_t frame() const { return lsn + kCdLeadInSectors; }
    bool operator==(const CdTrack&) const = default;
};

struct CdToc
{
    std::vector<CdTrack> tracks; // in disc order, numbers rising by one
    std::int32_t leadOutLsn = 0;

    bool empty() const { return tracks.empty(); }
    int firstTrack() const { return tracks.empty() ? 0 : tracks.front().number; }
    int lastTrack() const { return tracks.empty() ? 0 : tracks.back().number; }
    std::int32_t leadOutFrame() const { return leadOutLsn + kCdLeadInSectors; }
    // nullptr when the disc has no such track.
    const CdTrack* track(int number) const;
    // One past the last sector of the track: the next track's start, or the lead-out.
    std::int32_t endLsn(int number) const;
    // The track a sector belongs to (the first one for sectors before it); 0 when empty.
    int trackAt(std::int32_t lsn) const;
    bool operator==(const CdToc&) const = default;
};

// CD-Text as libcdio gives it (from a drive, or the TITLE/PERFORMER lines of a cue sheet).
struct CdText
{
    std::string albumTitle;
    std::string albumArtist;
    std::vector<std::string> trackTitles;  // [0] is the first track; "" where none
    std::vector<std::string> trackArtists; // likewise
    bool empty() const;
};

class CdReader
{
public:
    enum class Kind { None, Drive, Image, Folder };
    enum class Failure {
        None,
        NotFound,  // the drive, image, or a file its sheet names, does not exist
        NotADisc,  // the path is neither a CD drive, a disc image nor a folder
        BadImage,  // an image libcdio cannot read, or one whose data ends before its tracks
        Busy,      // another program holds the drive
        NoDisc,    // the drive holds no disc (or its tray is open)
        ReadError, // sectors could not be read
    };
    // How sectors are read: Auto is paranoia for a drive and plain reads for an image.
    enum class Method { Auto, Plain, Paranoia };
    enum class DiscState { Ready, NoDisc, TrayOpen, NotReady };

    CdReader();
    ~CdReader();
    CdReader(const CdReader&) = delete;
    CdReader& operator=(const CdReader&) = delete;

    // Opens what the "Drive" setting names. A drive opens without a disc in it. false with
    // failure() and failureText() set when it cannot be opened.
    bool open(const std::string& drive, Method method = Method::Auto);
    void close();
    bool isOpen() const;
    Kind kind() const;
    const std::string& drive() const;

    // The table of contents; empty without a disc, for a folder, and after close().
    CdToc toc() const;
    // The CD-Text of the disc, nothing when it carries none.
    std::optional<CdText> cdText() const;

    // Reads `count` sectors of audio from `lsn` on into `samples` (count * 1176 interleaved
    // stereo 16-bit samples, host byte order). Returns the number of sectors read: fewer at
    // the lead-out, or at an error (failure() says which).
    int read(std::int32_t lsn, int count, std::int16_t* samples);

    // Looks at the drive: whether a disc is there now. A disc that was changed (for an image,
    // a file that was replaced) has its table of contents read anew; `changed` is set then.
    DiscState discState(bool* changed = nullptr);

    // Opens or closes the tray of a drive; false for images and folders, or when the drive
    // cannot.
    bool setTray(bool open);

    Failure failure() const;
    std::string failureText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The CD-Text of what a "Drive" setting names, for filling in a blank album; nothing when it
// cannot be opened or carries none.
std::optional<CdText> readCdText(const std::string& drive);

} // namespace engines
