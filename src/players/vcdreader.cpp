#include "players/vcdreader.h"

#include "albums/album.h"
#include "engines/vcdsource.h"
#include "platform/vocabulary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

using namespace engines;

namespace {

class SteadyClock : public VcdClock
{
public:
    std::int64_t nowMs() override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

std::string hex4(unsigned v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", v);
    return text;
}

} // namespace

VcdReader::VcdReader(VcdPlayback& playback, VcdClock* clock, std::function<int(int)> random)
    : m_playback(playback)
    , m_clock(clock)
    , m_random(std::move(random))
{
    if (!m_clock) {
        m_ownClock = std::make_unique<SteadyClock>();
        m_clock = m_ownClock.get();
    }
    if (!m_random) {
        m_random = [engine = std::make_shared<std::mt19937>(std::random_device{}())](int n) {
            return std::uniform_int_distribution<int>(0, n - 1)(*engine);
        };
    }
}

// The viewer may be gone already: a reader being destroyed leaves it alone (close() first to
// close the unit).
VcdReader::~VcdReader() = default;

bool VcdReader::open(const std::string& drive, Album& album, bool useVcd2Mode)
{
    close();
    m_failure.clear();
    if (!useVcd2Mode) {
        m_failure = "Video CD 2.0 reading is switched off";
        return false;
    }
    if (!m_disc.open(drive)) {
        m_failure = m_disc.failureText();
        return false;
    }
    std::string why;
    if (!readVcdDescription(m_disc, m_description, &why)) {
        m_failure = why;
        m_disc.close();
        return false;
    }
    m_album = &album;
    m_open = true;
    if (m_description.info.psdSize == 0) {
        if (m_description.entryTable.empty()) {
            m_failure = "the disc has no entry points to play";
            close();
            return false;
        }
        m_mode = ModeTracks;
        fillTrackAlbum();
        return true;
    }
    if (readDescriptor(0) != Read::Changed) {
        close();
        return false;
    }
    return true;
}

void VcdReader::close()
{
    closeUnit();
    m_disc.close();
    m_description = VcdDescription();
    m_album = nullptr;
    m_open = false;
    m_mode = ModeNone;
    m_state = kModeStopped;
    m_info.clear();
    m_descriptor = vcd::Descriptor();
    m_offset = vcd::kNoOffset;
    m_ended = false;
    m_loopCounter = 1;
    m_enteredWithoutPlay.clear();
    m_unit = VcdUnit();
    m_positionMs = 0;
}

bool VcdReader::isOpen() const
{
    return m_open;
}

void VcdReader::clearAlbum()
{
    if (m_album) {
        m_album->RemoveSongs(1, m_album->songCount());
        m_album->setCurrentSong(0);
    }
}

void VcdReader::fillTrackAlbum()
{
    clearAlbum();
    for (size_t i = 0; i < m_description.entryTable.size(); ++i) {
        VcdUnit unit;
        entryUnit(static_cast<int>(i), unit);
        m_album->AddSong(std::to_string(i + 1), {}, static_cast<int32_t>(unit.lengthMs));
    }
    m_album->setCurrentSong(1);
}

VcdReader::Read VcdReader::readDescriptor(std::uint16_t offset)
{
    if (offset == vcd::kNoOffset)
        return Read::NoLink;
    clearAlbum();
    const std::string& psd = m_description.psd;
    if (psd.empty()) {
        m_failure = "the play-sequence file " + m_description.psdPath + " is missing or empty";
        return Read::Failed;
    }
    vcd::Descriptor d;
    std::string why;
    if (!vcd::parseDescriptor(psd, m_description.psdByteOffset(offset), d, &why)) {
        m_failure = m_description.psdPath + ": " + why;
        return Read::Failed;
    }
    m_descriptor = d;
    m_offset = offset;
    m_loopCounter = 1;
    m_ended = false;
    switch (d.type) {
    case vcd::DescriptorType::PlayList:
        m_mode = ModePlayList;
        for (size_t i = 0; i < d.items.size(); ++i)
            m_album->AddSong(std::to_string(i + 1));
        m_album->setCurrentSong(d.items.empty() ? 0 : 1);
        break;
    case vcd::DescriptorType::Selection:
    case vcd::DescriptorType::ExtendedSelection:
        m_mode = ModeSelection;
        if (d.selections.empty()) {
            m_album->AddSong("1");
        } else {
            for (int i = 1; i < d.baseSelection; ++i)
                m_album->AddSong("");
            for (int i = 0; i < d.selectionCount(); ++i)
                m_album->AddSong(std::to_string(d.baseSelection + i));
        }
        break;
    case vcd::DescriptorType::EndList:
        m_ended = true;
        closeUnit();
        break;
    }
    return Read::Changed;
}

void VcdReader::stopSequence(const std::string& why)
{
    m_failure = why;
    closeUnit();
}

void VcdReader::closeUnit()
{
    if (m_unitOpen) {
        m_playback.closeUnit();
        m_playback.setHotAreas({});
    }
    m_unitOpen = false;
    m_state = kModeStopped;
    m_endNoted = false;
    m_positionMs = 0;
}

int VcdReader::follow(std::uint16_t offset)
{
    if (offset == vcd::kNoOffset)
        return 0;
    if (!m_enteredWithoutPlay.insert(offset).second) {
        stopSequence("the play sequence leads back to the descriptor at " + hex4(offset) +
                     " without anything played on the way");
        return 0;
    }
    if (readDescriptor(offset) == Read::Failed) {
        // What cannot be read sends the play sequence back to its start.
        const std::string why = m_failure;
        if (offset == 0 || !m_enteredWithoutPlay.insert(0).second ||
            readDescriptor(0) != Read::Changed) {
            stopSequence(why);
            return 0;
        }
    }
    if (m_ended)
        return 1;
    return playCurrent();
}

bool VcdReader::entryUnit(int index, VcdUnit& unit) const
{
    const auto& table = m_description.entryTable;
    if (index < 0 || index >= static_cast<int>(table.size()))
        return false;
    const VcdEntry& e = table[static_cast<size_t>(index)];
    unit.file = e.file;
    unit.startMs = e.offsetMs;
    const std::int64_t trackLength = m_description.trackLengthMs(e.record.track);
    if (index + 1 < static_cast<int>(table.size()) &&
        table[static_cast<size_t>(index) + 1].record.track == e.record.track)
        unit.lengthMs = table[static_cast<size_t>(index) + 1].offsetMs - e.offsetMs;
    else
        unit.lengthMs = trackLength - e.offsetMs;
    unit.lengthMs = std::max<std::int64_t>(0, unit.lengthMs);
    unit.sequence = true;
    return true;
}

bool VcdReader::unitFor(int item, VcdUnit& unit) const
{
    unit = VcdUnit();
    unit.item = item;
    switch (vcd::itemClass(item)) {
    case vcd::ItemClass::Track:
        unit.file = m_description.trackFile(item);
        if (unit.file.empty())
            return false;
        unit.lengthMs = m_description.trackLengthMs(item);
        unit.sequence = true;
        break;
    case vcd::ItemClass::Entry:
        if (!entryUnit(item - 100, unit))
            return false;
        break;
    case vcd::ItemClass::Segment: {
        char name[32];
        std::snprintf(name, sizeof name, "SEGMENT/ITEM%04d.DAT", item - 999);
        unit.file = name;
        break;
    }
    case vcd::ItemClass::None:
        return false;
    }
    unit.drive = m_disc.drive();
    unit.uri = vcdSourceUri(unit.drive, unit.file);
    return true;
}

std::vector<VcdHotArea> VcdReader::hotAreas() const
{
    std::vector<VcdHotArea> out;
    if (m_mode != ModeSelection || m_descriptor.type != vcd::DescriptorType::ExtendedSelection)
        return out;
    const auto add = [&](const vcd::Area& a, int command) {
        if (a.present())
            out.push_back({a.x1, a.y1, a.x2, a.y2, command});
    };
    add(m_descriptor.previousArea, kPreviousList);
    add(m_descriptor.nextArea, kNextList);
    add(m_descriptor.defaultArea, kSelectDefault);
    add(m_descriptor.returnArea, kReturn);
    for (size_t i = 0; i < m_descriptor.areas.size(); ++i)
        add(m_descriptor.areas[i], m_descriptor.baseSelection + static_cast<int>(i));
    return out;
}

int VcdReader::playCurrent()
{
    if (!m_open)
        return 0;
    int item = 0;
    VcdUnit unit;
    bool found = false;
    const int song = m_album ? m_album->currentSong() : 0;
    switch (m_mode) {
    case ModeTracks:
        found = entryUnit(song - 1, unit);
        if (found) {
            unit.item = 100 + song - 1;
            unit.drive = m_disc.drive();
            unit.uri = vcdSourceUri(unit.drive, unit.file);
        }
        break;
    case ModePlayList:
        if (m_ended || song < 1 || song > static_cast<int>(m_descriptor.items.size()))
            return 0;
        item = m_descriptor.items[static_cast<size_t>(song - 1)];
        found = unitFor(item, unit);
        if (found && m_descriptor.playTime > 0)
            unit.lengthMs = m_descriptor.playTimeMs();
        break;
    case ModeSelection:
        item = m_descriptor.playItem;
        found = unitFor(item, unit);
        break;
    default:
        return 0;
    }
    closeUnit();
    m_unit = unit;
    if (!found) {
        m_failure = "play item " + vcd::itemText(item) + " is not on the disc";
        return 0;
    }
    std::string info;
    if (!m_playback.playUnit(unit, &info)) {
        m_failure = "the disc's " + unit.file + " cannot be played";
        m_playback.closeUnit();
        return 0;
    }
    m_unitOpen = true;
    m_state = kModePlaying;
    m_info = info;
    m_enteredWithoutPlay.clear();
    m_playback.setHotAreas(hotAreas());
    return 1;
}

int VcdReader::randomBelow(int n)
{
    const int r = m_random(n);
    return std::clamp(r, 0, n - 1);
}

int VcdReader::command(int n)
{
    if (!m_open)
        return 0;
    const vcd::Descriptor& d = m_descriptor;
    if (n == 0)
        return playCurrent();
    if (m_mode == ModeTracks) {
        // Without a play sequence the entry points are the songs.
        const int songs = m_album->songCount();
        int to = 0;
        if (n > 0)
            to = n;
        else if (n == kNextItem || n == kNextList)
            to = m_album->currentSong() + 1;
        else if (n == kPreviousItem || n == kPreviousList)
            to = m_album->currentSong() - 1;
        else if (n == kSelectDefault && m_playback.unitMode() == kModePaused) {
            m_playback.resumeUnit();
            m_state = kModePlaying;
            return 1;
        }
        if (to < 1 || to > songs)
            return 0;
        m_album->setCurrentSong(to);
        return playCurrent();
    }
    if (n > 0) {
        if (m_mode != ModeSelection)
            return 0;
        const int index = n - d.baseSelection;
        if (index < 0 || index >= d.selectionCount())
            return 0;
        m_enteredWithoutPlay.clear(); // the user chose it
        return follow(d.selections[static_cast<size_t>(index)]);
    }
    switch (n) {
    case kSelectDefault:
        if (m_unitOpen && m_playback.unitMode() == kModePaused) {
            m_playback.resumeUnit();
            m_state = kModePlaying;
            return 1;
        }
        if (m_mode != ModeSelection || d.defaultOffset == vcd::kMultiDefault ||
            d.defaultOffset == vcd::kMultiDefaultNumeric)
            return 0;
        m_enteredWithoutPlay.clear();
        return follow(d.defaultOffset);
    case kReturn:
        m_enteredWithoutPlay.clear();
        return follow(d.returnOffset);
    case kNextList:
        m_enteredWithoutPlay.clear();
        return follow(d.next);
    case kPreviousList:
        m_enteredWithoutPlay.clear();
        return follow(d.previous);
    case kNextItem:
        if (m_mode == ModePlayList) {
            const int song = m_album->currentSong();
            if (song >= 1 && song < m_album->songCount()) {
                m_album->setCurrentSong(song + 1);
                return playCurrent();
            }
            return follow(d.next);
        }
        if (m_mode == ModeSelection) {
            ++m_loopCounter;
            if (d.loopCount() != 0 && d.loopCount() < m_loopCounter) {
                if (d.timeoutOffset != vcd::kNoOffset)
                    return follow(d.timeoutOffset);
                if (d.selections.empty())
                    return 0;
                return follow(d.selections[static_cast<size_t>(randomBelow(d.selectionCount()))]);
            }
            return playCurrent();
        }
        return 0;
    case kPreviousItem:
        if (m_mode == ModePlayList) {
            const int song = m_album->currentSong();
            if (song > 1) {
                m_album->setCurrentSong(song - 1);
                return playCurrent();
            }
            return follow(d.previous);
        }
        return 0;
    default:
        return 0;
    }
}

bool VcdReader::pause()
{
    if (!sequenceUnit() || m_playback.unitMode() != kModePlaying)
        return false;
    m_playback.pauseUnit();
    m_state = kModePaused;
    return true;
}

bool VcdReader::resume()
{
    if (!sequenceUnit() || m_playback.unitMode() != kModePaused)
        return false;
    m_playback.resumeUnit();
    m_state = kModePlaying;
    return true;
}

int VcdReader::waitAfterEnd() const
{
    if (m_mode == ModePlayList)
        return vcd::waitSeconds(m_descriptor.wait);
    if (m_mode == ModeSelection) {
        const int loops = m_descriptor.loopCount();
        if (loops != 0 && loops <= m_loopCounter)
            return vcd::waitSeconds(m_descriptor.timeoutTime);
    }
    return 0;
}

void VcdReader::poll()
{
    if (!m_open || !m_unitOpen)
        return;
    const int mode = m_playback.unitMode();
    m_positionMs = std::max<std::int64_t>(0, m_playback.unitPositionMs() - m_unit.startMs);

    if (m_mode == ModeTracks) {
        // An entry that ends where the next one of the same track begins hands over to it
        // without the file being opened again.
        const int song = m_album->currentSong();
        const auto& table = m_description.entryTable;
        VcdUnit next;
        if (m_unit.lengthMs > 0 && m_positionMs >= m_unit.lengthMs && song >= 1 &&
            song < static_cast<int>(table.size()) &&
            table[static_cast<size_t>(song)].file == m_unit.file && entryUnit(song, next)) {
            m_album->setCurrentSong(song + 1);
            m_unit.item = 100 + song;
            m_unit.startMs = next.startMs;
            m_unit.lengthMs = next.lengthMs;
            m_positionMs = std::max<std::int64_t>(0, m_playback.unitPositionMs() - m_unit.startMs);
        }
        m_state = mode;
        return;
    }

    int now = mode;
    if (m_mode == ModePlayList && m_descriptor.playTime > 0 &&
        m_positionMs > m_descriptor.playTimeMs() && mode != kModeStopped) {
        m_playback.stopUnit();
        now = kModeStopped;
    }
    if (now != kModeStopped) {
        m_endNoted = false;
        m_state = now;
        return;
    }
    if (!m_endNoted) {
        m_endNoted = true;
        m_endTick = m_clock->nowMs();
    }
    const int wait = waitAfterEnd();
    if (wait == 0 || (wait > 0 && m_clock->nowMs() - m_endTick >= wait * 1000LL))
        m_state = kModeStopped;
    // Otherwise the state stays as it was: the last picture is held.
}
