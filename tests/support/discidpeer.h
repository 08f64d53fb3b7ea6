#pragma once
// The freedb disc id of a table of contents as libdiscid works it out: the peer the CD tests
// compare our disc ids with. Only for test programs that link libdiscid.

#include <discid/discid.h>

#include <memory>
#include <string>
#include <vector>

// offsets: the start frames of tracks 1.. (with the 150 frames before track 1); leadOut the
// same way. "refused: why" when libdiscid will not take the table.
inline std::string libdiscidFreedbId(const std::vector<int>& offsets, int leadOut)
{
    std::unique_ptr<DiscId, void (*)(DiscId*)> d(discid_new(), discid_free);
    int table[100] = {leadOut};
    for (size_t i = 0; i < offsets.size() && i < 99; ++i)
        table[i + 1] = offsets[i];
    if (!discid_put(d.get(), 1, static_cast<int>(offsets.size()), table))
        return "refused: " + std::string(discid_get_error_msg(d.get()));
    return discid_get_freedb_id(d.get());
}
