#pragma once
// The words of a karaoke MIDI file as the events the karaoke viewer is sent (message 0x784,
// wParam = code, lParam = record or 0), each at the song time it is due:
//
//   code 0     start of the song; lParam a zero-terminated title, or 0;
//   code n > 0 a lyric line with id n comes up; the record is KaraokeLineRecord followed by the
//              line's bytes, zero-terminated (the text starts at the record's ninth byte), and
//              its second field is 1 when the line starts a new page;
//   code -1    highlight `length` bytes of line `lineId` from `position` (the first syllable of
//              a line: the highlight starts afresh there);
//   code -2    highlight line `lineId` from its start up to `position + length` (every further
//              syllable).
//
// Words come from the lyric events (FF 05) of the file, or, in the .kar convention, from the
// text events (FF 01) of the track that carries them: "@" lines are information ("@T" the
// title), "\" starts a new page, "/" a new line; a lyric ending in CR or LF ends its line. The
// bytes stay as the file has them (a legacy code page or UTF-8); positions and lengths count
// those bytes. A page's first two lines come up a little before they are sung (at most three
// seconds, never before the previous page's last syllable); each further line comes up when the
// line before it starts, so the viewer shows the line being sung and the one after it.

#include "engines/smf.h"
#include "platform/vocabulary.h" // UM_KARAOKE, the message these events travel in

#include <cstdint>
#include <string>
#include <vector>

namespace midi {

constexpr int kKaraokeStart = 0;
constexpr int kKaraokeHighlightFrom = -1;
constexpr int kKaraokeHighlightTo = -2;
// A line code above this starts a new page too (the viewer honours both ways).
constexpr int kKaraokeNewPageCode = 100000;

struct KaraokeHighlightRecord
{
    std::int32_t syllable; // the syllable's number in its line, from 0
    std::int32_t lineId;
    std::int32_t position;
    std::int32_t length;
};

struct KaraokeLineRecord
{
    std::int32_t lineId;
    std::int32_t newPage;
    // followed by the text, zero-terminated
};

// One syllable: its bytes, where it starts in its line, when it is sung.
struct Syllable
{
    double ms = 0;
    int position = 0;
    int length = 0;
};

struct KaraokeLine
{
    int id = 0; // 1, 2, ...
    bool newPage = false;
    std::string text;
    std::vector<Syllable> syllables;
};

// One event for the viewer. `record` holds the record (aligned for its 32-bit fields); for code
// 0 it holds the title text, empty for none.
struct KaraokeCue
{
    double ms = 0;
    int code = 0;
    std::vector<std::int32_t> record;
    const void* lParam() const { return record.empty() ? nullptr : record.data(); }
};

struct KaraokeScript
{
    std::string title; // the "@T" lines joined by " / ", or the first track's name
    std::vector<KaraokeLine> lines;
    std::vector<KaraokeCue> cues; // in time order, the start cue first
    bool empty() const { return lines.empty(); }
};

KaraokeScript buildKaraoke(const Song& song);

// For kolvo-cli and tests: a cue in words ("line 3 new page \"...\"", "highlight 2 0..5").
std::string describeCue(const KaraokeCue& cue);

} // namespace midi
