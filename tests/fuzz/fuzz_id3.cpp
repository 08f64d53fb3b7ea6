// ID3v1 tags and IMS titles are bytes from files. A tag that parses must write out and parse
// back the same; the Korean code conversion must stay inside its zero-terminated text and keep
// its length.
#include "albums/id3tag.h"
#include "albums/songname.h"

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (size >= 128) {
        Id3Tag tag;
        if (ParseId3Tag(std::string_view(bytes).substr(size - 128), tag)) {
            const std::string body = FormatId3Tag(tag);
            Id3Tag back;
            if (body.size() != 125 || !ParseId3Tag("TAG" + body, back))
                std::abort();
            if (back.title != tag.title || back.artist != tag.artist || back.album != tag.album ||
                back.year != tag.year || back.comment != tag.comment || back.genre != tag.genre)
                std::abort();
            Id3FieldText(tag.title);
        }
    }
    // A zero-terminated copy with guard bytes after it.
    std::string text = bytes;
    const size_t length = std::strlen(text.c_str());
    text.resize(length);
    const std::string guarded = text + std::string(1, '\0') + "GUARD";
    std::string work = guarded;
    ConvertHangulCode(kHangulJohab, kHangulWansung, work.data());
    if (std::strlen(work.c_str()) != length || work.substr(length) != guarded.substr(length))
        std::abort();
    return 0;
}
