#include "engines/karaoke.h"

#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace midi {
namespace {

// How long before it is sung a page comes up, at most.
constexpr double kPageLeadMs = 3000;
constexpr int kMaxLines = kKaraokeNewPageCode - 1;

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// Which events carry the words: the lyric events when there are any and the file is not a .kar
// of the "@" convention, else the text events of the track that has most of them.
std::vector<const TextEvent*> wordEvents(const Song& song, bool& karStyle)
{
    karStyle = false;
    std::map<int, int> textsPerTrack;
    bool lyrics = false;
    for (const TextEvent& t : song.texts) {
        if (t.type == 1) {
            if (startsWith(t.text, "@K") || startsWith(t.text, "@T"))
                karStyle = true;
            if (!startsWith(t.text, "@"))
                ++textsPerTrack[t.track];
        } else if (t.type == 5) {
            lyrics = true;
        }
    }
    std::vector<const TextEvent*> out;
    if (lyrics && !karStyle) {
        for (const TextEvent& t : song.texts)
            if (t.type == 5)
                out.push_back(&t);
        return out;
    }
    int best = -1, most = 0;
    for (const auto& [track, count] : textsPerTrack) {
        if (count > most)
            best = track, most = count;
    }
    // Plain text events are words only in the .kar convention, or when they mark lines.
    bool marked = karStyle;
    for (const TextEvent& t : song.texts) {
        if (t.type == 1 && t.track == best && (startsWith(t.text, "/") || startsWith(t.text, "\\")))
            marked = true;
    }
    if (!marked)
        return out;
    karStyle = true;
    for (const TextEvent& t : song.texts) {
        if (t.type == 1 && (t.track == best || startsWith(t.text, "@")))
            out.push_back(&t);
    }
    return out;
}

std::vector<std::int32_t> packText(const void* header, size_t headerBytes, const std::string& text)
{
    std::vector<std::int32_t> record((headerBytes + text.size() + 1 + 3) / 4, 0);
    auto* bytes = reinterpret_cast<char*>(record.data());
    if (headerBytes)
        std::memcpy(bytes, header, headerBytes);
    std::memcpy(bytes + headerBytes, text.data(), text.size());
    return record;
}

} // namespace

KaraokeScript buildKaraoke(const Song& song)
{
    KaraokeScript script;
    bool karStyle = false;
    const std::vector<const TextEvent*> events = wordEvents(song, karStyle);
    std::vector<std::string> titles;
    bool pendingBreak = false;
    const auto newLine = [&](bool page) {
        if (!script.lines.empty() && script.lines.back().text.empty()) {
            script.lines.back().newPage = script.lines.back().newPage || page;
            return;
        }
        if (static_cast<int>(script.lines.size()) >= kMaxLines)
            return;
        KaraokeLine line;
        line.id = static_cast<int>(script.lines.size()) + 1;
        line.newPage = page || script.lines.empty();
        script.lines.push_back(std::move(line));
    };
    for (const TextEvent* e : events) {
        std::string t = e->text;
        if (karStyle && startsWith(t, "@")) {
            if (startsWith(t, "@T") && t.size() > 2)
                titles.push_back(t.substr(2));
            continue;
        }
        bool page = false, line = false;
        while (!t.empty() && (t[0] == '\\' || t[0] == '/')) {
            (t[0] == '\\' ? page : line) = true;
            t.erase(0, 1);
        }
        bool endLine = false;
        while (!t.empty() && (t.back() == '\r' || t.back() == '\n')) {
            endLine = true;
            t.pop_back();
        }
        // A CR or LF inside (some files put the break first) breaks there too.
        while (!t.empty() && (t[0] == '\r' || t[0] == '\n')) {
            line = true;
            t.erase(0, 1);
        }
        t.erase(std::remove(t.begin(), t.end(), '\0'), t.end());
        if (page || line || (pendingBreak && !t.empty())) {
            newLine(page);
            pendingBreak = false;
        }
        if (endLine)
            pendingBreak = true;
        if (t.empty())
            continue;
        if (script.lines.empty())
            newLine(true);
        KaraokeLine& current = script.lines.back();
        if (current.text.size() + t.size() > 4096)
            continue; // a runaway line: the viewer could not show it anyway
        current.syllables.push_back(
            Syllable{e->ms, static_cast<int>(current.text.size()), static_cast<int>(t.size())});
        current.text += t;
    }
    // Lines without a syllable (breaks in a row) say nothing.
    std::vector<KaraokeLine> kept;
    bool carryPage = false;
    for (KaraokeLine& l : script.lines) {
        if (l.syllables.empty()) {
            carryPage = carryPage || l.newPage;
            continue;
        }
        l.newPage = l.newPage || carryPage;
        carryPage = false;
        l.id = static_cast<int>(kept.size()) + 1;
        kept.push_back(std::move(l));
    }
    script.lines = std::move(kept);
    if (!script.lines.empty())
        script.lines.front().newPage = true;

    for (size_t i = 0; i < titles.size(); ++i)
        script.title += (i ? " / " : "") + titles[i];
    if (script.title.empty()) {
        for (const TextEvent& t : song.texts) {
            if (t.type == 3 && !t.text.empty()) {
                script.title = t.text;
                break;
            }
        }
    }

    // The cues, ranked so that at one time the start comes first, then lines, then highlights.
    struct Ranked
    {
        KaraokeCue cue;
        int rank;
        size_t seq;
    };
    std::vector<Ranked> ranked;
    size_t seq = 0;
    const auto add = [&](KaraokeCue cue, int rank) {
        ranked.push_back(Ranked{std::move(cue), rank, seq++});
    };
    {
        KaraokeCue start;
        start.code = kKaraokeStart;
        if (!script.title.empty())
            start.record = packText(nullptr, 0, script.title);
        add(std::move(start), 0);
    }
    double lastSung = -1; // the last syllable of the previous page (none before the first)
    for (size_t i = 0; i < script.lines.size(); ++i) {
        const KaraokeLine& l = script.lines[i];
        double due;
        if (l.newPage) {
            const double first = l.syllables.front().ms;
            due = std::min(first, std::max(lastSung + 1, first - kPageLeadMs));
        } else if (i > 0 && script.lines[i - 1].newPage) {
            due = ranked.back().cue.ms; // with the first line of its page
        } else {
            due = script.lines[i - 1].syllables.front().ms;
        }
        if (i + 1 < script.lines.size() && script.lines[i + 1].newPage)
            lastSung = l.syllables.back().ms;
        // The line cue must come before any highlight of its own.
        KaraokeCue cue;
        cue.ms = std::min(due, l.syllables.front().ms);
        cue.code = l.id;
        const KaraokeLineRecord header{l.id, l.newPage ? 1 : 0};
        cue.record = packText(&header, sizeof header, l.text);
        add(std::move(cue), 1);
    }
    for (const KaraokeLine& l : script.lines) {
        for (size_t s = 0; s < l.syllables.size(); ++s) {
            const Syllable& syl = l.syllables[s];
            KaraokeCue cue;
            cue.ms = syl.ms;
            cue.code = s == 0 ? kKaraokeHighlightFrom : kKaraokeHighlightTo;
            const KaraokeHighlightRecord r{static_cast<std::int32_t>(s), l.id, syl.position,
                                           syl.length};
            cue.record.resize(4);
            std::memcpy(cue.record.data(), &r, sizeof r);
            add(std::move(cue), 2);
        }
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.cue.ms != b.cue.ms)
            return a.cue.ms < b.cue.ms;
        if (a.rank != b.rank)
            return a.rank < b.rank;
        return a.seq < b.seq;
    });
    for (Ranked& r : ranked)
        script.cues.push_back(std::move(r.cue));
    return script;
}

std::string describeCue(const KaraokeCue& cue)
{
    const auto text = [](const char* bytes) {
        std::string quoted(1, '"');
        quoted += text::decodeLegacy(bytes);
        quoted += '"';
        return quoted;
    };
    if (cue.code == kKaraokeStart)
        return cue.record.empty()
                   ? std::string("start")
                   : "start " + text(reinterpret_cast<const char*>(cue.record.data()));
    if (cue.code > 0) {
        KaraokeLineRecord header{};
        std::memcpy(&header, cue.record.data(), sizeof header);
        return "line " + std::to_string(cue.code) + (header.newPage ? " new page " : " ") +
               text(reinterpret_cast<const char*>(cue.record.data()) + sizeof header);
    }
    KaraokeHighlightRecord r{};
    std::memcpy(&r, cue.record.data(), sizeof r);
    if (cue.code == kKaraokeHighlightFrom)
        return "highlight " + std::to_string(r.lineId) + " from " + std::to_string(r.position) +
               " length " + std::to_string(r.length);
    return "highlight " + std::to_string(r.lineId) + " to " + std::to_string(r.position + r.length);
}

} // namespace midi
