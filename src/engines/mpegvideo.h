#pragma once
// The length of an MPEG video file read from its own bytes, for the files GStreamer times
// badly: a program stream whose demuxer reports no length (its last pack far before the end,
// say), and an elementary stream, whose parser only guesses from the bit rate. It promises the
// time ffprobe gives such a file: for a program stream, the first picture's presentation time
// to the last one's plus one frame (the first video stream's packets; the start is read from
// the first 4 MB, the end from the last megabytes, resynchronised on a pack header); for an
// elementary stream, the pictures counted (field pictures as halves) times the frame time of
// its sequence header (a file over 64 MB is counted in its first 16 MB and scaled by size).
// Anything else, or damage that leaves no times, gives 0.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace engines {

enum class MpegVideoKind { None, ProgramStream, ElementaryStream };

struct MpegVideoLength
{
    MpegVideoKind kind = MpegVideoKind::None;
    double frameRate = 0; // from the first sequence header; 0 when none was found
    std::int64_t ms = 0;  // 0 when unknown
};

// Reads up to `size` bytes at `offset` into `out`; the number read (0 at the end or on error).
using MpegVideoReader =
    std::function<std::size_t(std::uint64_t offset, std::uint8_t* out, std::size_t size)>;

// The length of the MPEG video of `fileSize` bytes that `read` gives.
MpegVideoLength mpegVideoLength(const MpegVideoReader& read, std::uint64_t fileSize);
// The same of a file; kind None for a file that cannot be read or is not MPEG video.
MpegVideoLength mpegVideoFileLength(const std::string& path);

} // namespace engines
