#include "albums/playlist.h"
#include "app/commandline.h"
#include "support/testhome.h"

#include <cstdlib>

namespace {

AppCommandLineInfo parse(const QStringList& args)
{
    AppCommandLineInfo info;
    info.ParseCommandLine(args);
    return info;
}

using CommandLineTest = KolvoHomeTest;

} // namespace

TEST_F(CommandLineTest, ModeFlagsMatchWholeWordsInAnyCase)
{
    int mode = 1;
    for (const char* flag :
         {"/playaudiocd", "-PlayVideoCD", "/PLAYAUDIO", "-playmidi", "/playvideo", "/playcd"})
        EXPECT_EQ(parse({flag}).startMode, mode++) << flag;
    EXPECT_EQ(parse({"/playaudioc"}).startMode, -1) << "a prefix of a flag is no flag";
    EXPECT_EQ(parse({"/playaudiocdx"}).startMode, -1);
    EXPECT_EQ(parse({"/playmidi", "/playvideo"}).startMode, 5) << "a later mode flag wins";
    EXPECT_TRUE(parse({"/playaudio"}).showSplash) << "resolution, not parsing, clears the splash";
    EXPECT_FALSE(parse({"/NoSplash"}).showSplash);
    EXPECT_EQ(parse({"/nosplash"}).startMode, -1);
}

TEST_F(CommandLineTest, VolumeAndTimerCommands)
{
    auto info = parse({"/volume:70000", "-timer:0", "/timer:5000", "/volume: -1", "/timer:  +45min",
                       "/volume:abc", "/timer:1"});
    ASSERT_EQ(info.commandCount, 7);
    // -1 is masked to 16 bits, no digits read as 0; a zero word ends the list.
    EXPECT_EQ(
        std::vector<std::uint32_t>(info.startCommands.begin(), info.startCommands.begin() + 8),
        (std::vector<std::uint32_t>{0x11170, 0x20001, 0x20000 | 2376, 0x1FFFF, 0x20000 | 45,
                                    0x10000, 0x20001, 0}));

    // The prefixes are case-sensitive.
    EXPECT_EQ(parse({"/Volume:50", "/TIMER:5"}).commandCount, 0);

    // Only the first ten are kept, in order.
    QStringList eleven;
    for (int i = 1; i <= 11; ++i)
        eleven << QStringLiteral("/volume:%1").arg(i);
    auto many = parse(eleven);
    ASSERT_EQ(many.commandCount, 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(many.startCommands[i], 0x10000u | static_cast<unsigned>(i + 1));

    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingInt("- 5"), 0);
    EXPECT_EQ(ParseLeadingInt("12x34"), 12);
}

TEST_F(CommandLineTest, TheLastFileNameIsKeptAbsolute)
{
    const std::string song = writeFile("music/a song.mp3", "x");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(homePath("music")));
    auto info = parse({"first.wav", "./a song.mp3", "/nosplash"});
    QDir::setCurrent(previous);
    EXPECT_EQ(info.fileName, song) << "made absolute and clean";
    EXPECT_FALSE(info.showSplash);

    // Names that cannot be resolved stay as they were given.
    EXPECT_EQ(parse({"missing.mp3"}).fileName, "missing.mp3");
    EXPECT_EQ(parse({"http://radio.example/stream.mp3"}).fileName,
              "http://radio.example/stream.mp3");

    // An absolute path is a file, not a flag, though it starts with "/".
    EXPECT_EQ(parse({"/tmp/nowhere/x.mp3"}).fileName, "/tmp/nowhere/x.mp3");
    EXPECT_EQ(parse({"/tmp/nowhere/x.mp3"}).startMode, -1);
    EXPECT_TRUE(IsFlagParameter("/playaudio"));
    EXPECT_TRUE(IsFlagParameter("-x/y"));
    EXPECT_FALSE(IsFlagParameter("/tmp"));
    EXPECT_FALSE(IsFlagParameter("song.mp3"));

    // Past the longest path the system takes, a name is refused, not cut.
    const std::string tooLong(kMaxFileNameBytes + 1, 'a');
    auto refused = parse({"kept.mp3", QString::fromStdString(tooLong)});
    EXPECT_EQ(refused.fileName, "kept.mp3");
    const std::string longest(kMaxFileNameBytes, 'b');
    EXPECT_EQ(parse({QString::fromStdString(longest)}).fileName, longest);
}

TEST_F(CommandLineTest, StartModeFollowsTheFilesFamily)
{
    const struct
    {
        const char* name;
        int mode;
    } cases[] = {
        {"tone.mp3", 3}, {"TONE.WAV", 3},   {"a.aiff", 3},       {"a.ra", 3},  {"song.mid", 4},
        {"k.kar", 4},    {"ims.ims", 4},    {"m.xm", 4},         {"v.avi", 5}, {"v.mpg", 5},
        {"a.rm", 5},     {"a.ram", 5},      {"l.m3u", 3},        {"l.PLS", 3}, {"album.ini", 3},
        {"s.ogg", 3},    {"s.FLAC", 3},     {"s.opus", 3},       {"s.m4a", 3}, {"s.wma", 3},
        {"s.wv", 3},     {"notes.txt", -1}, {"noextension", -1},
    };
    for (const auto& c : cases) {
        AppCommandLineInfo info = parse({c.name});
        ResolveStartMode(info, "");
        EXPECT_EQ(info.startMode, c.mode) << c.name;
        EXPECT_EQ(info.showSplash, c.mode == -1) << c.name;
    }
    // A mode flag is not overridden by the file's kind.
    AppCommandLineInfo midiAsVideo = parse({"/playvideo", "song.mid"});
    ResolveStartMode(midiAsVideo, "");
    EXPECT_EQ(midiAsVideo.startMode, 5);
}

// Several files, or folders, are one temporary play list of the audio among them.
TEST_F(CommandLineTest, AFolderBecomesAPlayListAndOfSeveralNamesTheLastCounts)
{
    const std::string b = writeFile("m/b.mp3", "x"), a = writeFile("m/a.flac", "x");
    writeFile("m/notes.txt", "x");
    writeFile("m/cover.jpg", "x");
    writeFile("m/own.m3u", homePath("elsewhere.mp3") + "\n");
    const std::string deep = writeFile("m/Disc 1/01 intro.ogg", "x");
    const std::string song = writeFile("m/c.wav", "x");
    const std::string other = writeFile("x/z.opus", "x");

    AppCommandLineInfo folder = parse({QString::fromStdString(homePath("m"))});
    ResolveStartMode(folder, "");
    EXPECT_EQ(folder.startMode, StartModeAudio);
    EXPECT_TRUE(folder.fileIsTemporary);
    EXPECT_EQ(folder.fileName, TempPlayListPath());
    EXPECT_EQ(readFile(folder.fileName), a + "\n" + b + "\n" + song + "\n" + deep + "\n")
        << "name order, the sub-folder in its place; no pictures, notes or the folder's list";

    // Several names: the last one is the file, as the command line always had it.
    AppCommandLineInfo several =
        parse({QString::fromStdString(song), "/nosplash", QString::fromStdString(homePath("x")),
               QString::fromStdString(b)});
    ResolveStartMode(several, "");
    EXPECT_EQ(several.startMode, StartModeAudio);
    EXPECT_EQ(several.fileName, b);
    EXPECT_FALSE(several.fileIsTemporary);

    // One file stays itself; names of which nothing plays leave the last name, as before.
    AppCommandLineInfo one = parse({QString::fromStdString(b)});
    ResolveStartMode(one, "");
    EXPECT_EQ(one.fileName, b);
    EXPECT_FALSE(one.fileIsTemporary);
    AppCommandLineInfo none = parse({QString::fromStdString(homePath("m/notes.txt")), "song.mid"});
    ResolveStartMode(none, "");
    EXPECT_EQ(none.fileName, "song.mid");
    EXPECT_EQ(none.startMode, StartModeMidi);

    // The hand-over carries the list's path in the designed layout.
    HandoverRecord record;
    const std::vector<std::uint8_t> block = BuildHandoverRecord(folder);
    ASSERT_TRUE(ParseHandoverRecord(block.data(), block.size(), record));
    EXPECT_EQ(record.fileName, TempPlayListPath());
    EXPECT_EQ(record.startMode, StartModeAudio);
}

TEST_F(CommandLineTest, PlayCdAsksTheDrive)
{
    const std::string tool = std::string(KOLVO_SOURCE_DIR) + "/tools/make-test-disc";
    ASSERT_EQ(std::system((tool + " audio '" + homePath("audio.cue") + "' 1 1").c_str()), 0);
    ASSERT_EQ(std::system((tool + " video '" + homePath("video.cue") + "' 1").c_str()), 0);

    auto resolveWith = [](const std::string& drive) {
        AppCommandLineInfo info = parse({"/playcd"});
        ResolveStartMode(info, drive);
        return info;
    };
    EXPECT_EQ(resolveWith(homePath("audio.cue")).startMode, 1);
    EXPECT_EQ(resolveWith(homePath("video.cue")).startMode, 2);
    const AppCommandLineInfo none = resolveWith("");
    EXPECT_EQ(none.startMode, -1);
    EXPECT_TRUE(none.showSplash) << "nothing to play: the splash stays";
    EXPECT_EQ(resolveWith(homePath("gone.cue")).startMode, -1);
}

TEST(HandoverRecord, LayoutIsByteExact)
{
    AppCommandLineInfo info;
    info.startCommands[0] = 0x11170;
    info.startCommands[1] = 0x20005;
    info.commandCount = 2;
    info.startMode = 3;
    info.fileName = "/m/a.mp3";
    const auto block = BuildHandoverRecord(info);
    std::vector<std::uint8_t> expected{0x70, 0x11, 0x01, 0x00, 0x05, 0x00, 0x02, 0x00};
    expected.resize(40); // the other eight commands, zero
    const std::string name = "/m/a.mp3";
    expected.insert(expected.end(), {3, 0, 0, 0});
    expected.insert(expected.end(), name.begin(), name.end());
    expected.push_back(0);
    EXPECT_EQ(block, expected);

    info.fileName.clear();
    info.startMode = -1;
    const auto empty = BuildHandoverRecord(info);
    ASSERT_EQ(empty.size(), 45u) << "no file name is a single zero byte";
    EXPECT_EQ(empty[40], 0xFF);
    EXPECT_EQ(empty[43], 0xFF);

    HandoverRecord back;
    ASSERT_TRUE(ParseHandoverRecord(block.data(), block.size(), back));
    EXPECT_EQ(back.startMode, 3);
    EXPECT_EQ(back.fileName, "/m/a.mp3");
    EXPECT_EQ(back.startCommands[1], 0x20005u);
    ASSERT_TRUE(ParseHandoverRecord(empty.data(), empty.size(), back));
    EXPECT_EQ(back.startMode, -1);
    EXPECT_EQ(back.fileName, "");
}

TEST(HandoverRecord, BrokenRecordsAreRefused)
{
    HandoverRecord r;
    std::vector<std::uint8_t> block(44, 1);
    EXPECT_FALSE(ParseHandoverRecord(block.data(), block.size(), r)) << "no room for the name";
    block.assign(60, 'a');
    EXPECT_FALSE(ParseHandoverRecord(block.data(), block.size(), r)) << "name not terminated";
    EXPECT_FALSE(ParseHandoverRecord(nullptr, 100, r));
    block[59] = 0;
    EXPECT_TRUE(ParseHandoverRecord(block.data(), block.size(), r));
    EXPECT_EQ(r.fileName.size(), 15u);
}
