// ID3v1 tags and IMS titles are bytes from files. A tag that parses must write out and parse
// back the same; the Korean code conversion must stay inside its zero-terminated text and keep
// its length.
#include "albums/id3tag.h"
#include "albums/songname.h"
#include "fuzzcheck.h"

FUZZ_TARGET
{
    Id3Tag tag, back;
    if (size >= 128 && ParseId3Tag(std::string_view(bytes).substr(size - 128), tag)) {
        const std::string body = FormatId3Tag(tag);
        FUZZ_CHECK(body.size() == 125 && ParseId3Tag("TAG" + body, back));
        FUZZ_CHECK(back.title == tag.title && back.artist == tag.artist &&
                   back.album == tag.album && back.year == tag.year &&
                   back.comment == tag.comment && back.genre == tag.genre);
        Id3FieldText(tag.title);
    }
    // A zero-terminated copy with guard bytes after it.
    const std::string text = bytes.c_str();
    const std::string guarded = text + std::string(1, '\0') + "GUARD";
    std::string work = guarded;
    ConvertHangulCode(kHangulJohab, kHangulWansung, work.data());
    FUZZ_CHECK(std::strlen(work.c_str()) == text.size() &&
               work.substr(text.size()) == guarded.substr(text.size()));
}
