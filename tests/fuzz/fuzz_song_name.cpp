// Songs are shown by their file name and, when the user wants it, the title and artist the
// file carries: the ID3v1 tag of an MPEG audio file, the Korean (Johab) title in the header
// of an IMS file. Whatever the file holds, the name shown starts with the file's own name, is
// UTF-8, and adds no more than its fields can hold: 30 bytes each, three bytes of UTF-8 per
// byte at most.
#include "albums/songname.h"
#include "fuzzcheck.h"
#include "fuzzhome.h"
#include "platform/text.h"

#include <cstdlib>
#include <string>

namespace {

void checkName(const std::string& path, const std::string& base, size_t fields)
{
    FUZZ_CHECK(SongDisplayName(path, false) == base);
    const std::string shown = SongDisplayName(path, true);
    FUZZ_CHECK(shown.compare(0, base.size(), base) == 0);
    FUZZ_CHECK(text::isValidUtf8(shown));
    // ",  [" title " / " artist "]"
    FUZZ_CHECK(shown.size() <= base.size() + 4 + fields * 90 + 3 + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string home = fuzzhome::next();
    fuzzhome::write(home + "/Song.mp3", bytes);
    checkName(home + "/Song.mp3", "Song.mp3", 2);
    fuzzhome::write(home + "/Tune.ims", bytes);
    checkName(home + "/Tune.ims", "Tune.ims", 1);
    return 0;
}
