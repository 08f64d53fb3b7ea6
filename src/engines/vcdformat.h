#pragma once
// The description files of a Video CD 2.0 as bytes: INFO.VCD, ENTRIES.VCD and the play-sequence
// descriptors of PSD.VCD / PSD_X.VCD, in the published layout (every number big-endian). Only
// the standard library: the fuzz targets take these on their own, and nothing here reads a
// disc. A reader never looks past the bytes it is given and says in plain words why it refuses
// them.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace engines::vcd {

constexpr int kInfoBytes = 56;          // the part of INFO.VCD that is read
constexpr int kEntriesHeaderBytes = 12; // "ENTRYVCD", version, profile, entry count
constexpr int kMaxEntries = 500;        // play items 100-599
constexpr std::uint16_t kNoOffset = 0xFFFF;
// Default offsets that stand for a choice made by number, not a descriptor.
constexpr std::uint16_t kMultiDefault = 0xFFFE;
constexpr std::uint16_t kMultiDefaultNumeric = 0xFFFD;

struct Info
{
    std::string systemId; // "VIDEO_CD" on a disc we play
    int version = 0;      // 2
    int profile = 0;      // 0
    std::string albumId;  // 16 bytes, trailing blanks and NULs dropped
    int volumeCount = 0;  //
    int volumeNumber = 0; //
    std::array<std::uint8_t, 13> palFlags{};
    std::uint8_t flags = 0;    // bit 7: the extended play-sequence file is there
    std::uint32_t psdSize = 0; // 0: no play sequence (the disc plays in track mode)
    std::array<std::uint8_t, 3> firstSegment{};
    int offsetMultiplier = 0; // a descriptor lies at offset x multiplier in the PSD file
    int listIdCount = 0;
    int segmentCount = 0;

    bool extendedPsd() const { return (flags & 0x80) != 0; }
};

// The first 56 bytes of INFO.VCD. False with `why` for a short file, a wrong id, version or
// profile (the fields read so far are kept).
bool parseInfo(const std::string& bytes, Info& info, std::string* why = nullptr);

struct EntryRecord
{
    int track = 0;                         // the disc's track (2 is the first MPEG track)
    int minute = 0, second = 0, frame = 0; // the address on the disc, lead-in included
    // The address in sectors counted from the start of the lead-in (MSF frames).
    std::int32_t msfFrames() const { return (minute * 60 + second) * 75 + frame; }
    // The address in milliseconds, as the disc's time counts it.
    std::int64_t ms() const
    {
        return static_cast<std::int64_t>(minute * 60 + second) * 1000 + frame * 1000 / 75;
    }
};

struct Entries
{
    std::string id; // "ENTRYVCD" (not checked: the entry count is what matters)
    int version = 0;
    int count = 0;                    // what the header announces
    std::vector<EntryRecord> entries; // as many as the bytes hold, at most `count`
};

// ENTRIES.VCD. False with `why` when the header is short or the file holds fewer entries than
// it announces (the ones it holds are kept).
bool parseEntries(const std::string& bytes, Entries& entries, std::string* why = nullptr);

// One BCD byte: high nibble x 10 + low nibble.
inline int fromBcd(std::uint8_t b)
{
    return (b >> 4) * 10 + (b & 0x0F);
}

struct Area
{
    std::uint8_t x1 = 0, y1 = 0, x2 = 0, y2 = 0; // 0-255 across the picture
    bool present() const { return x1 || y1 || x2 || y2; }
    bool operator==(const Area&) const = default;
};

enum class DescriptorType : std::uint8_t {
    PlayList = 0x10,
    Selection = 0x18,
    ExtendedSelection = 0x1A,
    EndList = 0x1F,
};

struct Descriptor
{
    DescriptorType type = DescriptorType::EndList;
    std::uint32_t byteOffset = 0; // where it was read in the PSD file
    std::uint16_t listId = 0;     // bit 15: "rejected" (not reachable by list number)
    std::uint16_t previous = kNoOffset, next = kNoOffset, returnOffset = kNoOffset;

    // Play list.
    std::uint16_t playTime = 0; // in 1/15 s; 0: the items' own lengths
    std::uint8_t wait = 0;      // after each item, see waitSeconds()
    std::uint8_t autoPauseWait = 0;
    std::vector<std::uint16_t> items; // play item numbers

    // Selection lists.
    std::uint8_t flags = 0;
    std::uint8_t baseSelection = 1;
    std::uint16_t defaultOffset = kNoOffset, timeoutOffset = kNoOffset;
    std::uint8_t timeoutTime = 0; // see waitSeconds()
    std::uint8_t loop = 0;        // low 7 bits: the loop count; bit 7: delayed jump
    std::uint16_t playItem = 0;
    std::vector<std::uint16_t> selections; // offsets, one per selection number
    // Extended selection lists only.
    Area previousArea, nextArea, returnArea, defaultArea;
    std::vector<Area> areas; // one per selection

    bool isSelection() const
    {
        return type == DescriptorType::Selection || type == DescriptorType::ExtendedSelection;
    }
    int loopCount() const { return loop & 0x7F; }
    int selectionCount() const { return static_cast<int>(selections.size()); }
    // The play time in milliseconds (0: none).
    int playTimeMs() const { return playTime * 1000 / 15; }
};

// The descriptor at `byteOffset` of a PSD file. False with `why` when the offset lies beyond
// the file, the type is unknown, or the descriptor runs past the end of the file.
bool parseDescriptor(const std::string& psd, std::uint32_t byteOffset, Descriptor& descriptor,
                     std::string* why = nullptr);

// A wait or time-out byte in seconds: 0 none, 1-60 seconds, 61-254 (value - 60) x 10 + 60
// seconds, 255 (returned as -1) for ever.
int waitSeconds(std::uint8_t value);

enum class ItemClass { None, Track, Entry, Segment };
// 2-99 a track, 100-599 an entry, 1000-2979 a segment, anything else nothing.
ItemClass itemClass(int item);

// One line about a descriptor: its kind and every field, offsets in hex ("none" for 0xFFFF),
// play items with their class.
std::string describe(const Descriptor& descriptor);
// An offset as descriptors name it: "0x0006", "none", "multi-default".
std::string offsetText(std::uint16_t offset);
// A play item number with its class: "3 (track 3)", "101 (entry 2)", "1000 (segment 1)",
// "0 (none)".
std::string itemText(int item);

} // namespace engines::vcd
