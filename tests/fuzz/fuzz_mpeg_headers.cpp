// MP3 files and streams come from anywhere. Whatever their first bytes, the frame and VBR
// readers must stay inside them and report sane figures, and the information text built from
// them must be valid UTF-8.
#include "engines/mpegaudio.h"
#include "fuzzcheck.h"
#include "platform/text.h"

using namespace engines;

FUZZ_TARGET
{
    const std::int64_t fileSize = size % 2 ? static_cast<std::int64_t>(size) : -1;
    const auto info = analyseMpegAudio(bytes, 0, fileSize, 0);
    if (info)
        FUZZ_CHECK(info->audioStart >= 0 && info->audioStart < static_cast<std::int64_t>(size) &&
                   info->first.frameBytes > 0 && info->first.sampleRate > 0 &&
                   info->durationMs >= 0);
    std::optional<Id3v1Tag> tag;
    if (size >= 128)
        tag = parseId3v1(std::string_view(bytes).substr(size - 128));
    const int flags[Id3ItemCount] = {1, 1, 1, 1, 1, 1};
    FUZZ_CHECK(text::isValidUtf8(
        mpegInformationText(info ? &*info : nullptr, tag ? &*tag : nullptr, true, flags)));
}
