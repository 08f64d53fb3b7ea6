#include "engines/smf.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace midi {
namespace {

// Files larger than this are not MIDI files anyone wrote; refusing them keeps memory bounded.
constexpr size_t kMaxFileBytes = 64u * 1024 * 1024;
constexpr int kDefaultTempo = 500000;

std::uint32_t be32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 |
           std::uint32_t(p[0]);
}

// One event of one track, before the tracks are merged.
struct RawEvent
{
    std::uint64_t tick = 0;
    int track = 0;
    std::uint32_t order = 0; // position within its track, to keep simultaneous events in order
    std::uint8_t status = 0; // 0xFF for meta events
    std::uint8_t data1 = 0;  // the meta type for meta events
    std::uint8_t data2 = 0;
    int tempo = 0;    // FF 51
    std::string text; // FF 01, 03, 05
};

class TrackReader
{
public:
    TrackReader(const std::uint8_t* p, size_t size, int track, Song& song,
                std::vector<RawEvent>& out)
        : m_p(p)
        , m_size(size)
        , m_track(track)
        , m_song(song)
        , m_out(out)
    {}

    // Returns the tick of the track's last event.
    std::uint64_t read()
    {
        std::uint8_t running = 0;
        std::uint64_t tick = 0;
        bool ended = false;
        bool skippedData = false;
        std::uint32_t order = 0;
        while (m_pos < m_size) {
            std::uint32_t delta = 0;
            if (!varLength(delta)) {
                warn("a time in the track is cut off");
                break;
            }
            tick += delta;
            if (m_pos >= m_size) {
                warn("the track ends in the middle of an event");
                break;
            }
            std::uint8_t status = m_p[m_pos];
            if (status & 0x80) {
                ++m_pos;
            } else if (running == 0) {
                // Data with nothing to continue: skipped up to the next status byte, whose
                // event comes at once (its own time was among the bytes skipped).
                if (!skippedData) {
                    warn("data bytes without a status byte were skipped");
                    skippedData = true;
                }
                while (m_pos < m_size && !(m_p[m_pos] & 0x80))
                    ++m_pos;
                if (m_pos >= m_size)
                    break;
                status = m_p[m_pos++];
            } else {
                status = running;
            }
            RawEvent e;
            e.tick = tick;
            e.track = m_track;
            e.order = order++;
            e.status = status;
            if (status < 0xF0) {
                running = status;
                const int need = (status & 0xE0) == 0xC0 ? 1 : 2;
                if (m_pos + static_cast<size_t>(need) > m_size) {
                    warn("the track ends in the middle of an event");
                    break;
                }
                e.data1 = m_p[m_pos] & 0x7F;
                e.data2 = need == 2 ? m_p[m_pos + 1] & 0x7F : 0;
                m_pos += static_cast<size_t>(need);
                m_out.push_back(std::move(e));
                continue;
            }
            running = 0; // meta and system exclusive events cancel running status
            if (status == 0xF0 || status == 0xF7) {
                std::uint32_t length = 0;
                if (!varLength(length) || length > m_size - m_pos) {
                    warn("a system exclusive message runs past the end of the track");
                    break;
                }
                m_pos += length;
                continue;
            }
            if (status != 0xFF) {
                warn("the track holds bytes that are not MIDI events; the rest was left out");
                break;
            }
            if (m_pos >= m_size) {
                warn("the track ends in the middle of an event");
                break;
            }
            const std::uint8_t type = m_p[m_pos++];
            std::uint32_t length = 0;
            if (!varLength(length) || length > m_size - m_pos) {
                warn("a meta event runs past the end of the track");
                break;
            }
            const std::uint8_t* data = m_p + m_pos;
            m_pos += length;
            e.data1 = type;
            if (type == 0x2F) {
                ended = true;
                m_last = tick;
                break;
            }
            if (type == 0x51) {
                if (length < 3)
                    continue;
                const int tempo = data[0] << 16 | data[1] << 8 | data[2];
                if (tempo == 0)
                    continue;
                e.tempo = tempo;
                m_out.push_back(std::move(e));
            } else if (type == 0x01 || type == 0x03 || type == 0x05) {
                e.text.assign(reinterpret_cast<const char*>(data), length);
                m_out.push_back(std::move(e));
            }
            m_last = tick;
        }
        if (!ended)
            warn("the track has no end event; it ends at its last event");
        return std::max(m_last, tick);
    }

private:
    bool varLength(std::uint32_t& value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (m_pos >= m_size)
                return false;
            const std::uint8_t b = m_p[m_pos++];
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    void warn(const std::string& what)
    {
        m_song.warnings.push_back("track " + std::to_string(m_track + 1) + ": " + what);
    }

    const std::uint8_t* m_p;
    size_t m_size;
    size_t m_pos = 0;
    int m_track;
    Song& m_song;
    std::vector<RawEvent>& m_out;
    std::uint64_t m_last = 0;
};

// The standard file inside a RIFF "RMID" wrapper, or the bytes as they are.
bool unwrapRiff(const std::uint8_t*& data, size_t& size)
{
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0)
        return true;
    if (std::memcmp(data + 8, "RMID", 4) != 0)
        return false;
    size_t pos = 12;
    while (pos + 8 <= size) {
        const std::uint32_t length = le32(data + pos + 4);
        if (std::memcmp(data + pos, "data", 4) == 0) {
            data += pos + 8;
            size = std::min<size_t>(length, size - pos - 8);
            return true;
        }
        if (length > size - pos - 8)
            return false;
        pos += 8 + length + (length & 1);
    }
    return false;
}

} // namespace

bool readSong(const std::uint8_t* data, size_t size, Song& song, std::string& error)
{
    song = Song{};
    if (!unwrapRiff(data, size)) {
        error = "the RIFF file holds no MIDI data";
        return false;
    }
    if (size < 14 || std::memcmp(data, "MThd", 4) != 0) {
        error = "it is not a standard MIDI file (no MThd header)";
        return false;
    }
    const std::uint32_t headerLength = be32(data + 4);
    if (headerLength < 6 || headerLength > size - 8) {
        error = "the MIDI file's header is damaged";
        return false;
    }
    song.format = data[8] << 8 | data[9];
    const int declaredTracks = data[10] << 8 | data[11];
    song.division = data[12] << 8 | data[13];
    if (song.format > 2) {
        error = "the MIDI file is of an unknown format " + std::to_string(song.format);
        return false;
    }
    double ticksPerSecond = 0; // SMPTE time: fixed
    if (song.division & 0x8000) {
        const int fps = -static_cast<std::int8_t>(song.division >> 8);
        const int perFrame = song.division & 0xFF;
        ticksPerSecond = (fps == 29 ? 29.97 : fps) * perFrame;
        if (ticksPerSecond <= 0) {
            error = "the MIDI file's time division is damaged";
            return false;
        }
    } else if (song.division == 0) {
        error = "the MIDI file's time division is 0";
        return false;
    }

    std::vector<RawEvent> raw;
    std::uint64_t lastTick = 0;
    size_t pos = 8 + headerLength;
    int track = 0;
    while (pos + 8 <= size && track < 65535) {
        const std::uint32_t length = be32(data + pos + 4);
        const bool isTrack = std::memcmp(data + pos, "MTrk", 4) == 0;
        const size_t start = pos + 8;
        size_t available = size - start;
        if (length > available) {
            song.warnings.push_back("chunk " + std::to_string(track + 1) + " claims " +
                                    std::to_string(length) + " bytes but the file holds " +
                                    std::to_string(available) + "; it is read as far as it goes");
        } else {
            available = length;
        }
        if (isTrack) {
            TrackReader reader(data + start, available, track, song, raw);
            lastTick = std::max(lastTick, reader.read());
            ++track;
        }
        if (length > size - start)
            break;
        pos = start + length;
    }
    song.trackCount = track;
    if (track == 0) {
        error = "the MIDI file holds no track";
        return false;
    }
    if (declaredTracks != track)
        song.warnings.push_back("the header announces " + std::to_string(declaredTracks) +
                                " tracks, the file holds " + std::to_string(track));

    std::stable_sort(raw.begin(), raw.end(), [](const RawEvent& a, const RawEvent& b) {
        if (a.tick != b.tick)
            return a.tick < b.tick;
        return a.track < b.track;
    });

    // The tempo map applies to every track (format 1 keeps it in the first).
    int tempo = kDefaultTempo;
    song.initialTempo = kDefaultTempo;
    std::uint64_t tick = 0;
    double ms = 0;
    const auto advance = [&](std::uint64_t to) {
        const double ticks = static_cast<double>(to - tick);
        ms += ticksPerSecond > 0 ? ticks * 1000.0 / ticksPerSecond
                                 : ticks * tempo / 1000.0 / song.division;
        tick = to;
    };
    bool cut = false;
    for (RawEvent& e : raw) {
        advance(e.tick);
        if (ms > kMaxSongMs) {
            cut = true;
            break;
        }
        if (e.status == 0xFF) {
            if (e.data1 == 0x51) {
                tempo = e.tempo;
                if (e.tick == 0)
                    song.initialTempo = tempo;
            } else {
                song.texts.push_back(TextEvent{ms, e.track, e.data1, std::move(e.text)});
            }
            continue;
        }
        song.events.push_back(ChannelEvent{ms, e.status, e.data1, e.data2});
    }
    if (!cut) {
        advance(std::max(lastTick, tick));
        cut = ms > kMaxSongMs;
    }
    if (cut) {
        song.warnings.push_back("the song is longer than four hours; the rest was left out");
        ms = kMaxSongMs;
    }
    song.lengthMs = ms;
    return true;
}

bool readSongFile(const std::string& path, Song& song, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "the file cannot be opened";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxFileBytes) {
        error = "the file is too large to be a MIDI file";
        return false;
    }
    in.seekg(0);
    std::vector<std::uint8_t> bytes(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        error = "the file cannot be read";
        return false;
    }
    return readSong(bytes.data(), bytes.size(), song, error);
}

} // namespace midi
