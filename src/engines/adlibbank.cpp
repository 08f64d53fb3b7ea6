#include "engines/adlibbank.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace engines {
namespace {

constexpr size_t kImsHeader = 70;
constexpr size_t kNameSize = 9;
constexpr size_t kBankHeader = 28;
constexpr size_t kBankNameEntry = 12;
constexpr size_t kTimbreSize = 30;

std::uint32_t le16(std::string_view b, size_t at)
{
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8;
}

std::uint32_t le32(std::string_view b, size_t at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

void putLe16(std::string& out, std::uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void putLe32(std::string& out, std::uint32_t v)
{
    putLe16(out, v & 0xFFFF);
    putLe16(out, v >> 16);
}

std::string fixedName(std::string_view field)
{
    const size_t end = field.find('\0');
    return std::string(field.substr(0, end));
}

bool fail(std::string* why, const char* reason)
{
    if (why)
        *why = reason;
    return false;
}

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The voices an AdLib song can address: nine melodic, or six and five percussion ones.
constexpr unsigned kMaxVoices = 11;

// Walks the events as the player will: a timing byte (0xF8 adds 240 ticks and another timing
// byte follows), then an event with its data bytes, running status for the channel events. The
// walk must reach the song's end (0xFC) inside the block, and every event must be one the player
// knows, for a voice it has, naming an instrument of the song's table: the player itself does
// not look before it reads.
bool eventsEndInside(std::string_view events, size_t instruments)
{
    size_t pos = 0;
    unsigned running = 0;
    const auto byte = [&](size_t at) { return static_cast<std::uint8_t>(events[at]); };
    while (true) {
        while (pos < events.size() && byte(pos) == 0xF8)
            ++pos;
        if (pos >= events.size() || byte(pos) > 0xF8)
            return false;
        ++pos; // the delay
        if (pos >= events.size())
            return false;
        unsigned status = byte(pos);
        if (status & 0x80) {
            ++pos;
        } else if (running) {
            status = running;
        } else {
            return false;
        }
        if (status == 0xFC)
            return true;
        if (status == 0xF0) {
            const size_t end = events.find('\xF7', pos);
            if (end == std::string_view::npos)
                return false;
            pos = end + 1;
            running = 0;
            continue;
        }
        if (status > 0xF0 || (status & 0x0F) >= kMaxVoices)
            return false;
        running = status;
        const unsigned kind = status & 0xF0;
        const size_t data = kind == 0x80 || kind == 0x90 || kind == 0xB0 || kind == 0xE0 ? 2 : 1;
        if (events.size() - pos < data)
            return false;
        for (size_t i = 0; i < data; ++i) {
            if (byte(pos + i) & 0x80)
                return false;
        }
        if (kind == 0xC0 && byte(pos) >= instruments)
            return false;
        pos += data;
    }
}

} // namespace

std::optional<ImsSong> readImsSong(std::string_view b, std::string* why)
{
    if (b.size() < kImsHeader) {
        fail(why, "the file is damaged: shorter than an IMS header");
        return std::nullopt;
    }
    if (b[0] != 1 || b[1] != 0) {
        fail(why, "not a file this player plays: not an AdLib MIDI version 1.0 header");
        return std::nullopt;
    }
    ImsSong song;
    song.title = fixedName(b.substr(6, 30));
    song.tickBeat = static_cast<std::uint8_t>(b[36]);
    const std::uint32_t totalTick = le32(b, 38);
    song.dataSize = le32(b, 42);
    const std::uint32_t commands = le32(b, 46);
    song.soundMode = static_cast<std::uint8_t>(b[58]);
    const int bendRange = static_cast<std::uint8_t>(b[59]);
    song.basicTempo = static_cast<int>(le16(b, 60));
    if (song.tickBeat == 0 || song.basicTempo == 0 || totalTick == 0 || commands == 0 ||
        song.soundMode > 1 || bendRange < 1 || bendRange > 12) {
        fail(why, "the file is damaged: its header holds values no song has");
        return std::nullopt;
    }
    if (song.dataSize == 0 || song.dataSize > b.size() - kImsHeader) {
        fail(why, "the file is damaged: its events run past its end");
        return std::nullopt;
    }
    const size_t table = kImsHeader + song.dataSize;
    if (b.size() - table < 4 || b[table] != 0x77 || b[table + 1] != 0x77) {
        fail(why, "not a file this player plays: no IMS instrument table after the events");
        return std::nullopt;
    }
    const size_t count = le16(b, table + 2);
    if (count == 0 || (b.size() - table - 4) / kNameSize < count) {
        fail(why, "the file is damaged: its instrument table is cut short or empty");
        return std::nullopt;
    }
    for (size_t i = 0; i < count; ++i)
        song.instruments.push_back(fixedName(b.substr(table + 4 + i * kNameSize, kNameSize - 1)));
    if (!eventsEndInside(b.substr(kImsHeader, song.dataSize), count)) {
        fail(why, "the file is damaged: its events do not come to their end inside it");
        return std::nullopt;
    }
    return song;
}

std::optional<std::vector<AdlibTimbre>> readAdlibBank(std::string_view b, std::string* why)
{
    if (b.size() < kBankHeader || b.substr(2, 6) != "ADLIB-") {
        fail(why, "not an AdLib instrument bank");
        return std::nullopt;
    }
    const size_t count = le16(b, 10);
    const size_t names = le32(b, 12);
    const size_t data = le32(b, 16);
    if (names > b.size() || (b.size() - names) / kBankNameEntry < count) {
        fail(why, "the bank is damaged: its name list runs past its end");
        return std::nullopt;
    }
    std::vector<AdlibTimbre> timbres;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = names + i * kBankNameEntry;
        if (b[at + 2] == 0)
            continue; // an unused entry
        const size_t index = le16(b, at);
        if (data > b.size() || (b.size() - data) / kTimbreSize <= index) {
            fail(why, "the bank is damaged: a timbre lies past its end");
            return std::nullopt;
        }
        AdlibTimbre t;
        t.name = fixedName(b.substr(at + 3, kNameSize - 1));
        std::memcpy(t.record.data(), b.data() + data + index * kTimbreSize, kTimbreSize);
        timbres.push_back(std::move(t));
    }
    if (timbres.empty()) {
        fail(why, "the bank holds no timbre");
        return std::nullopt;
    }
    return timbres;
}

std::string writeAdlibBank(const std::vector<AdlibTimbre>& timbres)
{
    std::string out;
    const auto count = static_cast<std::uint32_t>(timbres.size());
    out.push_back(1);
    out.push_back(0);
    out += "ADLIB-";
    putLe16(out, count);
    putLe16(out, count);
    putLe32(out, kBankHeader);
    putLe32(out, static_cast<std::uint32_t>(kBankHeader + kBankNameEntry * count));
    out.append(8, '\0');
    for (std::uint32_t i = 0; i < count; ++i) {
        putLe16(out, i);
        out.push_back(1);
        std::string name = timbres[i].name.substr(0, kNameSize - 1);
        name.resize(kNameSize, '\0');
        out += name;
    }
    for (const AdlibTimbre& t : timbres)
        out.append(reinterpret_cast<const char*>(t.record.data()), t.record.size());
    return out;
}

std::vector<AdlibTimbre> completeBankFor(const ImsSong& song, std::vector<AdlibTimbre> bank)
{
    if (bank.empty())
        return bank;
    const size_t own = bank.size();
    for (const std::string& wanted : song.instruments) {
        const std::string w = upper(wanted);
        size_t best = 0, bestShared = 0;
        bool present = false;
        for (size_t i = 0; i < own && !present; ++i) {
            if (bank[i].name == wanted) {
                present = true;
                break;
            }
            const std::string have = upper(bank[i].name);
            size_t shared = 0;
            while (shared < have.size() && shared < w.size() && have[shared] == w[shared])
                ++shared;
            if (shared > bestShared)
                best = i, bestShared = shared;
        }
        if (present)
            continue;
        const bool added = std::any_of(bank.begin() + static_cast<std::ptrdiff_t>(own), bank.end(),
                                       [&](const AdlibTimbre& t) { return t.name == wanted; });
        if (added)
            continue;
        AdlibTimbre copy = bank[best];
        copy.name = wanted;
        bank.push_back(std::move(copy));
    }
    return bank;
}

} // namespace engines
