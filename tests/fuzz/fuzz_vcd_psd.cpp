// A play-sequence file from anywhere, with the offset multiplier of INFO.VCD in its first
// byte: every descriptor reachable from the first is read as the reader and kolvo-cli walk
// them, each once. A descriptor read stays inside the file, holds as many items, selections
// and areas as its counts say, and is described on one line; one refused says why.
#include "engines/vcdformat.h"
#include "fuzzcheck.h"

#include <set>

using namespace engines::vcd;

FUZZ_TARGET
{
    if (size < 1)
        return;
    const unsigned multiplier = data[0];
    const std::string psd = bytes.substr(1);
    std::set<std::uint16_t> seen{0};
    std::vector<std::uint16_t> todo{0};
    while (!todo.empty()) {
        const std::uint16_t offset = todo.back();
        todo.pop_back();
        const std::uint32_t at = offset * multiplier;
        Descriptor d;
        std::string why;
        const bool ok = parseDescriptor(psd, at, d, &why);
        FUZZ_CHECK(ok || !why.empty());
        if (!ok)
            continue;
        FUZZ_CHECK(at < psd.size());
        const auto count = static_cast<std::uint8_t>(psd[at + (d.isSelection() ? 2 : 1)]);
        size_t length = 1;
        std::vector<std::uint16_t> links{d.previous, d.next, d.returnOffset};
        switch (d.type) {
        case DescriptorType::PlayList:
            FUZZ_CHECK(d.items.size() == count);
            length = 14 + 2 * d.items.size();
            break;
        case DescriptorType::Selection:
        case DescriptorType::ExtendedSelection:
            FUZZ_CHECK(d.selections.size() == count);
            FUZZ_CHECK(d.areas.size() ==
                       (d.type == DescriptorType::ExtendedSelection ? count : 0u));
            length = 20 + 2 * d.selections.size();
            if (d.type == DescriptorType::ExtendedSelection)
                length += 16 + 4 * d.areas.size();
            links.push_back(d.defaultOffset);
            links.push_back(d.timeoutOffset);
            links.insert(links.end(), d.selections.begin(), d.selections.end());
            break;
        case DescriptorType::EndList:
            links.clear();
            break;
        }
        FUZZ_CHECK(at + length <= psd.size());
        const std::string line = describe(d);
        FUZZ_CHECK(!line.empty() && line.find('\n') == std::string::npos);
        for (std::uint16_t link : links)
            if (link != kNoOffset && seen.insert(link).second)
                todo.push_back(link);
    }
}
