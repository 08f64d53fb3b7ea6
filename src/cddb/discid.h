#pragma once
// The CDDB disc identifier and the query record the lookup sends. Everything here works on
// CddbAlbum, a plain copy of the CD album fields the CD database client reads and writes, so
// that the record code needs neither the album database nor a window.

#include <cstdint>
#include <string>
#include <vector>

struct CddbTrack
{
    std::string title;        // UTF-8; a line break is a single CR
    std::string extendedInfo; // UTF-8; a line break is a single CR
    std::int32_t lengthMs = 0;
    std::int32_t startFrame = 0; // absolute, counted from the very start of the disc
};

struct CddbAlbum
{
    std::string title;
    std::string artist;
    std::string extendedInfo;
    std::string genre;
    std::int32_t revision = 0;
    std::int32_t discLengthMs = 0;
    std::int32_t discEndFrame = 0; // the lead-out, absolute
    std::vector<CddbTrack> tracks;
};

// The query record. Only the first trackCount frame offsets are used.
struct CddbDiscInfo
{
    static constexpr int kMaxTracks = 99; // an audio CD holds at most 99 tracks

    std::int32_t trackCount = 0;
    std::int32_t discLength = 0; // seconds
    std::uint32_t discId = 0;
    std::int32_t frameOffsets[100] = {};
};

void ComputeDiscId(const CddbAlbum& album, CddbDiscInfo& info);

// An album made from a bare table of contents: the frame offsets of the tracks and the
// lead-out frame, with the disc length the CD Player would derive from them.
CddbAlbum CddbAlbumFromToc(const std::vector<std::int32_t>& offsets, std::int32_t leadOut);

// "cddb query %08x %d <offsets...> <seconds>", without the line end.
std::string CddbQueryCommand(const CddbDiscInfo& info);

// Eight lower-case hexadecimal digits.
std::string DiscIdText(std::uint32_t discId);
