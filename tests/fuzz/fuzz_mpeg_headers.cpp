// MP3 files and streams come from anywhere. Whatever their first bytes, the frame and VBR
// readers must stay inside them and report sane figures, and the information text built from
// them must be valid UTF-8.
#include "engines/mpegaudio.h"
#include "platform/text.h"

#include <cstdlib>
#include <string_view>

using namespace engines;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::int64_t fileSize = size % 2 ? static_cast<std::int64_t>(size) : -1;
    const auto info = analyseMpegAudio(bytes, 0, fileSize, 0);
    if (info) {
        if (info->audioStart < 0 || info->audioStart >= static_cast<std::int64_t>(size))
            std::abort();
        if (info->first.frameBytes <= 0 || info->first.sampleRate <= 0 || info->durationMs < 0)
            std::abort();
    }
    std::optional<Id3v1Tag> tag;
    if (size >= 128)
        tag = parseId3v1(bytes.substr(size - 128));
    const int flags[Id3ItemCount] = {1, 1, 1, 1, 1, 1};
    const std::string text =
        mpegInformationText(info ? &*info : nullptr, tag ? &*tag : nullptr, true, flags);
    if (!text::isValidUtf8(text))
        std::abort();
    return 0;
}
