// Tags other programs wrote (python3-mutagen, ffmpeg) as song names show them, and a tag edit
// that keeps them in step: what mutagen reads back after Kolvo wrote is what Kolvo shows.
#include "albumtesting.h"

#include "albums/filetags.h"
#include "albums/id3tag.h"
#include "albums/songname.h"

namespace {

class FileTagsTest : public KolvoHomeTest
{
protected:
    // Runs a program; its standard output, or "!" and its error output when it failed.
    static std::string run(const QString& program, const QStringList& args)
    {
        const albumtest::Run r = albumtest::run(program, args);
        return r.code == 0 ? r.out : "!" + r.err;
    }
    // Python with mutagen: `code` sees the file as `path`.
    static std::string mutagen(const std::string& path, const std::string& code)
    {
        return run("/usr/bin/python3",
                   {"-c", QString::fromStdString("import sys\npath = sys.argv[1]\n" + code),
                    QString::fromStdString(path)});
    }
    // A second of tone in `name`, encoded by ffmpeg with the given metadata options.
    std::string encoded(const std::string& name, const QStringList& options)
    {
        const std::string out = homePath(name);
        QStringList args{
            "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1"};
        args << options << QString::fromStdString(out);
        EXPECT_EQ(run("ffmpeg", args).rfind('!', 0), std::string::npos) << name;
        return out;
    }
    static Id3Tag v1(const std::string& title, const std::string& artist)
    {
        Id3Tag t;
        t.title = Id3FieldFromText(title, 30);
        t.artist = Id3FieldFromText(artist, 30);
        return t;
    }
};

} // namespace

TEST_F(FileTagsTest, NamesComeFromTheTagsOtherProgramsWrote)
{
    // MPEG audio with only an ID3 version 2.3 or 2.4 tag (UTF-16 and UTF-8 text), or only APE.
    const std::string mp3 = encoded("v23.mp3", {"-c:a", "libmp3lame", "-write_xing", "0",
                                                "-id3v2_version", "0", "-write_id3v1", "0"});
    ASSERT_EQ(mutagen(mp3, "from mutagen.id3 import ID3, TIT2, TPE1\nt = ID3()\n"
                           "t.add(TIT2(encoding=1, text='Zwölf Boxkämpfer jagen Viktor quer "
                           "über den großen Sylter Deich'))\n"
                           "t.add(TPE1(encoding=1, text='Bänd'))\nt.save(path, v2_version=3)\n"),
              "");
    EXPECT_EQ(SongDisplayName(mp3, true), "v23.mp3,  [Zwölf Boxkämpfer jagen Viktor quer über den "
                                          "großen Sylter Deich / Bänd]");
    EXPECT_EQ(SongDisplayName(mp3, false), "v23.mp3");

    const std::string v24 =
        encoded("v24.mp3", {"-c:a", "libmp3lame", "-metadata", "title=Vier", "-metadata",
                            "artist=Ffmpeg", "-id3v2_version", "4", "-write_id3v1", "0"});
    EXPECT_EQ(SongDisplayName(v24, true), "v24.mp3,  [Vier / Ffmpeg]");

    const std::string ape =
        encoded("ape.mp3", {"-c:a", "libmp3lame", "-id3v2_version", "0", "-write_id3v1", "0"});
    ASSERT_EQ(mutagen(ape, "from mutagen.apev2 import APEv2\nt = APEv2()\n"
                           "t['Title'] = 'Ape Title'\nt.save(path)\n"),
              "");
    EXPECT_EQ(SongDisplayName(ape, true), "ape.mp3,  [Ape Title]");

    // Vorbis comments of Ogg and FLAC (written by ffmpeg and by mutagen), MP4 atoms, Opus.
    EXPECT_EQ(SongDisplayName(encoded("a.ogg", {"-c:a", "libvorbis", "-metadata", "title=Ogg Song",
                                                "-metadata", "artist=Ogg Band"}),
                              true),
              "a.ogg,  [Ogg Song / Ogg Band]");
    const std::string flac = encoded("a.flac", {"-c:a", "flac"});
    ASSERT_EQ(mutagen(flac, "from mutagen.flac import FLAC\nf = FLAC(path)\n"
                            "f['title'] = 'Flac Song'\nf['artist'] = 'Flac Band'\nf.save()\n"),
              "");
    EXPECT_EQ(SongDisplayName(flac, true), "a.flac,  [Flac Song / Flac Band]");
    EXPECT_EQ(SongDisplayName(encoded("a.m4a", {"-c:a", "aac", "-metadata", "title=Mp4 Song",
                                                "-metadata", "artist=Mp4 Band"}),
                              true),
              "a.m4a,  [Mp4 Song / Mp4 Band]");
    EXPECT_EQ(
        SongDisplayName(encoded("a.opus", {"-c:a", "libopus", "-metadata", "artist=Opus"}), true),
        "a.opus,  [Opus]");
    // No tag at all: the file name.
    EXPECT_EQ(SongDisplayName(encoded("bare.ogg", {"-c:a", "libvorbis"}), true), "bare.ogg");

    // The ID3v1 tag names MPEG audio as designed; what it leaves empty the newer tag fills in.
    Id3Tag only = v1("Version One", "");
    ASSERT_TRUE(WriteId3Tag(mp3, only));
    EXPECT_EQ(SongDisplayName(mp3, true), "v23.mp3,  [Version One / Bänd]");
}

// An ID3v1 edit of a file that also carries a newer tag writes the changed fields there too, so
// that other players agree; fields the edit left alone keep their longer text; the ID3 version
// 2.3 tag stays 2.3 and the ID3v1 tag is Kolvo's own.
TEST_F(FileTagsTest, AnEditKeepsTheNewerTagsInStep)
{
    const std::string mp3 =
        encoded("song.mp3", {"-c:a", "libmp3lame", "-id3v2_version", "0", "-write_id3v1", "0"});
    ASSERT_EQ(mutagen(mp3, "from mutagen.id3 import ID3, TIT2, TPE1, TALB\nt = ID3()\n"
                           "t.add(TIT2(encoding=3, text='Old Title'))\n"
                           "t.add(TPE1(encoding=3, text='An Artist Whose Name Is Longer Than "
                           "Thirty Bytes'))\nt.add(TALB(encoding=3, text='Album'))\n"
                           "t.save(path, v2_version=3)\n"),
              "");
    // As the tag editor starts on a file without ID3v1: an empty record.
    const Id3Tag before;
    Id3Tag after = v1("Neue Straße", "");
    after.year = "1999";
    after.genre = 17;
    std::string why;
    ASSERT_EQ(WriteSongTag(mp3, before, after, &why), TagWrite::Written) << why;

    Id3Tag read;
    ASSERT_TRUE(ReadId3Tag(mp3, read));
    EXPECT_EQ(Id3FieldText(read.title), "Neue Straße");
    EXPECT_EQ(read.genre, 17);
    EXPECT_EQ(mutagen(mp3, "from mutagen.id3 import ID3\nt = ID3(path)\n"
                           "print(t.version[1], t['TIT2'], t['TPE1'], t['TALB'], "
                           "t.getall('TDRC')[0] if t.getall('TDRC') else t['TYER'], t['TCON'])\n"),
              "3 Neue Straße An Artist Whose Name Is Longer Than Thirty Bytes Album 1999 Rock\n");
    EXPECT_EQ(SongDisplayName(mp3, true),
              "song.mp3,  [Neue Straße / An Artist Whose Name Is Longer Than Thirty Bytes]");

    // A second edit from what the file now holds changes only the artist.
    Id3Tag again = read;
    again.artist = Id3FieldFromText("Short", 30);
    ASSERT_EQ(WriteSongTag(mp3, read, again, &why), TagWrite::Written) << why;
    EXPECT_EQ(mutagen(mp3, "from mutagen.id3 import ID3\nt = ID3(path)\n"
                           "print(t['TIT2'], '/', t['TPE1'])\n"),
              "Neue Straße / Short\n");
    // The file still plays as MPEG audio from its first frame: mutagen finds the stream.
    EXPECT_EQ(mutagen(mp3, "from mutagen.mp3 import MP3\nprint(round(MP3(path).info.length))\n"),
              "1\n");

    // An APE tag is kept in step the same way.
    const std::string ape =
        encoded("ape.mp3", {"-c:a", "libmp3lame", "-id3v2_version", "0", "-write_id3v1", "0"});
    ASSERT_EQ(mutagen(ape, "from mutagen.apev2 import APEv2\nt = APEv2()\nt['Title'] = 'Before'\n"
                           "t['Artist'] = 'Kept'\nt.save(path)\n"),
              "");
    ASSERT_EQ(WriteSongTag(ape, Id3Tag{}, v1("After", ""), &why), TagWrite::Written) << why;
    EXPECT_EQ(mutagen(ape, "from mutagen.apev2 import APEv2\nt = APEv2(path)\n"
                           "print(t['Title'], t['Artist'])\n"),
              "After Kept\n");
    ASSERT_TRUE(ReadId3Tag(ape, read));
    EXPECT_EQ(read.title, "After");
}

// WAVE, FLAC, Ogg and MP4 files keep their tags inside their own structure: an ID3v1 tag is not
// appended to them, the refusal says why, and the file is left byte for byte as it was. A file
// that already ends with an ID3v1 tag may have it rewritten.
TEST_F(FileTagsTest, ATagEditOnAFileThatIsNotMpegAudioIsRefused)
{
    const std::string wav = encoded("a.wav", {"-c:a", "pcm_s16le"});
    const std::string flac = encoded("b.flac", {"-c:a", "flac", "-metadata", "title=Kept"});
    const std::string ogg = encoded("c.ogg", {"-c:a", "libvorbis"});
    // A WAVE whose name says MPEG is judged by its bytes.
    const std::string named = homePath("wave.mp3");
    ASSERT_EQ(run("cp", {QString::fromStdString(wav), QString::fromStdString(named)}), "");
    for (const std::string& path : {wav, flac, ogg, named}) {
        SCOPED_TRACE(path);
        const std::string was = readFile(path);
        std::string why;
        EXPECT_FALSE(Id3v1Belongs(path));
        EXPECT_EQ(WriteSongTag(path, Id3Tag{}, v1("Title", "Artist"), &why),
                  TagWrite::NotMpegAudio);
        EXPECT_NE(why.find("MPEG audio"), std::string::npos) << why;
        EXPECT_EQ(readFile(path), was);
    }
    EXPECT_EQ(SongDisplayName(flac, true), "b.flac,  [Kept]");

    // kolvo-cli says so too, and fails.
    const std::string was = readFile(wav);
    const std::string out = run(QString::fromStdString(builtProgram("kolvo-cli")),
                                {"id3", "write", QString::fromStdString(wav), "--title", "X"});
    EXPECT_EQ(out.rfind("!", 0), 0u);
    EXPECT_NE(out.find("not writing an ID3 tag"), std::string::npos) << out;
    EXPECT_EQ(readFile(wav), was);

    // A plain MPEG file of any content and one that already ends with a tag take it.
    const std::string plain = writeFile("plain.mp3", std::string(2000, '\xff'));
    EXPECT_EQ(WriteSongTag(plain, Id3Tag{}, v1("T", "A")), TagWrite::Written);
    const std::string odd =
        writeFile("odd.bin", std::string(300, 'x') + "TAG" + std::string(125, '\0'));
    EXPECT_TRUE(Id3v1Belongs(odd));
    EXPECT_EQ(WriteSongTag(odd, Id3Tag{}, v1("T", "A")), TagWrite::Written);
    EXPECT_EQ(readFile(odd).size(), 428u);
}
