// Song display names, and the Johab to Wansung conversion checked against glibc's converter.
#include "albumtesting.h"

#include "albums/id3tag.h"
#include "albums/songname.h"

#include <cstring>

namespace {

class SongNameTest : public KolvoHomeTest
{
protected:
    std::string mp3(const std::string& name, const std::string& title, const std::string& artist)
    {
        const std::string file = writeFile(name, std::string(500, 'm'));
        Id3Tag tag;
        tag.title = title;
        tag.artist = artist;
        EXPECT_TRUE(WriteId3Tag(file, tag));
        return file;
    }
};

std::string convert(std::string text)
{
    ConvertHangulCode(kHangulJohab, kHangulWansung, text.data());
    return text.substr(0, std::strlen(text.c_str()));
}

// glibc's Johab to EUC-KR for one code: the Wansung code, 0 when it refuses.
unsigned glibc(unsigned johab)
{
    const char in[2] = {static_cast<char>(johab >> 8), static_cast<char>(johab & 0xFF)};
    const auto out = text::convert(std::string_view(in, 2), "JOHAB", "EUC-KR");
    if (!out || out->size() != 2)
        return 0;
    return (static_cast<unsigned char>((*out)[0]) << 8) | static_cast<unsigned char>((*out)[1]);
}

bool wansungCellIsEmpty(unsigned code)
{
    const char in[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    return !text::convert(std::string_view(in, 2), "EUC-KR", "UTF-8");
}

} // namespace

TEST_F(SongNameTest, NamesWithAndWithoutTags)
{
    const std::string a = mp3("Music/a.mp3", "  Song ", "Band");
    EXPECT_EQ(SongDisplayName(a, true), "a.mp3,  [Song / Band]");
    EXPECT_EQ(SongDisplayName(a, false), "a.mp3");
    EXPECT_EQ(SongDisplayName(mp3("t.mp3", "Only", ""), true), "t.mp3,  [Only]");
    EXPECT_EQ(SongDisplayName(mp3("r.MP3", "", "Someone"), true), "r.MP3,  [Someone]");
    EXPECT_EQ(SongDisplayName(mp3("e.mp3", " ", ""), true), "e.mp3");
    EXPECT_EQ(SongDisplayName(writeFile("n.mp3", "no tag"), true), "n.mp3");
    // A tag on a file that is not MPEG audio is not looked at.
    const std::string wav = mp3("w.wav", "Hidden", "");
    EXPECT_EQ(SongDisplayName(wav, true), "w.wav");

    EXPECT_EQ(SongDisplayName("http://radio.example/streams/live.mp3", true), "live.mp3");
    EXPECT_EQ(SongDisplayName("C:\\Music\\a.mp3", false), "a.mp3");
    EXPECT_EQ(SongDisplayName("plain.mid", true), "plain.mid");
    EXPECT_EQ(SongDisplayName("/missing/x.mp3", true), "x.mp3");
}

TEST_F(SongNameTest, ImsTitlesAreKorean)
{
    // "한글" in Johab (0xD065 0x8B69), padded with blanks, at offset 6.
    std::string ims(6, '\0');
    ims += "  \xd0\x65\x8b\x69 Song";
    ims.resize(36, ' ');
    ims += std::string(20, '\x01');
    EXPECT_EQ(SongDisplayName(writeFile("k.ims", ims), true),
              "k.ims,  [\xed\x95\x9c\xea\xb8\x80 Song]");
    EXPECT_EQ(SongDisplayName(writeFile("short.ims", ims.substr(0, 35)), true), "short.ims");
    EXPECT_EQ(
        SongDisplayName(writeFile("blank.ims", std::string(6, '\0') + std::string(30, ' ')), true),
        "blank.ims");
}

TEST(Hangul, TheDesignedCases)
{
    // Codes of the Hangul area one by one: see AgreesWithGlibcIconv.
    EXPECT_EQ(convert("ABC \x88\x61!"), "ABC \xb0\xa1!");
    // 0x99B1 is a valid Johab syllable (ㄸ ㅗ ㅁ) that is not among the 2350: two blanks.
    EXPECT_EQ(convert("\x99\xb1x"), "  x");
    EXPECT_EQ(convert("\x88\x62"), "\xb0\xa2") << "with a final consonant";
    EXPECT_EQ(convert("ok\x88"), "ok\x88") << "a lead byte before the end is left alone";
    char text[] = "\x88\x61";
    ConvertHangulCode(kHangulWansung, kHangulJohab, text);
    EXPECT_STREQ(text, "\x88\x61") << "only Johab to Wansung is known";
    // The 0xD4 table.
    EXPECT_EQ(JohabToWansung(0xD481), 0xA1DBu);
    EXPECT_EQ(JohabToWansung(0xD4FD), 0xA9F7u);
    EXPECT_EQ(JohabToWansung(0xD487), 0u);
    EXPECT_EQ(JohabToWansung(0xD8A1), 0u) << "user-defined area";
}

// Every two-byte Johab code of the Hangul area, and the symbol and Hanja rows: where glibc's
// JOHAB converter gives an EUC-KR code, ours gives the same. Where they differ it is by design,
// and each case says why.
TEST(Hangul, AgreesWithGlibcIconv)
{
    ASSERT_EQ(glibc(0x8861), 0xB0A1u) << "glibc's JOHAB and EUC-KR converters are needed";
    int syllablesAndLetters = 0;
    for (unsigned lead = 0x84; lead <= 0xD3; ++lead) {
        for (unsigned trail = 0x41; trail <= 0xFE; ++trail) {
            if (trail > 0x7E && trail < 0x81)
                continue;
            const unsigned code = (lead << 8) | trail;
            ASSERT_EQ(JohabToWansung(code), glibc(code)) << std::hex << code;
            syllablesAndLetters += glibc(code) != 0;
        }
    }
    EXPECT_EQ(syllablesAndLetters, 2350 + 51);

    int agreed = 0, emptyCells = 0;
    for (unsigned lead = 0xD9; lead <= 0xF9; ++lead) {
        if (lead == 0xDF)
            continue;
        for (unsigned trail = 0x30; trail <= 0xFE; ++trail) {
            const unsigned code = (lead << 8) | trail;
            const unsigned ours = JohabToWansung(code);
            const unsigned theirs = glibc(code);
            if (theirs) {
                ASSERT_EQ(ours, theirs) << std::hex << code;
                ++agreed;
            } else if (trail == 0x30) {
                // The designed trail range starts at 0x30, one before the standard's 0x31: it
                // lands on column 0xA0, which holds nothing in Wansung.
                EXPECT_EQ(ours & 0xFF, 0xA0u) << std::hex << code;
            } else if (lead == 0xDA && trail >= 0xA1 && trail <= 0xD3) {
                // Row 0xA4, the Hangul letters: Johab writes them in the Hangul area (checked
                // above, where both agree), so glibc refuses them here; the designed arithmetic
                // still reaches them.
                EXPECT_EQ(ours, 0xA400u | trail) << std::hex << code;
            } else if (ours) {
                // The arithmetic covers whole rows; glibc knows only the cells that hold a
                // character, so where it refuses, ours points at an empty cell.
                EXPECT_TRUE(wansungCellIsEmpty(ours)) << std::hex << code << " -> " << ours;
                ++emptyCells;
            }
        }
    }
    EXPECT_GT(agreed, 5700);
    EXPECT_LT(emptyCells, 200);

    // Lead byte 0xD4 has no Hangul in Johab and glibc maps none of it; the design gives 56 of
    // its trail bytes symbol codes of Wansung rows 1 to 9, and those cells do hold characters.
    int mapped = 0;
    for (unsigned trail = 0x30; trail <= 0xFE; ++trail) {
        EXPECT_EQ(glibc(0xD400 | trail), 0u);
        if (const unsigned w = JohabToWansung(0xD400 | trail)) {
            EXPECT_FALSE(wansungCellIsEmpty(w)) << std::hex << trail;
            ++mapped;
        }
    }
    EXPECT_EQ(mapped, 56);
}
