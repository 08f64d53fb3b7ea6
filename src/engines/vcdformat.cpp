#include "engines/vcdformat.h"

#include <cstdio>

namespace engines::vcd {
namespace {

std::uint8_t byteAt(const std::string& b, size_t at)
{
    return static_cast<std::uint8_t>(b[at]);
}

std::uint16_t be16(const std::string& b, size_t at)
{
    return static_cast<std::uint16_t>(byteAt(b, at) << 8 | byteAt(b, at + 1));
}

std::uint32_t be32(const std::string& b, size_t at)
{
    return static_cast<std::uint32_t>(byteAt(b, at)) << 24 |
           static_cast<std::uint32_t>(be16(b, at + 1)) << 8 | byteAt(b, at + 3);
}

bool refuse(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
    return false;
}

// Fixed-width text of a description file: trailing blanks and NULs are padding.
std::string fieldText(const std::string& b, size_t at, size_t size)
{
    std::string s = b.substr(at, size);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string areaText(const Area& a)
{
    if (!a.present())
        return "none";
    char text[48];
    std::snprintf(text, sizeof text, "%d,%d-%d,%d", a.x1, a.y1, a.x2, a.y2);
    return text;
}

std::string waitText(std::uint8_t value)
{
    const int s = waitSeconds(value);
    if (s < 0)
        return "for ever";
    return std::to_string(s) + " s";
}

} // namespace

bool parseInfo(const std::string& bytes, Info& info, std::string* why)
{
    info = Info();
    if (bytes.size() < static_cast<size_t>(kInfoBytes))
        return refuse(why, "INFO.VCD holds " + std::to_string(bytes.size()) +
                               " bytes, fewer than " + std::to_string(kInfoBytes));
    info.systemId = bytes.substr(0, 8);
    info.version = byteAt(bytes, 8);
    info.profile = byteAt(bytes, 9);
    info.albumId = fieldText(bytes, 10, 16);
    info.volumeCount = be16(bytes, 26);
    info.volumeNumber = be16(bytes, 28);
    for (size_t i = 0; i < info.palFlags.size(); ++i)
        info.palFlags[i] = byteAt(bytes, 30 + i);
    info.flags = byteAt(bytes, 43);
    info.psdSize = be32(bytes, 44);
    for (size_t i = 0; i < info.firstSegment.size(); ++i)
        info.firstSegment[i] = byteAt(bytes, 48 + i);
    info.offsetMultiplier = byteAt(bytes, 51);
    info.listIdCount = be16(bytes, 52);
    info.segmentCount = be16(bytes, 54);
    if (info.systemId != "VIDEO_CD")
        return refuse(why, "INFO.VCD is not a Video CD description (its id is not VIDEO_CD)");
    if (info.version != 2 || info.profile != 0)
        return refuse(why, "INFO.VCD describes version " + std::to_string(info.version) +
                               ", profile " + std::to_string(info.profile) +
                               "; Video CD 2.0 (version 2, profile 0) is read");
    return true;
}

bool parseEntries(const std::string& bytes, Entries& entries, std::string* why)
{
    entries = Entries();
    if (bytes.size() < static_cast<size_t>(kEntriesHeaderBytes))
        return refuse(why, "ENTRIES.VCD holds " + std::to_string(bytes.size()) +
                               " bytes, fewer than its header");
    entries.id = bytes.substr(0, 8);
    entries.version = byteAt(bytes, 8);
    entries.count = be16(bytes, 10);
    const size_t held = (bytes.size() - kEntriesHeaderBytes) / 4;
    const size_t wanted = static_cast<size_t>(entries.count);
    for (size_t i = 0; i < wanted && i < held; ++i) {
        const size_t at = kEntriesHeaderBytes + i * 4;
        EntryRecord e;
        e.track = fromBcd(byteAt(bytes, at));
        e.minute = fromBcd(byteAt(bytes, at + 1));
        e.second = fromBcd(byteAt(bytes, at + 2));
        e.frame = fromBcd(byteAt(bytes, at + 3));
        entries.entries.push_back(e);
    }
    if (entries.entries.size() != wanted)
        return refuse(why, "ENTRIES.VCD announces " + std::to_string(entries.count) +
                               " entries and holds " + std::to_string(entries.entries.size()));
    return true;
}

bool parseDescriptor(const std::string& psd, std::uint32_t byteOffset, Descriptor& d,
                     std::string* why)
{
    d = Descriptor();
    d.byteOffset = byteOffset;
    const size_t size = psd.size();
    if (byteOffset >= size)
        return refuse(why, "the play-sequence descriptor at byte " + std::to_string(byteOffset) +
                               " lies beyond the end of the file (" + std::to_string(size) +
                               " bytes)");
    const auto shortFile = [&](size_t need) {
        return refuse(why, "the play-sequence descriptor at byte " + std::to_string(byteOffset) +
                               " needs " + std::to_string(need) + " bytes; the file ends after " +
                               std::to_string(size - byteOffset));
    };
    const size_t at = byteOffset;
    const std::uint8_t type = byteAt(psd, at);
    switch (type) {
    case 0x10: {
        d.type = DescriptorType::PlayList;
        if (size - at < 14)
            return shortFile(14);
        const int count = byteAt(psd, at + 1);
        const size_t need = 14 + 2 * static_cast<size_t>(count);
        if (size - at < need)
            return shortFile(need);
        d.listId = be16(psd, at + 2);
        d.previous = be16(psd, at + 4);
        d.next = be16(psd, at + 6);
        d.returnOffset = be16(psd, at + 8);
        d.playTime = be16(psd, at + 10);
        d.wait = byteAt(psd, at + 12);
        d.autoPauseWait = byteAt(psd, at + 13);
        for (int i = 0; i < count; ++i)
            d.items.push_back(be16(psd, at + 14 + 2 * static_cast<size_t>(i)));
        return true;
    }
    case 0x18:
    case 0x1A: {
        d.type = type == 0x18 ? DescriptorType::Selection : DescriptorType::ExtendedSelection;
        if (size - at < 20)
            return shortFile(20);
        d.flags = byteAt(psd, at + 1);
        const int count = byteAt(psd, at + 2);
        const size_t areas = type == 0x1A ? 4 * (4 + static_cast<size_t>(count)) : 0;
        const size_t need = 20 + 2 * static_cast<size_t>(count) + areas;
        if (size - at < need)
            return shortFile(need);
        d.baseSelection = byteAt(psd, at + 3);
        d.listId = be16(psd, at + 4);
        d.previous = be16(psd, at + 6);
        d.next = be16(psd, at + 8);
        d.returnOffset = be16(psd, at + 10);
        d.defaultOffset = be16(psd, at + 12);
        d.timeoutOffset = be16(psd, at + 14);
        d.timeoutTime = byteAt(psd, at + 16);
        d.loop = byteAt(psd, at + 17);
        d.playItem = be16(psd, at + 18);
        for (int i = 0; i < count; ++i)
            d.selections.push_back(be16(psd, at + 20 + 2 * static_cast<size_t>(i)));
        if (type == 0x1A) {
            size_t a = at + 20 + 2 * static_cast<size_t>(count);
            const auto area = [&] {
                Area r{byteAt(psd, a), byteAt(psd, a + 1), byteAt(psd, a + 2), byteAt(psd, a + 3)};
                a += 4;
                return r;
            };
            d.previousArea = area();
            d.nextArea = area();
            d.returnArea = area();
            d.defaultArea = area();
            for (int i = 0; i < count; ++i)
                d.areas.push_back(area());
        }
        return true;
    }
    case 0x1F:
        d.type = DescriptorType::EndList;
        return true;
    default:
        return refuse(why, "the play-sequence descriptor at byte " + std::to_string(byteOffset) +
                               " has the unknown type " + hex(type, 2));
    }
}

int waitSeconds(std::uint8_t value)
{
    if (value == 255)
        return -1;
    if (value <= 60)
        return value;
    return (value - 60) * 10 + 60;
}

ItemClass itemClass(int item)
{
    if (item >= 2 && item <= 99)
        return ItemClass::Track;
    if (item >= 100 && item <= 599)
        return ItemClass::Entry;
    if (item >= 1000 && item <= 2979)
        return ItemClass::Segment;
    return ItemClass::None;
}

std::string offsetText(std::uint16_t offset)
{
    if (offset == kNoOffset)
        return "none";
    if (offset == kMultiDefault || offset == kMultiDefaultNumeric)
        return "multi-default";
    return hex(offset, 4);
}

std::string itemText(int item)
{
    const std::string n = std::to_string(item);
    switch (itemClass(item)) {
    case ItemClass::Track:
        return n + " (track " + n + ")";
    case ItemClass::Entry:
        return n + " (entry " + std::to_string(item - 99) + ")";
    case ItemClass::Segment:
        return n + " (segment " + std::to_string(item - 999) + ")";
    case ItemClass::None:
        break;
    }
    return n + " (none)";
}

std::string describe(const Descriptor& d)
{
    const std::string where;
    const std::string lid =
        "list " + std::to_string(d.listId & 0x7FFF) + ((d.listId & 0x8000) ? " (rejected)" : "");
    const std::string links = "previous " + offsetText(d.previous) + ", next " +
                              offsetText(d.next) + ", return " + offsetText(d.returnOffset);
    switch (d.type) {
    case DescriptorType::PlayList: {
        std::string s = where + "play list, " + lid + ", " + links + ", play time " +
                        std::to_string(d.playTime) + "/15 s, wait " + waitText(d.wait) +
                        ", auto-pause wait " + waitText(d.autoPauseWait) + ", items";
        if (d.items.empty())
            s += " none";
        for (std::uint16_t item : d.items)
            s.append(" ").append(itemText(item));
        return s;
    }
    case DescriptorType::Selection:
    case DescriptorType::ExtendedSelection: {
        std::string s = where +
                        (d.type == DescriptorType::Selection ? "selection list, "
                                                             : "extended selection list, ") +
                        lid + ", flags " + hex(d.flags, 2) + ", base " +
                        std::to_string(d.baseSelection) + ", " + links + ", default " +
                        offsetText(d.defaultOffset) + ", time-out " + offsetText(d.timeoutOffset) +
                        " after " + waitText(d.timeoutTime) + ", loop " +
                        std::to_string(d.loopCount()) + ((d.loop & 0x80) ? " delayed" : "") +
                        ", item " + itemText(d.playItem) + ", selections";
        if (d.selections.empty())
            s += " none";
        for (std::uint16_t o : d.selections)
            s.append(" ").append(offsetText(o));
        if (d.type == DescriptorType::ExtendedSelection) {
            s += ", areas previous " + areaText(d.previousArea) + " next " + areaText(d.nextArea) +
                 " return " + areaText(d.returnArea) + " default " + areaText(d.defaultArea);
            for (size_t i = 0; i < d.areas.size(); ++i)
                s.append(" ")
                    .append(std::to_string(d.baseSelection + i))
                    .append(" ")
                    .append(areaText(d.areas[i]));
        }
        return s;
    }
    case DescriptorType::EndList:
        return where + "end list";
    }
    return where + "unknown";
}

} // namespace engines::vcd
