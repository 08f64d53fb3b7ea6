// Legacy text comes from tags, old databases and play lists of other programs. Whatever the
// bytes, the decoded text must be valid UTF-8, and valid UTF-8 must pass through unchanged.
#include "platform/text.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static const char* pages[] = {"CP1252", "CP949", "ISO-8859-1"};
    text::setLegacyCodePage(pages[size % 3]);
    const std::string decoded = text::decodeLegacy(bytes);
    if (!text::isValidUtf8(decoded))
        std::abort();
    if (text::isValidUtf8(bytes) && decoded != bytes)
        std::abort();
    // glibc's own UTF-8 check agrees with ours.
    const bool iconvAccepts = text::convert(bytes, "UTF-8", "UTF-16LE").has_value();
    if (iconvAccepts != text::isValidUtf8(bytes))
        std::abort();
    return 0;
}
