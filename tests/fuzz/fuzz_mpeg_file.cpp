// The MPEG engine's reading of a whole file (ID3v2 tags in front, frames, ID3v1 at the end): the
// first frame reported is a real header at the place reported, past every complete ID3v2 tag and
// inside the file, and the tag texts are UTF-8.
#include "engines/mpegaudio.h"
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "platform/text.h"

using namespace engines;

// The end of the version 2 tags at the start of the file, as far as they are complete.
static std::int64_t tagsEnd(const std::string& bytes)
{
    std::int64_t at = 0;
    for (int i = 0; i < 4 && static_cast<std::int64_t>(bytes.size()) >= at + 10 &&
                    bytes.compare(static_cast<size_t>(at), 3, "ID3") == 0;
         ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        const std::int64_t end = at + 10 + ((p[5] & 0x10) ? 10 : 0) + ((p[6] & 0x7F) << 21) +
                                 ((p[7] & 0x7F) << 14) + ((p[8] & 0x7F) << 7) + (p[9] & 0x7F);
        if (end > static_cast<std::int64_t>(bytes.size()))
            break;
        at = end;
    }
    return at;
}

FUZZ_TARGET
{
    const std::string path = fuzzhome::next() + "/song.mp3";
    fuzzhome::write(path, bytes);
    const auto file = readMpegFile(path);
    if (!file)
        return;
    const MpegStreamInfo& s = file->stream;
    FUZZ_CHECK(s.audioStart >= tagsEnd(bytes));
    FUZZ_CHECK(s.audioStart + 4 <= static_cast<std::int64_t>(size));
    MpegFrameHeader h;
    FUZZ_CHECK(parseMpegFrameHeader(data + s.audioStart, h));
    FUZZ_CHECK(h.version == s.first.version && h.layer == s.first.layer &&
               h.sampleRate == s.first.sampleRate && h.frameBytes == s.first.frameBytes);
    FUZZ_CHECK(s.durationMs >= 0 && s.averageKbps > 0);
    if (const auto& t = file->tag) {
        for (const std::string* field : {&t->title, &t->artist, &t->album, &t->comment})
            FUZZ_CHECK(text::isValidUtf8(*field) && field->size() <= 90);
        FUZZ_CHECK(text::isValidUtf8(t->year) && t->year.size() <= 12);
    }
}
