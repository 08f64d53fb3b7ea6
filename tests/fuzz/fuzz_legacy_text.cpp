// Legacy text comes from tags, old databases and play lists of other programs. One target per
// legacy code page, chosen when it is built (KOLVO_FUZZ_CODEPAGE), so that each page's corpus
// grows for that page alone. Whatever the bytes, the decoded text must be valid UTF-8 of
// bounded length, valid UTF-8 must pass through unchanged, the bytes that can never be part
// of a two-byte character (line breaks, blanks, digits) must all survive in their order, and
// text decoded without a replacement must encode back to what it came from.
#include "fuzzcheck.h"
#include "platform/text.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#ifndef KOLVO_FUZZ_CODEPAGE
#error "KOLVO_FUZZ_CODEPAGE names the code page this target decodes"
#endif

namespace {

constexpr const char* kCodePage = KOLVO_FUZZ_CODEPAGE;

// The bytes below which no byte can be the second half of a character: 0x40 for the
// double-byte pages (their trail bytes start at 0x40 and 0x41), 0x80 for the others.
unsigned char singleByteLimit()
{
    return std::strcmp(kCodePage, "CP949") == 0 || std::strcmp(kCodePage, "CP932") == 0 ? 0x40
                                                                                        : 0x80;
}

std::string below(std::string_view s, unsigned char limit)
{
    std::string out;
    for (char c : s) {
        if (static_cast<unsigned char>(c) < limit)
            out += c;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    static const bool pageSet = [] {
        text::setLegacyCodePage(kCodePage);
        return true;
    }();
    (void)pageSet;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string decoded = text::decodeLegacy(bytes);
    FUZZ_CHECK(text::isValidUtf8(decoded));
    // No byte of these code pages becomes more than three bytes of UTF-8, the replacement
    // character included; more means input was read twice or past its end.
    FUZZ_CHECK(decoded.size() <= 3 * bytes.size());
    const bool utf8 = text::isValidUtf8(bytes);
    if (utf8)
        FUZZ_CHECK(decoded == bytes);
    // glibc's own UTF-8 check agrees with ours.
    FUZZ_CHECK(text::convert(bytes, "UTF-8", "UTF-16LE").has_value() == utf8);

    // A half character or a bad pair must not take a line break or a digit with it.
    const unsigned char limit = singleByteLimit();
    FUZZ_CHECK(below(decoded, limit) == below(bytes, limit));

    if (!utf8 && decoded.find("\xEF\xBF\xBD") == std::string::npos) {
        // Every character came from the page, so the page can write it again. CP932 has a few
        // characters under two codes (the NEC and IBM rows); the others give back the bytes.
        const auto encoded = text::encodeLegacy(decoded, kCodePage);
        FUZZ_CHECK(encoded.has_value());
        if (std::strcmp(kCodePage, "CP932") == 0)
            FUZZ_CHECK(text::convert(*encoded, kCodePage, "UTF-8") == decoded);
        else
            FUZZ_CHECK(*encoded == bytes);
    }
    return 0;
}
