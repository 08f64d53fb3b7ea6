// ENTRIES.VCD from anywhere: never more entries than announced or than the bytes hold, taken
// only when all announced are there, each field a BCD value.
#include "engines/vcdformat.h"
#include "fuzzcheck.h"

using namespace engines::vcd;

FUZZ_TARGET
{
    Entries e;
    std::string why;
    const bool ok = parseEntries(bytes, e, &why);
    FUZZ_CHECK(ok == why.empty());
    if (size < 12) {
        FUZZ_CHECK(!ok && e.entries.empty());
        return;
    }
    FUZZ_CHECK(e.count == (data[10] << 8 | data[11]));
    FUZZ_CHECK(e.entries.size() <= static_cast<size_t>(e.count));
    FUZZ_CHECK(e.entries.size() <= (size - 12) / 4);
    FUZZ_CHECK(ok == (e.entries.size() == static_cast<size_t>(e.count)));
    for (size_t i = 0; i < e.entries.size(); ++i) {
        const EntryRecord& r = e.entries[i];
        FUZZ_CHECK(r.track == fromBcd(data[12 + 4 * i]));
        FUZZ_CHECK(r.minute >= 0 && r.minute <= 165 && r.second <= 165 && r.frame <= 165);
        FUZZ_CHECK(r.msfFrames() >= 0 && r.ms() >= 0);
    }
}
