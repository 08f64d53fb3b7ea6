// Legacy text from tags, old databases and other programs' lists, one target per code page
// (KOLVO_FUZZ_CODEPAGE). Decoded text is bounded valid UTF-8, valid UTF-8 passes unchanged, bytes
// that cannot be half a character survive in order, and text decoded whole encodes back.
#include "fuzzcheck.h"
#include "platform/text.h"

#ifndef KOLVO_FUZZ_CODEPAGE
#error "KOLVO_FUZZ_CODEPAGE names the code page this target decodes"
#endif

static const std::string kCodePage = KOLVO_FUZZ_CODEPAGE;

// The bytes below the limit: 0x40 for the double-byte pages (their trail bytes start at 0x40
// and 0x41), 0x80 for the others; no byte below it can be the second half of a character.
static std::string singleBytes(std::string_view s)
{
    const unsigned char limit = kCodePage == "CP949" || kCodePage == "CP932" ? 0x40 : 0x80;
    std::string out;
    std::copy_if(s.begin(), s.end(), std::back_inserter(out),
                 [&](char c) { return static_cast<unsigned char>(c) < limit; });
    return out;
}

FUZZ_TARGET
{
    static const bool pageSet = (text::setLegacyCodePage(kCodePage), true);
    (void)pageSet;
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
    FUZZ_CHECK(singleBytes(decoded) == singleBytes(bytes));

    if (!utf8 && decoded.find("\xEF\xBF\xBD") == std::string::npos) {
        // Every character came from the page, so the page can write it again. CP932 has a few
        // characters under two codes (the NEC and IBM rows); the others give back the bytes.
        const auto encoded = text::encodeLegacy(decoded, kCodePage);
        FUZZ_CHECK(encoded.has_value());
        if (kCodePage == "CP932")
            FUZZ_CHECK(text::convert(*encoded, kCodePage.c_str(), "UTF-8") == decoded);
        else
            FUZZ_CHECK(*encoded == bytes);
    }
}
