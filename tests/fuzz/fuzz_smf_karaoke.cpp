// Standard MIDI files come from anywhere. Whatever the bytes, the reader must answer without
// running away, and what it gives back must be playable as it stands: events in time order
// inside the song's length, a length within four hours; and the karaoke script built on it
// must only point into its own lines, each line coming up before its first highlight.
#include "engines/karaoke.h"
#include "engines/smf.h"
#include "fuzzcheck.h"

#include <map>

FUZZ_TARGET
{
    midi::Song song;
    std::string error;
    const bool read = midi::readSong(data, size, song, error);
    FUZZ_CHECK(read || !error.empty());
    if (!read)
        return;
    FUZZ_CHECK(song.trackCount >= 1 && song.lengthMs >= 0 && song.lengthMs <= midi::kMaxSongMs);
    double last = 0;
    for (const midi::ChannelEvent& e : song.events) {
        FUZZ_CHECK(e.ms >= last && e.ms <= song.lengthMs + 1e-6 && (e.status & 0x80) &&
                   e.status < 0xF0 && e.data1 <= 127 && e.data2 <= 127);
        last = e.ms;
    }
    last = 0;
    for (const midi::TextEvent& t : song.texts) {
        FUZZ_CHECK(t.ms >= last && t.ms <= song.lengthMs + 1e-6);
        last = t.ms;
    }

    const midi::KaraokeScript script = midi::buildKaraoke(song);
    std::map<int, const midi::KaraokeLine*> lines;
    for (size_t i = 0; i < script.lines.size(); ++i) {
        const midi::KaraokeLine& l = script.lines[i];
        FUZZ_CHECK(l.id == static_cast<int>(i) + 1 && !l.syllables.empty() && !l.text.empty() &&
                   l.id < midi::kKaraokeNewPageCode && l.text.find('\0') == std::string::npos);
        for (const midi::Syllable& s : l.syllables)
            FUZZ_CHECK(s.position >= 0 && s.length > 0 &&
                       s.position + s.length <= static_cast<int>(l.text.size()));
        lines[l.id] = &l;
    }
    FUZZ_CHECK(script.lines.empty() || script.lines.front().newPage);
    FUZZ_CHECK(!script.cues.empty() && script.cues.front().code == midi::kKaraokeStart);
    std::map<int, bool> cameUp;
    last = -1;
    for (const midi::KaraokeCue& cue : script.cues) {
        FUZZ_CHECK(cue.ms >= last);
        last = cue.ms;
        if (cue.code == midi::kKaraokeStart)
            continue;
        if (cue.code > 0) {
            const auto it = lines.find(cue.code);
            midi::KaraokeLineRecord header{};
            std::memcpy(&header, cue.lParam(), sizeof header);
            const char* text = static_cast<const char*>(cue.lParam()) + sizeof header;
            FUZZ_CHECK(it != lines.end() && header.lineId == cue.code && it->second->text == text &&
                       (header.newPage != 0) == it->second->newPage);
            cameUp[cue.code] = true;
            continue;
        }
        midi::KaraokeHighlightRecord r{};
        std::memcpy(&r, cue.lParam(), sizeof r);
        const auto it = lines.find(r.lineId);
        FUZZ_CHECK(it != lines.end() && cameUp[r.lineId] && r.position >= 0 && r.length > 0 &&
                   r.position + r.length <= static_cast<int>(it->second->text.size()));
        FUZZ_CHECK((cue.code == midi::kKaraokeHighlightFrom) == (r.syllable == 0));
        (void)midi::describeCue(cue);
    }
}
