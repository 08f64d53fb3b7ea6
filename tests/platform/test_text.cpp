#include "platform/strings.h"
#include "platform/text.h"

#include <gtest/gtest.h>

using namespace text;

TEST(Text, Utf8Validation)
{
    for (std::string_view good : {"", "plain ascii", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5"})
        EXPECT_TRUE(isValidUtf8(good)) << good;
    // A lone Latin-1 byte, overlong forms, a surrogate, past U+10FFFF, cut sequences, a lone
    // continuation byte.
    for (std::string_view bad : {"caf\xe9", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80",
                                 "\xf4\x90\x80\x80", "ab\xe2\x82", "\x80", "\xc3"})
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
}

TEST(Text, LegacyBytesAreDecodedWithTheCodePage)
{
    setLegacyCodePage("CP1252");
    EXPECT_EQ(decodeLegacy("caf\xe9 \x80"), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(decodeLegacy("caf\xc3\xa9"), "caf\xc3\xa9") << "valid UTF-8 stays as it is";
    // CP1252 leaves 0x81 unmapped: it becomes the replacement character, not nothing.
    EXPECT_EQ(decodeLegacy(std::string("a\x81") + "b"), std::string("a\xef\xbf\xbd") + "b");

    setLegacyCodePage("CP949");
    // "한글" in CP949.
    EXPECT_EQ(decodeLegacy("\xc7\xd1\xb1\xdb"), "\xed\x95\x9c\xea\xb8\x80");
    setLegacyCodePage("NO-SUCH-CODEPAGE");
    EXPECT_EQ(decodeLegacy("a\xe9z"), "a\xef\xbf\xbdz");
    setLegacyCodePage("");
}

// glibc's CP949 converter consumes the pair A2 E8 (a lead byte and a trail byte with no
// character) before it reports it, so at the end of the input there is nothing left to skip.
TEST(Text, DecodingStopsAtTheEndOfHostileInput)
{
    const std::string crash = "\xa2\xe8";
    const std::string title = "abcdefghijklm" + crash; // an ID3v1 title of 15 bytes
    struct Expected
    {
        const char* codePage;
        std::string crash;  // the two bytes alone
        std::string inside; // "x", the two bytes, "." (which no code page takes as a trail byte)
    };
    const Expected pages[] = {
        {"CP1252", "\xc2\xa2\xc3\xa8", "x\xc2\xa2\xc3\xa8."},
        // The pair is consumed whole; what follows it is kept.
        {"CP949", "\xef\xbf\xbd", "x\xef\xbf\xbd."},
        // A2 is a half-width katakana bracket, E8 a lead byte with no trail byte.
        {"CP932", "\xef\xbd\xa2\xef\xbf\xbd", "x\xef\xbd\xa2\xef\xbf\xbd."},
        {"UTF-8", "\xef\xbf\xbd\xef\xbf\xbd", "x\xef\xbf\xbd\xef\xbf\xbd."},
    };
    for (const Expected& page : pages) {
        SCOPED_TRACE(page.codePage);
        setLegacyCodePage(page.codePage);
        EXPECT_EQ(decodeLegacy(crash), page.crash);
        EXPECT_EQ(decodeLegacy("x" + crash + "."), page.inside);
        EXPECT_EQ(decodeLegacy(title), "abcdefghijklm" + page.crash);
        // Every cut of a title, and every pair of high bytes at the end: the text stays whole
        // up to the bad bytes and nothing past the input is read.
        for (size_t cut = 0; cut <= title.size(); ++cut)
            EXPECT_TRUE(isValidUtf8(decodeLegacy(title.substr(0, cut)))) << cut;
        int broken = 0;
        for (int lead = 0x80; lead <= 0xff; ++lead) {
            for (int trail = 0; trail <= 0xff; ++trail) {
                const std::string bytes{'x', static_cast<char>(lead), static_cast<char>(trail)};
                const std::string decoded = decodeLegacy(bytes);
                if (!isValidUtf8(decoded) || decoded.size() > 3 * bytes.size() || decoded[0] != 'x')
                    ++broken;
            }
        }
        EXPECT_EQ(broken, 0);
    }
    setLegacyCodePage("");
    // The strict conversion refuses the pair instead of returning part of the text.
    EXPECT_EQ(convert("x" + crash + "z", "CP949", "UTF-8"), std::nullopt);
    EXPECT_EQ(convert(crash, "CP949", "UTF-8"), std::nullopt);
}

// With UTF-8 as the legacy code page, damaged UTF-8 is repaired byte by byte. glibc's decoder
// took sequences past U+10FFFF (found by fuzzing) and handed them on as they were.
TEST(Text, AUtf8CodePageGivesValidTextOnly)
{
    const std::string mark = "\xef\xbf\xbd";
    for (const char* name : {"UTF-8", "utf8"}) {
        SCOPED_TRACE(name);
        setLegacyCodePage(name);
        const std::string decoded = decodeLegacy("\xdd\xdd\x8f/\xf7\x97\x97\x97");
        EXPECT_TRUE(isValidUtf8(decoded));
        EXPECT_EQ(decoded, mark + "\xdd\x8f/" + mark + mark + mark + mark);
        // Past U+10FFFF, a surrogate, an overlong form, a cut sequence: one mark per byte.
        EXPECT_EQ(decodeLegacy("a\xf4\x90\x80\x80z"), "a" + mark + mark + mark + mark + "z");
        EXPECT_EQ(decodeLegacy("\xed\xa0\x80"), mark + mark + mark);
        EXPECT_EQ(decodeLegacy("\xc0\xaf."), mark + mark + ".");
        EXPECT_EQ(decodeLegacy("\xe6\x97"), mark + mark);
    }
    setLegacyCodePage("");
}

TEST(Text, TheInterfaceLanguageChoosesTheLegacyCodePage)
{
    unsetenv("KOLVO_CODEPAGE");
    const std::pair<const char*, const char*> pages[] = {
        {"ko", "CP949"}, {"ja", "CP932"}, {"en", "CP1252"}};
    for (const auto& [language, page] : pages) {
        setInterfaceLanguage(language);
        EXPECT_EQ(legacyCodePage(), page) << language;
    }
    setenv("KOLVO_CODEPAGE", "CP949", 1);
    EXPECT_EQ(legacyCodePage(), "CP949");
    setInterfaceLanguage("ja");
    EXPECT_EQ(legacyCodePage(), "CP949") << "the variable wins over the language";
    unsetenv("KOLVO_CODEPAGE");
    setInterfaceLanguage("");
}

TEST(Text, EncodingRefusesWhatTheTargetCannotHold)
{
    EXPECT_EQ(encodeLegacy("caf\xc3\xa9", "ISO-8859-1"), std::optional<std::string>("caf\xe9"));
    EXPECT_EQ(encodeLegacy("\xed\x95\x9c", "ISO-8859-1"), std::nullopt);
    EXPECT_EQ(convert("abc", "NO-SUCH", "UTF-8"), std::nullopt);
    // Long input crosses the converter's internal buffer many times.
    std::string longText;
    for (int i = 0; i < 5000; ++i)
        longText += "\xc3\xa9";
    const auto latin = encodeLegacy(longText, "ISO-8859-1");
    ASSERT_TRUE(latin.has_value());
    EXPECT_EQ(latin->size(), 5000u);
    EXPECT_EQ(convert(*latin, "ISO-8859-1", "UTF-8"), std::optional<std::string>(longText));
}
