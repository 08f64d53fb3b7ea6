#pragma once
// A Video CD as the Video CD reader and its stream source see it: the files of its ISO 9660
// file system and the payload of its MPEG files, from what a "Drive" setting names: a CD drive
// (/dev/sr0), a disc image libcdio reads (.cue/.bin, .nrg, cdrdao .toc) or a folder holding a
// copied disc. Beside it, `VcdDescription` is INFO.VCD, ENTRIES.VCD, the play-sequence file and
// the track list read and checked in one go.
//
// On a drive or an image the MPEG files sit in Mode 2 Form 2 sectors: 2324 bytes of payload
// each behind an 8-byte subheader that says whether the sector carries video, audio or
// nothing. A stream of such a file is its payload from the first sector that carries something
// to the last, which is the MPEG program stream the disc was made from. In a folder a file is
// read as it is, unless it is a RIFF "CDXA" copy of raw sectors, whose payload is taken out of
// them the same way.
//
// A disc is used from one thread; a stream has its own handle on the disc and may be read
// from another.

#include "engines/vcdformat.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engines {

constexpr int kVcdForm2Payload = 2324;
constexpr int kVcdLeadInFrames = 150;

// The payload of one file on a Video CD, read by byte offset.
class VcdStream
{
public:
    virtual ~VcdStream() = default;
    virtual std::int64_t size() const = 0;
    // Copies up to `count` bytes from `offset` on; the number copied (fewer at the end, or 0
    // at a read error).
    virtual std::int64_t read(std::int64_t offset, std::uint8_t* to, std::int64_t count) = 0;
};

struct VcdTrack
{
    int number = 0;
    std::int32_t startFrame = 0; // MSF frames, the 150 of the lead-in counted
    std::int32_t endFrame = 0;   // the next track's start, or the lead-out
    std::int64_t startMs() const { return static_cast<std::int64_t>(startFrame) * 1000 / 75; }
    std::int64_t lengthMs() const
    {
        return static_cast<std::int64_t>(endFrame - startFrame) * 1000 / 75;
    }
};

class VcdDisc
{
public:
    enum class Kind { None, Drive, Image, Folder };

    VcdDisc();
    ~VcdDisc();
    VcdDisc(const VcdDisc&) = delete;
    VcdDisc& operator=(const VcdDisc&) = delete;

    // False with failureText() when the drive, image or folder cannot be opened.
    bool open(const std::string& drive);
    void close();
    bool isOpen() const;
    Kind kind() const;
    const std::string& drive() const;
    const std::string& failureText() const;

    // A file by its path from the disc's root ("VCD/INFO.VCD"; names matched without regard
    // to case or ISO version suffix): at most `limit` of its first bytes. Nothing when there is
    // no such file or it cannot be read.
    std::optional<std::string> readFile(const std::string& path, size_t limit = 1 << 20);
    // The size a file's directory entry gives; nothing when there is no such file.
    std::optional<std::int64_t> fileSize(const std::string& path);
    // The files of a folder whose names end in `suffix` (case ignored), in the order of the
    // directory, as paths from the root ("MPEGAV/AVSEQ01.DAT", version suffix dropped).
    std::vector<std::string> listFiles(const std::string& folder, const std::string& suffix);
    // The table of contents of a drive or image; empty for a folder.
    const std::vector<VcdTrack>& tracks() const;
    std::int32_t leadOutFrame() const;
    // The payload stream of a file; nullptr (with failureText()) when there is no such file.
    std::unique_ptr<VcdStream> openStream(const std::string& path);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// One entry point with where it leads.
struct VcdEntry
{
    vcd::EntryRecord record;
    std::string file;          // the track's file ("MPEGAV/AVSEQ02.DAT")
    std::int64_t offsetMs = 0; // into the track: the entry's time less the track's start
};

// What a disc describes about itself.
struct VcdDescription
{
    vcd::Info info;
    vcd::Entries entries;
    std::vector<VcdEntry> entryTable;         // one per entry of ENTRIES.VCD
    std::vector<std::string> trackFiles;      // [0] is the disc's track 2
    std::vector<std::int64_t> trackLengthsMs; // per track file
    bool extended = false;                    // the play sequence comes from EXT/PSD_X.VCD
    std::string psdPath;                      // "" when INFO.VCD gives no play sequence
    std::string psd;                          // the play-sequence file's bytes

    // The track file of a disc track number ("" when the disc has none such).
    std::string trackFile(int track) const;
    std::int64_t trackLengthMs(int track) const;
    // The byte offset of a descriptor offset.
    std::uint32_t psdByteOffset(std::uint16_t offset) const
    {
        return static_cast<std::uint32_t>(offset) *
               static_cast<std::uint32_t>(info.offsetMultiplier);
    }
};

// Reads the track list, INFO.VCD, ENTRIES.VCD and (when INFO.VCD gives it a size) the
// play-sequence file of an open disc. False with `why` when INFO.VCD is missing, short or not
// Video CD 2.0, when ENTRIES.VCD is missing or holds fewer entries than it announces, or when
// an entry leads to a track the disc does not have or lies past its end. The play-sequence
// file is read as it is (a missing or empty one leaves `psd` empty); its descriptors are
// checked when they are read.
bool readVcdDescription(VcdDisc& disc, VcdDescription& description, std::string* why);

} // namespace engines
