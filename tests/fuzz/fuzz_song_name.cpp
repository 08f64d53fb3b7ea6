// Song names with the title and artist a file carries (an MPEG file's ID3v1 tag, an IMS file's
// Johab title): the name shown starts with the file's own, is UTF-8, and adds no more than its
// 30-byte fields can hold at three bytes of UTF-8 a byte.
#include "albums/songname.h"
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "platform/text.h"

FUZZ_TARGET
{
    const std::string home = fuzzhome::next();
    const std::pair<const char*, size_t> files[] = {{"Song.mp3", 2}, {"Tune.ims", 1}};
    for (const auto& [base, fields] : files) {
        const std::string path = home + "/" + base;
        fuzzhome::write(path, bytes);
        FUZZ_CHECK(SongDisplayName(path, false) == base);
        const std::string shown = SongDisplayName(path, true);
        FUZZ_CHECK(shown.rfind(base, 0) == 0 && text::isValidUtf8(shown));
        // ",  [" title " / " artist "]"
        FUZZ_CHECK(shown.size() <= std::strlen(base) + 4 + fields * 90 + 3 + 1);
    }
}
