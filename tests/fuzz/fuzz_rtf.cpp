// Lyric files come from anywhere. The reader must survive any bytes and hand out only valid
// UTF-8, with sizes it can draw.
#include "fuzzcheck.h"
#include "platform/text.h"
#include "players/rtf.h"

FUZZ_TARGET
{
    for (const RtfParagraph& p : ParseRtf(bytes).paragraphs)
        for (const RtfRun& r : p.runs)
            FUZZ_CHECK(text::isValidUtf8(r.text) && r.halfPoints > 0 && r.halfPoints < 4000 &&
                       (!r.color || *r.color <= 0xFFFFFF));
}
