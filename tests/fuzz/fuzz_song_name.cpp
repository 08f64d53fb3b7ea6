// Songs are shown by their file name and, when the user wants it, the title and artist the
// file carries: the ID3v1 tag of an MPEG audio file, the Korean (Johab) title in the header
// of an IMS file. Whatever the file holds, the name shown starts with the file's own name, is
// UTF-8, and adds no more than its fields can hold: 30 bytes each, three bytes of UTF-8 per
// byte at most.
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
