// ID3v1 tags and the genre table; ffprobe reads the tags we write as a peer.
#include "albumtesting.h"

#include "albums/id3tag.h"

using namespace std::string_literals;

namespace {

class Id3Test : public KolvoHomeTest
{
protected:
    std::string tagged(const std::string& name, const std::string& body, const char* marker = "TAG")
    {
        return writeFile(name, std::string(400, 'a') + marker + body);
    }
    static std::string text(const Id3Tag& t)
    {
        return t.title + '|' + t.artist + '|' + t.album + '|' + t.year + '|' + t.comment + '|' +
               std::to_string(t.genre);
    }
};

} // namespace

TEST(Genres, TheDesignedSpellings)
{
    std::string names;
    for (int n : {0, 21, 64, 67, 93, 79, 80, 125, 126, 127, 128, -1, 255})
        names += GenreName(n) + '|';
    EXPECT_EQ(names,
              "Blues|Sca|Native US|Psychadelic|Psychedelic Rock|Hard Rock|Folk|Dance Hall||||||");
    int named = 0;
    for (int n = 0; n < 128; ++n)
        named += !GenreName(n).empty();
    EXPECT_EQ(named, 126);
}

TEST_F(Id3Test, ReadingATag)
{
    std::string body(125, '\0');
    body.replace(0, 30, std::string(30, 'T')); // a full title has no terminator
    body.replace(30, 6, "Artist");             // then zero padding
    body.replace(60, 9, "Alb\0junk!"s);        // cut at the first zero
    body.replace(90, 4, "1999");
    body.replace(94, 7, "comment");
    body[124] = static_cast<char>(255);
    Id3Tag tag;
    ASSERT_TRUE(ReadId3Tag(tagged("a.mp3", body, "tag"), tag)) << "the marker in any case";
    EXPECT_EQ(text(tag), std::string(30, 'T') + "|Artist|Alb|1999|comment|-1") << "255: no genre";

    body[124] = 17;
    ASSERT_TRUE(ReadId3Tag(tagged("b.mp3", body), tag));
    EXPECT_EQ(tag.genre, 17);

    // Failures leave the record as it was.
    Id3Tag untouched;
    untouched.title = "keep";
    EXPECT_FALSE(ReadId3Tag(writeFile("plain.mp3", std::string(400, 'x')), untouched));
    EXPECT_FALSE(ReadId3Tag(writeFile("short.mp3", "TAG" + std::string(97, 'x')), untouched));
    EXPECT_FALSE(ReadId3Tag(homePath("missing.mp3"), untouched));
    EXPECT_FALSE(ReadId3Tag(home(), untouched));
    EXPECT_EQ(untouched.title, "keep");
}

TEST_F(Id3Test, WritingReplacesOrAppends)
{
    const std::string file = writeFile("song.mp3", std::string(1000, 'm'));
    Id3Tag tag;
    tag.title = "Title";
    tag.artist = std::string(30, 'A');
    tag.year = "2024";
    tag.genre = -1;
    ASSERT_TRUE(WriteId3Tag(file, tag));
    std::string bytes = readFile(file);
    ASSERT_EQ(bytes.size(), 1128u) << "appended";
    EXPECT_EQ(bytes.substr(1000, 8), "TAGTitle");
    EXPECT_EQ(bytes.substr(1003 + 30, 30), std::string(30, 'A'));
    EXPECT_EQ(static_cast<unsigned char>(bytes.back()), 255) << "no genre is stored as 255";

    Id3Tag second;
    second.title = "Other";
    second.genre = 8;
    ASSERT_TRUE(WriteId3Tag(file, second));
    bytes = readFile(file);
    ASSERT_EQ(bytes.size(), 1128u) << "replaced, not appended";
    Id3Tag back;
    ASSERT_TRUE(ReadId3Tag(file, back));
    EXPECT_EQ(text(back), "Other|||||8") << "the rest of the record is zeros";

    // A lower-case marker is replaced too.
    const std::string lower = tagged("lower.mp3", std::string(125, 'z'), "tag");
    ASSERT_TRUE(WriteId3Tag(lower, second));
    EXPECT_EQ(readFile(lower).size(), 528u);
    // Too short to hold a tag, or missing.
    const std::string small = writeFile("small.mp3", std::string(100, 's'));
    EXPECT_FALSE(WriteId3Tag(small, second));
    EXPECT_FALSE(RemoveId3Tag(small));
    EXPECT_EQ(readFile(small), std::string(100, 's'));
    EXPECT_FALSE(WriteId3Tag(homePath("missing.mp3"), second));
}

TEST_F(Id3Test, Removing)
{
    const std::string plain = writeFile("plain.mp3", std::string(300, 'p'));
    EXPECT_TRUE(RemoveId3Tag(plain)) << "nothing to remove is success";
    EXPECT_EQ(readFile(plain), std::string(300, 'p'));
    const std::string file = tagged("t.mp3", std::string(125, 'x'));
    EXPECT_TRUE(RemoveId3Tag(file));
    EXPECT_EQ(readFile(file), std::string(400, 'a'));
    EXPECT_FALSE(RemoveId3Tag(homePath("missing.mp3")));
}

TEST_F(Id3Test, FieldsFromText)
{
    text::setLegacyCodePage("CP1252");
    EXPECT_EQ(Id3FieldFromText("Caf\xc3\xa9", 30), "Caf\xe9") << "the legacy code page first";
    EXPECT_EQ(Id3FieldText("Caf\xe9"), "Caf\xc3\xa9");
    // Korean is not CP1252: kept as UTF-8, cut between characters.
    const std::string korean = "\xed\x95\x9c\xea\xb8\x80";
    EXPECT_EQ(Id3FieldFromText(korean, 4), "\xed\x95\x9c");
    text::setLegacyCodePage("CP949");
    EXPECT_EQ(Id3FieldFromText(korean, 4), "\xc7\xd1\xb1\xdb");
    EXPECT_EQ(Id3FieldFromText(korean, 3), "\xc7\xd1") << "never half a character";
    EXPECT_EQ(Id3FieldText("\xc7\xd1\xb1\xdb"), korean);
    text::setLegacyCodePage("");
}

// A Japanese interface takes tags in Shift-JIS, as the Japanese system's code page made them.
// "ソ" and "表" end in 5C, a backslash on its own.
TEST_F(Id3Test, AJapaneseInterfaceReadsShiftJis)
{
    unsetenv("KOLVO_CODEPAGE");
    setInterfaceLanguage("ja");
    const QString japanese = QString::fromUtf8("ソング表示");
    const QByteArray sjis = QStringEncoder("Shift_JIS").encode(japanese);
    ASSERT_EQ(sjis.size(), 10);
    std::string body(125, '\0');
    body.replace(0, sjis.size(), sjis.toStdString());
    Id3Tag tag;
    ASSERT_TRUE(ReadId3Tag(tagged("j.mp3", body), tag));
    EXPECT_EQ(Id3FieldText(tag.title), japanese.toStdString());
    // And what is written goes back in Shift-JIS, never half a character.
    EXPECT_EQ(Id3FieldFromText(japanese.toStdString(), 30), sjis.toStdString());
    EXPECT_EQ(Id3FieldFromText(japanese.toStdString(), 9), sjis.left(8).toStdString());
    setInterfaceLanguage("");
}

TEST_F(Id3Test, FfprobeReadsWhatWeWrite)
{
    const std::string wav = homePath("tone.wav");
    const std::string mp3 = homePath("tone.mp3");
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 1 -b 16 '" + wav +
                           "' synth 0.5 sine 440 2>/dev/null && lame --quiet -t --noreplaygain '" +
                           wav + "' '" + mp3 + "'")
                              .c_str()),
              0);
    Id3Tag tag;
    tag.title = "Peer Title";
    tag.artist = "Peer Artist";
    tag.album = "Peer Album";
    tag.year = "2001";
    tag.genre = 17;
    ASSERT_TRUE(WriteId3Tag(mp3, tag));
    const auto probe = [&] {
        return albumtest::run("ffprobe", {"-v", "error", "-show_entries", "format_tags", "-of",
                                          "flat", QString::fromStdString(mp3)})
            .out;
    };
    const std::string tags = probe();
    EXPECT_NE(tags.find("format.tags.title=\"Peer Title\""), std::string::npos) << tags;
    EXPECT_NE(tags.find("format.tags.artist=\"Peer Artist\""), std::string::npos);
    EXPECT_NE(tags.find("format.tags.album=\"Peer Album\""), std::string::npos);
    EXPECT_NE(tags.find("format.tags.genre=\"Rock\""), std::string::npos);
    ASSERT_TRUE(RemoveId3Tag(mp3));
    EXPECT_EQ(probe().find("Peer Title"), std::string::npos);
}
