// kolvo-cli vcd info: what a Video CD says about itself, one line per item: INFO.VCD, the
// tracks, the entry points of ENTRIES.VCD and every play-sequence descriptor reachable from the
// first, in the order of their offsets. A descriptor that cannot be read is printed with the
// reason and makes the command fail after the rest has been printed.
#include "cli/commands.h"
#include "engines/vcddisc.h"
#include "engines/vcdformat.h"

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace engines;

namespace {

std::string msf(std::int32_t frames)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / 75 / 60, frames / 75 % 60,
                  frames % 75);
    return text;
}

std::string hex4(unsigned v)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", v);
    return text;
}

const char* kindName(VcdDisc::Kind kind)
{
    switch (kind) {
    case VcdDisc::Kind::Drive:
        return "drive";
    case VcdDisc::Kind::Image:
        return "disc image";
    case VcdDisc::Kind::Folder:
        return "folder";
    case VcdDisc::Kind::None:
        break;
    }
    return "none";
}

void printInfo(const VcdDisc& disc, const VcdDescription& d)
{
    const vcd::Info& i = d.info;
    std::printf("disc: %s (%s)\n", disc.drive().c_str(), kindName(disc.kind()));
    std::printf("info: %s version %d profile %d, album \"%s\", volume %d of %d, flags 0x%02X%s, "
                "psd size %u, offset multiplier %d, list ids %d, segments %d\n",
                i.systemId.c_str(), i.version, i.profile, i.albumId.c_str(), i.volumeNumber,
                i.volumeCount, i.flags, i.extendedPsd() ? " (extended play sequence)" : "",
                i.psdSize, i.offsetMultiplier, i.listIdCount, i.segmentCount);
    for (size_t n = 0; n < d.trackFiles.size(); ++n) {
        const int number = static_cast<int>(n) + 2;
        std::string start;
        for (const VcdTrack& t : disc.tracks()) {
            if (t.number == number)
                start = ", starts " + msf(t.startFrame);
        }
        std::printf("track %d: %s%s, %lld ms\n", number, d.trackFiles[n].c_str(), start.c_str(),
                    static_cast<long long>(d.trackLengthsMs[n]));
    }
    for (size_t n = 0; n < d.entryTable.size(); ++n) {
        const VcdEntry& e = d.entryTable[n];
        std::printf("entry %zu (item %zu): track %d at %02d:%02d:%02d, %lld ms into %s\n", n + 1,
                    n + 100, e.record.track, e.record.minute, e.record.second, e.record.frame,
                    static_cast<long long>(e.offsetMs), e.file.c_str());
    }
}

// The descriptors reachable from offset 0; false when one of them cannot be read.
bool printDescriptors(const VcdDescription& d, std::string* why)
{
    std::printf("play sequence: %s, %zu bytes\n", d.psdPath.c_str(), d.psd.size());
    std::map<std::uint16_t, std::string> lines;
    std::set<std::uint16_t> seen{0};
    std::vector<std::uint16_t> todo{0};
    bool ok = true;
    while (!todo.empty()) {
        const std::uint16_t offset = todo.back();
        todo.pop_back();
        vcd::Descriptor desc;
        std::string problem;
        const std::uint32_t at = d.psdByteOffset(offset);
        std::string line = "list at " + hex4(offset) + " (byte " + std::to_string(at) + "): ";
        if (!vcd::parseDescriptor(d.psd, at, desc, &problem)) {
            lines[offset] = line + "cannot be read: " + problem;
            if (ok && why)
                *why = d.psdPath + ": " + problem;
            ok = false;
            continue;
        }
        lines[offset] = line + vcd::describe(desc);
        std::vector<std::uint16_t> links{desc.previous, desc.next, desc.returnOffset};
        if (desc.isSelection()) {
            links.push_back(desc.defaultOffset);
            links.push_back(desc.timeoutOffset);
            links.insert(links.end(), desc.selections.begin(), desc.selections.end());
        }
        for (std::uint16_t link : links) {
            if (link == vcd::kNoOffset || link == vcd::kMultiDefault ||
                link == vcd::kMultiDefaultNumeric || !seen.insert(link).second)
                continue;
            todo.push_back(link);
        }
    }
    for (const auto& [offset, line] : lines)
        std::printf("%s\n", line.c_str());
    return ok;
}

} // namespace

int runVcd(const CliArgs& args)
{
    if (args.size() != 2 || args[0] != "info")
        return cliUsage("vcd info DRIVE");
    VcdDisc disc;
    if (!disc.open(args[1]))
        return cliFail(disc.failureText());
    VcdDescription description;
    std::string why;
    if (!readVcdDescription(disc, description, &why))
        return cliFail(args[1] + " is not a Video CD 2.0: " + why);
    printInfo(disc, description);
    if (description.info.psdSize == 0) {
        std::printf("play sequence: none (the entries play as tracks)\n");
        return kCliOk;
    }
    if (description.psd.empty())
        return cliFail("the play-sequence file " + description.psdPath + " is missing or empty");
    if (!printDescriptors(description, &why)) {
        std::fflush(stdout);
        return cliFail(why);
    }
    return kCliOk;
}
