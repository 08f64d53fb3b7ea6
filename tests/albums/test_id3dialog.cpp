// The ID3 tag dialog on files made here, its results read back by python3-mutagen.
#include "albumtesting.h"

#include "albums/id3dialog.h"

namespace {

class Id3DialogTest : public albumtest::ToldTest
{
protected:
    void SetUp() override
    {
        ToldTest::SetUp();
        text::setLegacyCodePage("CP1252");
    }
    void TearDown() override
    {
        text::setLegacyCodePage("");
        ToldTest::TearDown();
    }

    // An MPEG audio file's body without a tag.
    std::string untagged(const std::string& name)
    {
        return writeFile(name, std::string(2000, '\xff'));
    }

    // What mutagen reads from the file's tag, one "FRAME=value" a line; "no tag" without one.
    static std::string mutagenView(const std::string& path)
    {
        const albumtest::Run r =
            albumtest::run("/usr/bin/python3", {"-c",
                                                "import sys, mutagen.id3\ntry:\n"
                                                "    t = mutagen.id3.ID3(sys.argv[1])\n"
                                                "except mutagen.id3.ID3NoHeaderError:\n"
                                                "    print('no tag'); sys.exit(0)\n"
                                                "for k in sorted(t.keys()):\n"
                                                "    print(k.split(':')[0] + '=' + str(t[k]))\n",
                                                QString::fromStdString(path)});
        return r.code == 0 ? r.out : "mutagen failed: " + r.err;
    }
};

} // namespace

TEST_F(Id3DialogTest, AnUntaggedFileGetsTheTagTypedAndLosesItAgain)
{
    const std::string file = untagged("music/Blue Train.mp3");
    Id3TagDialog d(file);
    EXPECT_FALSE(d.hadTag());
    EXPECT_EQ(d.fileLabel()->text(), QStringLiteral("Blue Train.mp3"));
    EXPECT_EQ(d.genreBox()->currentText(), QStringLiteral("(No Genre)"));
    EXPECT_EQ(d.genreBox()->currentData().toInt(), -1);
    EXPECT_EQ(d.genreBox()->itemText(1), QStringLiteral("Acapella")) << "in alphabetical order";
    d.titleEdit()->setText(QStringLiteral("  Blue Train "));
    d.artistEdit()->setText(QStringLiteral("John Doe Quartet"));
    d.albumEdit()->setText(QStringLiteral("Caf\u00e9 Sessions"));
    d.yearEdit()->setText(QStringLiteral("1957"));
    d.commentEdit()->setText(QStringLiteral("first take"));
    d.genreBox()->setCurrentIndex(d.genreBox()->findText(QStringLiteral("Jazz")));
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(mutagenView(file), "COMM=first take\nTALB=Caf\xc3\xa9 Sessions\nTCON=Jazz\n"
                                 "TDRC=1957\nTIT2=Blue Train\nTPE1=John Doe Quartet\n");
    EXPECT_EQ(QFileInfo(QString::fromStdString(file)).size(), 2128);
    const std::string bytes = readFile(file);
    EXPECT_EQ(bytes.substr(2000 + 63, 14), std::string("Caf\xe9 Sessions\0", 14))
        << "stored in the code page";

    // Opened again: the tag shows; Remove cuts it off and empties the fields.
    Id3TagDialog again(file);
    EXPECT_TRUE(again.hadTag());
    EXPECT_EQ(QStringList({again.titleEdit()->text(), again.albumEdit()->text(),
                           again.genreBox()->currentText()}),
              QStringList({"Blue Train", "Caf\u00e9 Sessions", "Jazz"}));
    QTest::mouseClick(again.removeButton(), Qt::LeftButton);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "ID3 tag of Blue Train.mp3 is removed.");
    EXPECT_TRUE(again.titleEdit()->text().isEmpty());
    EXPECT_EQ(again.genreBox()->currentData().toInt(), -1);
    EXPECT_EQ(mutagenView(file), "no tag\n");
    EXPECT_EQ(readFile(file), std::string(2000, '\xff'));
    // OK now, with nothing typed and no genre, writes nothing.
    again.accept();
    EXPECT_EQ(readFile(file), std::string(2000, '\xff'));
    // Removing from an untagged file succeeds and changes nothing.
    again.removeTag();
    EXPECT_EQ(told.back().text, "ID3 tag of Blue Train.mp3 is removed.");
    EXPECT_EQ(readFile(file), std::string(2000, '\xff'));
}

TEST_F(Id3DialogTest, FieldsTakeWhatTheTagHoldsAndTheGenreListNamesEveryGenre)
{
    const std::string file = untagged("a.mp3");
    Id3TagDialog d(file);
    d.show();
    QTest::keyClicks(d.titleEdit(), QString(31, QLatin1Char('t')));
    EXPECT_EQ(d.titleEdit()->text().size(), 30) << "a 31st character cannot be entered";
    QTest::keyClicks(d.yearEdit(), QStringLiteral("19577"));
    EXPECT_EQ(d.yearEdit()->text(), QStringLiteral("1957"));
    // Text the code page cannot hold is stored as UTF-8: ten three-byte characters fill it.
    for (int i = 0; i < 11; ++i)
        d.commentEdit()->insert(QString(QChar(0x3042))); // as typed through an input method
    EXPECT_EQ(d.commentEdit()->text(), QString(10, QChar(0x3042)));

    // "(No Genre)" and the 126 named genres, each with its number.
    EXPECT_EQ(d.genreBox()->count(), 127);
    EXPECT_EQ(d.genreBox()->itemText(0), QStringLiteral("(No Genre)"));
    EXPECT_EQ(d.genreBox()->itemData(d.genreBox()->findText(QStringLiteral("Sca"))).toInt(), 21);
    EXPECT_EQ(d.genreBox()->itemData(d.genreBox()->findText(QStringLiteral("Dance Hall"))).toInt(),
              125);
    d.accept();
    const std::string utf8 = QString(10, QChar(0x3042)).toStdString();
    EXPECT_EQ(readFile(file).substr(2000 + 97, 30), utf8) << "UTF-8, filling the field";

    // A comment that fills all 30 bytes reads to others as a shorter comment and a track
    // number (ID3v1.1); with nine characters mutagen reads the UTF-8 bytes as ISO-8859-1, as
    // the format says.
    Id3TagDialog again(file);
    EXPECT_EQ(again.commentEdit()->text(), QString(10, QChar(0x3042)));
    again.commentEdit()->setText(QString(9, QChar(0x3042)));
    again.accept();
    EXPECT_EQ(mutagenView(file), "COMM=" + QString::fromLatin1(utf8.substr(0, 27)).toStdString() +
                                     "\nTDRC=1957\nTIT2=" + std::string(30, 't') + "\n");
}

TEST_F(Id3DialogTest, ALowerCaseMarkerIsReplacedAndAnUnnamedGenreKept)
{
    // A tag in lower case with genre 200, which the table does not name.
    std::string tag = "tag" + std::string("Old").append(27, '\0') + std::string(30, '\0') +
                      std::string(30, '\0') + "1999" + std::string(30, '\0') + "\xc8";
    ASSERT_EQ(tag.size(), 128u);
    const std::string file = writeFile("b.mp3", std::string(500, '\xff') + tag);
    Id3TagDialog d(file);
    EXPECT_TRUE(d.hadTag());
    EXPECT_EQ(d.titleEdit()->text(), QStringLiteral("Old"));
    EXPECT_EQ(d.genreBox()->currentData().toInt(), -56);
    EXPECT_EQ(d.genreBox()->currentText(), QStringLiteral("(200)"));
    d.titleEdit()->setText(QStringLiteral("New"));
    d.accept();
    const std::string bytes = readFile(file);
    ASSERT_EQ(bytes.size(), 628u) << "replaced, not appended";
    EXPECT_EQ(bytes.substr(500, 6), "tagNew");
    EXPECT_EQ(static_cast<unsigned char>(bytes.back()), 200);

    // Genre 255 is no genre, and "(No Genre)" writes 255.
    std::string none = "TAG" + tag.substr(3);
    none.back() = '\xff';
    const std::string other = writeFile("c.mp3", std::string(500, '\xff') + none);
    Id3TagDialog e(other);
    EXPECT_EQ(e.genreBox()->currentText(), QStringLiteral("(No Genre)"));
    e.selectGenre(8);
    EXPECT_EQ(e.genreBox()->currentText(), QStringLiteral("Jazz"));
    e.selectGenre(-1);
    e.accept();
    EXPECT_EQ(static_cast<unsigned char>(readFile(other).back()), 255);
    EXPECT_EQ(mutagenView(other), "TDRC=1999\nTIT2=Old\n");
}

// A WAVE file keeps its tags inside its own chunks: OK says why no ID3 tag is written, the
// dialog stays, and the file is left as it was.
TEST_F(Id3DialogTest, AWaveFileIsNotGivenAnId3Tag)
{
    const std::string header("RIFF\x24\x08\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0"
                             "\x80\x3e\0\0\x02\0\x10\0data\0\x08\0\0",
                             44);
    const std::string wave = writeFile("take.wav", header + std::string(2048, '\x10'));
    Id3TagDialog d(wave);
    d.show();
    d.titleEdit()->setText(QStringLiteral("Take One"));
    d.accept();
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text.rfind("Kolvo does not write an ID3 tag into take.wav: ", 0), 0u)
        << told[0].text;
    EXPECT_NE(told[0].text.find("MPEG audio"), std::string::npos) << told[0].text;
    EXPECT_EQ(readFile(wave), header + std::string(2048, '\x10'));
}

TEST_F(Id3DialogTest, AFileThatCannotBeWrittenIsToldAndTheDialogStays)
{
    const std::string small = writeFile("small.mp3", std::string(100, '\xff'));
    Id3TagDialog d(small);
    d.show();
    d.titleEdit()->setText(QStringLiteral("Too small"));
    d.accept();
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "Fail to write ID3 Tag.");
    EXPECT_EQ(told[0].caption, "Error");
    d.removeTag();
    EXPECT_EQ(told.back().text, "Can't remove ID3 tag of small.mp3.");
    EXPECT_EQ(readFile(small), std::string(100, '\xff'));

    // A read-only file; permissions do not stop root, so as root the write runs as nobody.
    forget();
    const std::string locked = untagged("ro/locked.mp3");
    ::chmod(locked.c_str(), 0444);
    Id3TagDialog r(locked);
    r.show();
    r.titleEdit()->setText(QStringLiteral("Mine"));
    albumtest::AsNobody nobody(locked, home());
    r.accept();
    r.removeTag();
    nobody.back();
    EXPECT_TRUE(r.isVisible());
    EXPECT_EQ(r.titleEdit()->text(), QStringLiteral("Mine")) << "what was typed stays";
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].text, "Fail to write ID3 Tag.\nPermission denied");
    EXPECT_EQ(told[1].text, "Can't remove ID3 tag of locked.mp3.\nPermission denied");
    EXPECT_EQ(readFile(locked), std::string(2000, '\xff'));
}

TEST_F(Id3DialogTest, AddressesAreRefused)
{
    EditId3Tag(nullptr, "http://radio.example/stream.mp3");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, "Can't edit remote file.");
}

TEST_F(Id3DialogTest, Screenshot)
{
    std::string tag = "TAG" + std::string("Moment's Notice").append(15, '\0') +
                      std::string("John Doe Quartet").append(14, '\0') +
                      std::string("Blue Train").append(20, '\0') + "1957" +
                      std::string("remastered").append(20, '\0') + "\x08";
    const std::string file = writeFile("Moment's Notice.mp3", std::string(1000, '\xff') + tag);
    Id3TagDialog d(file);
    d.show();
    albumtest::saveReviewShot(d, QStringLiteral("id3-tag-dialog.png"));
    EXPECT_EQ(d.genreBox()->currentText(), QStringLiteral("Jazz"));
}
