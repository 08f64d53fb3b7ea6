#pragma once
// Standard MIDI files (format 0, 1 and 2, also inside a RIFF "RMID" wrapper) read into one
// time-ordered list of channel messages with their times in milliseconds, the tempo map
// applied, and the text and lyric events beside them.
//
// Files from the wild are often a little broken. What can be played is played and what was
// wrong is said in `warnings`: a track chunk that claims more bytes than the file holds is read
// as far as the file goes, a track without its end event ends at its last event, data bytes
// with no status byte before them (running status at the start of a track) are skipped, and a
// track that turns into garbage ends there. Only a file with no header or no readable track is
// refused. Nothing here can run away: every loop is bounded by the bytes of the file, and songs
// are cut at four hours.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace midi {

// A channel message (note on/off, controllers, programs, pitch bend...).
struct ChannelEvent
{
    double ms = 0; // song time at the file's own tempo
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};

// A text (FF 01) or lyric (FF 05) meta event; the bytes as the file has them.
struct TextEvent
{
    double ms = 0;
    int track = 0;
    std::uint8_t type = 0; // 1 text, 5 lyric, 3 track name
    std::string text;
};

struct Song
{
    int format = 0;
    int trackCount = 0;   // tracks read
    int division = 0;     // ticks per quarter note (or SMPTE, negative high byte)
    double lengthMs = 0;  // the time of the last event of any track
    int initialTempo = 0; // microseconds per quarter note at the start (500000 without one)
    std::vector<ChannelEvent> events;
    std::vector<TextEvent> texts;
    std::vector<std::string> warnings;
};

constexpr double kMaxSongMs = 4.0 * 3600 * 1000;

// Reads a file's bytes; false with `error` (a sentence for people) when nothing can be played.
bool readSong(const std::uint8_t* data, size_t size, Song& song, std::string& error);
// Reads a file; false with `error` when it cannot be read or nothing can be played.
bool readSongFile(const std::string& path, Song& song, std::string& error);

} // namespace midi
