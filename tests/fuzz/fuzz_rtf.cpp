// Lyric files come from anywhere. The reader must survive any bytes and hand out only valid
// UTF-8, with sizes it can draw.
#include "platform/text.h"
#include "players/rtf.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const RtfDocument doc = ParseRtf(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const RtfParagraph& p : doc.paragraphs) {
        for (const RtfRun& r : p.runs) {
            if (!text::isValidUtf8(r.text) || r.halfPoints <= 0 || r.halfPoints >= 4000)
                std::abort();
            if (r.color && *r.color > 0xFFFFFF)
                std::abort();
        }
    }
    return 0;
}
