// Legacy text comes from tags, old databases and play lists of other programs. Whatever the
// bytes, the decoded text must be valid UTF-8, and valid UTF-8 must pass through unchanged.
#include "platform/text.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // KOLVO_CODEPAGE, when set, holds one code page for the whole run; else they take turns.
    static const bool fixedPage = std::getenv("KOLVO_CODEPAGE") != nullptr;
    static const char* pages[] = {"CP1252", "CP949", "CP932", "ISO-8859-1"};
    if (!fixedPage)
        text::setLegacyCodePage(pages[size % 4]);
    const std::string decoded = text::decodeLegacy(bytes);
    if (!text::isValidUtf8(decoded))
        std::abort();
    // No byte of these code pages becomes more than three bytes of UTF-8, the replacement
    // character included; more means input was read twice or past its end.
    if (decoded.size() > 3 * bytes.size())
        std::abort();
    if (text::isValidUtf8(bytes) && decoded != bytes)
        std::abort();
    // glibc's own UTF-8 check agrees with ours.
    const bool iconvAccepts = text::convert(bytes, "UTF-8", "UTF-16LE").has_value();
    if (iconvAccepts != text::isValidUtf8(bytes))
        std::abort();
    return 0;
}
