// The digital copy of CD tracks from generated disc images: the designed names, WAVE files
// bit-exact against the image's track data, MP3s that decode with the album's tags, RealAudio
// files that keep the track's length and tone, blocks of
// 300 frames, cancel in the middle of a block, the failures, the window and kolvo-cli cd copy.
#include "cd/cdtest.h"
#include "recordtest.h"
#include "support/testhome.h"

#include "albums/album.h"
#include "record/cdcopy.h"
#include "record/cdcopydialog.h"
#include "record/kcddaengine.h"
#include "record/soundcardrecording.h"
#include "record/wavefile.h"

#include <gmock/gmock.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace record;
using namespace recordtest;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

struct Events : CdCopier::Listener
{
    std::vector<std::string> statuses;
    std::vector<std::string> messages;
    std::map<int, std::string> files;
    int lastOverall = 0;
    bool isEnded = false;
    bool allDone = false;

    std::function<void(CdCopier::RowIcon)> onIcon;
    void rowIcon(int, CdCopier::RowIcon icon) override
    {
        if (onIcon)
            onIcon(icon);
    }
    void rowFile(int row, const std::string& path) override { files[row] = path; }
    void rowStatus(int row, const std::string& text) override
    {
        statuses.push_back(std::to_string(row) + ": " + text);
    }
    void bars(int percent, int overall) override
    {
        EXPECT_GE(overall, lastOverall) << "the overall bar goes forward";
        EXPECT_LE(percent, 100);
        lastOverall = overall;
    }
    void message(const std::string& text) override { messages.push_back(text); }
    void ended(bool done) override
    {
        isEnded = true;
        allDone = done;
    }
};

bool runUntilEnded(const Events& events, int ms = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!events.isEnded && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return events.isEnded;
}

// The bytes of sectors [from, to) of an image's .bin.
std::string sectors(const std::string& cue, int from, int to)
{
    const std::string bin = cue.substr(0, cue.size() - 4) + ".bin";
    return readBytes(bin).substr(static_cast<size_t>(from) * 2352,
                                 static_cast<size_t>(to - from) * 2352);
}

std::string samplesOf(const std::string& wav)
{
    WAVEFORMATEX format;
    const auto data = readWaveFile(wav, format);
    return data ? std::string(data->begin(), data->end()) : std::string("(unreadable)");
}

// The album key of a disc image as the CD engine lays it out.
std::string albumKeyOf(const std::string& cue)
{
    CdTrackTable table;
    QObject target;
    if (KCDDAEngine_Open(cue, &target, nullptr, table) <= 0)
        return "(no disc)";
    std::vector<std::int32_t> frames;
    std::int32_t leadOut = 0;
    const bool laidOut = KCDDAEngine_DiscLayout(frames, leadOut);
    KCDDAEngine_Close();
    return laidOut ? cdAlbumKey(frames, leadOut) : "(no layout)";
}

class CdCopyTest : public KolvoHomeTest
{
protected:
    // Runs a copy to its end: what the copier told; its files in `files`. No temporary file
    // is left.
    Events copy(RecordJob& j, std::vector<std::string>* files = nullptr)
    {
        Events events;
        CdCopier copier(j, events);
        copier.start();
        EXPECT_TRUE(runUntilEnded(events));
        if (files)
            *files = copier.producedFiles();
        EXPECT_FALSE(fs::exists(copier.temporaryPath()));
        return events;
    }
    RecordJob job(const std::string& drive, std::vector<std::uint32_t> tracks, int type = 0)
    {
        RecordJob j;
        j.drive = drive;
        j.recordType = type;
        j.directory = home();
        j.selectedTracks = std::move(tracks);
        return j;
    }
};

} // namespace

TEST(CdCopyNames, AsDesigned)
{
    RecordJob job;
    job.directory = "/music";
    job.artist = "A";
    job.albumTitle = "B";
    job.trackTitles = {"One", "", "Three", "", "", "", "Blue"};
    EXPECT_EQ(cdOutputPath(job, 7), "/music/A-B-07-Blue.wav");
    job.useSongInfoSinger = false;
    EXPECT_EQ(cdOutputPath(job, 7), "/music/B-07-Blue.wav");
    job.useSongInfoTrackNumber = false;
    job.useSongInfoAlbumTitle = false;
    EXPECT_EQ(cdOutputPath(job, 7), "/music/Blue.wav");
    job.useSongInfo = false;
    EXPECT_EQ(cdOutputPath(job, 7), "/music/07-Track.wav");
    job.useSongInfo = true;
    EXPECT_EQ(cdOutputPath(job, 2), "/music/02-Track.wav") << "no title: the track's number";
    job.recordType = 1;
    EXPECT_EQ(cdOutputPath(job, 1), "/music/One.mp3");
    job.recordType = 2;
    EXPECT_EQ(cdOutputPath(job, 1), "/music/One.ra");
    job.recordType = 0;
    job.trackTitles[0] = "No. 1";
    EXPECT_EQ(cdOutputPath(job, 1), "/music/No. 1") << "a period suppresses the extension";
    job.directory = "/my.music/";
    EXPECT_EQ(cdOutputPath(job, 3), "/my.music/Three");
    job.directory = "/music";
    job.trackTitles[2] = "AC/DC";
    EXPECT_EQ(cdOutputPath(job, 3), "/music/AC-DC.wav") << "a slash would make a folder";
}

TEST_F(CdCopyTest, TheAlbumKeyIsTheCdPlayers)
{
    for (const char* layout : {"5 9.3 2", "3 4"}) {
        const std::string cue =
            cdtest::disc(std::string("key") + (layout[2] == '9' ? "3" : "2"), layout);
        ASSERT_FALSE(cue.empty());
        EXPECT_THAT(kolvoCli("cd toc " + quoted(cue)).output,
                    HasSubstr("album key: " + albumKeyOf(cue) + "\n"));
    }
}

TEST_F(CdCopyTest, WaveCopiesAreBitExactInBlocksOfThreeHundredFrames)
{
    // 250 frames (one block), 301 (a block of 300 and one of 1), 700 frames.
    const std::string cue = cdtest::disc("blocks", "3.3333 4.0133 9.3333");
    ASSERT_FALSE(cue.empty());
    RecordJob j = job(cue, {2, 1, 3});
    j.trackTitles = {"First", "Second", "Third"};
    j.artist = "Ann";
    std::vector<std::string> files;
    const Events events = copy(j, &files);
    EXPECT_TRUE(events.allDone);
    EXPECT_TRUE(events.messages.empty());
    const std::vector<std::string> names = {
        homePath("Ann-02-Second.wav"), homePath("Ann-01-First.wav"), homePath("Ann-03-Third.wav")};
    EXPECT_EQ(files, names);
    EXPECT_EQ(samplesOf(names[0]), sectors(cue, 250, 551));
    EXPECT_EQ(samplesOf(names[1]), sectors(cue, 0, 250));
    EXPECT_EQ(samplesOf(names[2]), sectors(cue, 551, 1251));
    EXPECT_TRUE(j.selectedTracks.empty());
    EXPECT_EQ(events.lastOverall, 300);
    // The status line of the block boundary of track 2 (300 of 301 frames) and the end.
    EXPECT_THAT(events.statuses, testing::Contains("0: 99 % - [0:04 / 0:04]"));
    EXPECT_EQ(events.statuses.back(), "2: Done");
    EXPECT_EQ(events.files.at(1), names[1]);

    // sox reads them as CD sound.
    const RunResult info = run("soxi " + quoted(names[2]));
    EXPECT_THAT(info.output, HasSubstr("44100"));
    EXPECT_THAT(info.output, HasSubstr("00:00:09.33 = 411600 samples"));

    // Another recording format is converted to.
    RecordJob mono = job(cue, {1});
    mono.recordFormat = MakePcmFormat(22050, 8, 1);
    mono.useSongInfo = false;
    EXPECT_TRUE(copy(mono).allDone);
    const RunResult stat = run("soxi " + quoted(homePath("01-Track.wav")));
    EXPECT_THAT(stat.output, HasSubstr("22050"));
    EXPECT_THAT(stat.output, HasSubstr("Channels       : 1"));
}

TEST_F(CdCopyTest, MpegCopiesDecodeAndCarryTheAlbumsTags)
{
    const std::string cue = cdtest::disc("mp3", "6 3");
    ASSERT_FALSE(cue.empty());
    RecordJob j = job(cue, {1, 2}, 1);
    j.trackTitles = {"Morning", "Blue"};
    j.artist = "Ann";
    j.albumTitle = "Days";
    j.useSongInfoAlbumTitle = false;
    j.mpegProfile = 2; // 192 kbps
    std::vector<std::string> files;
    EXPECT_TRUE(copy(j, &files).allDone);
    EXPECT_EQ(files, (std::vector<std::string>{homePath("Ann-01-Morning.mp3"),
                                               homePath("Ann-02-Blue.mp3")}));
    EXPECT_NEAR(decodedSeconds(homePath("Ann-02-Blue.mp3"), homePath("d.wav")), 3.0, 0.05);
    EXPECT_EQ(python("import mutagen.id3, mutagen.mp3\nf = '" + homePath("Ann-02-Blue.mp3") +
                     "'\nt = mutagen.id3.ID3(f)\n"
                     "print(t['TIT2'].text[0], t['TPE1'].text[0], t['TALB'].text[0], "
                     "round(mutagen.mp3.MP3(f).info.bitrate / 1000))\n"),
              "Blue Ann Days 192\n");
}

// RealAudio 1.0: 8 kHz mono 14.4 files of the tracks' lengths (within 50 ms), titled by
// track and by the artist, in which each track's tone (220 Hz x (n + 1)) is still heard.
TEST_F(CdCopyTest, RealAudioCopiesKeepTheTracksLengthAndTone)
{
    const std::string cue = cdtest::disc("ra", "6 3");
    ASSERT_FALSE(cue.empty());
    RecordJob j = job(cue, {1, 2}, 2);
    j.trackTitles = {"Morning", "Blue"};
    j.artist = "Ann";
    j.albumTitle = "Days";
    std::vector<std::string> files;
    EXPECT_TRUE(copy(j, &files).allDone);
    EXPECT_EQ(files, (std::vector<std::string>{homePath("Ann-Days-01-Morning.ra"),
                                               homePath("Ann-Days-02-Blue.ra")}));
    struct Expected
    {
        const char* file;
        const char* title;
        double seconds;
        double hz;
    };
    for (const Expected& e : {Expected{"Ann-Days-01-Morning.ra", "Morning", 6.0, 440},
                              Expected{"Ann-Days-02-Blue.ra", "Blue", 3.0, 660}}) {
        SCOPED_TRACE(e.file);
        EXPECT_EQ(probe(homePath(e.file)).summary(),
                  "ra_144 8000 Hz 1 ch \"" + std::string(e.title) + "\" by \"Ann\"");
        EXPECT_NEAR(probe(homePath(e.file)).seconds, e.seconds, 0.05);
        EXPECT_NEAR(decodedTone(homePath(e.file), homePath("d.wav"), 1000, 9000), e.hz, 6);
    }
}

TEST_F(CdCopyTest, CancelInTheMiddleOfABlockLeavesAValidFile)
{
    const std::string cue = cdtest::disc("long", "20 5");
    ASSERT_FALSE(cue.empty());
    RecordJob j = job(cue, {1, 2});
    Events events;
    CdCopier copier(j, events);
    int encodings = 0;
    bool asked = false;
    events.onIcon = [&](CdCopier::RowIcon icon) {
        // The second block is handed to the encoder: Cancel while it is encoded.
        if (icon == CdCopier::RowIcon::Encoding && ++encodings == 2) {
            asked = true;
            copier.cancel();
            EXPECT_TRUE(copier.stopRequested());
            EXPECT_FALSE(copier.cancelled()) << "while busy Cancel only asks for a stop";
        }
    };
    copier.start();
    ASSERT_TRUE(runUntilEnded(events));
    EXPECT_TRUE(asked);
    EXPECT_FALSE(events.allDone);
    EXPECT_TRUE(copier.cancelled());
    ASSERT_EQ(copier.producedFiles(), (std::vector<std::string>{homePath("01-Track.wav")}));
    const std::string copied = samplesOf(homePath("01-Track.wav"));
    const std::string track = sectors(cue, 0, 1500);
    EXPECT_EQ(copied.size(), 705600u + 44100u) << "one block, and the chunk it was stopped in";
    EXPECT_EQ(copied, track.substr(0, copied.size()));
    EXPECT_EQ(run("sox " + quoted(homePath("01-Track.wav")) + " -n stat").status, 0);
    EXPECT_FALSE(fs::exists(homePath("02-Track.wav")));
    EXPECT_FALSE(fs::exists(copier.temporaryPath()));
}

TEST_F(CdCopyTest, FailuresAreToldWithTheDesignedTexts)
{
    const std::string cue = cdtest::disc("short", "2");
    ASSERT_FALSE(cue.empty());
    {
        RecordJob j = job(homePath("no such disc.cue"), {1});
        Events events;
        CdCopier copier(j, events);
        copier.start();
        EXPECT_TRUE(events.isEnded);
        EXPECT_EQ(events.messages,
                  (std::vector<std::string>{"Can't start CD reading. Please re-install Kolvo."}));
    }
    RecordJob noFolder = job(cue, {1}), noConverter = job(cue, {1}), noTrack = job(cue, {5});
    noFolder.directory = homePath("missing folder");
    noConverter.recordFormat.wFormatTag = 0x1234;
    const std::pair<RecordJob*, const char*> cases[] = {
        {&noFolder, "Can not write to file."},
        {&noConverter, "Can't initialize ACM Stream."},
        {&noTrack, "Error in reading track 5.\n\n[Digital Copy] may not works"}};
    for (const auto& [j, message] : cases) {
        std::vector<std::string> files;
        const Events events = copy(*j, &files);
        ASSERT_EQ(events.messages.size(), 1u) << message;
        // The message for the track is longer: the start is the designed text.
        const std::string& told = events.messages[0];
        EXPECT_EQ(j == &noTrack ? told.substr(0, std::strlen(message)) : told, message);
        EXPECT_TRUE(j != &noFolder || files.empty());
    }
    // The output of the track that could not be read was started and is a valid, empty file.
    EXPECT_EQ(samplesOf(homePath("05-Track.wav")), "");
}

TEST_F(CdCopyTest, TheWindow)
{
    const std::string cue = cdtest::disc("window", "9 2");
    ASSERT_FALSE(cue.empty());
    RecordJob j = job(cue, {1, 2});
    j.trackTitles = {"Morning", "Blue"};
    CdCopyDialog dialog(j, false);
    ASSERT_EQ(dialog.trackList()->topLevelItemCount(), 2);
    EXPECT_EQ(dialog.trackList()->topLevelItem(1)->text(0), "[2]");
    EXPECT_EQ(dialog.trackList()->topLevelItem(1)->text(3), "Blue");
    EXPECT_EQ(dialog.overallBar()->maximum(), 200);
    dialog.show();
    QElapsedTimer clock;
    clock.start();
    while (dialog.cancelButton()->text() != "Close" && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(dialog.trackList()->topLevelItem(0)->text(1), "Done");
    EXPECT_EQ(dialog.trackList()->topLevelItem(1)->text(2),
              QString::fromStdString(homePath("02-Blue.wav")));
    EXPECT_EQ(dialog.overallBar()->value(), 200);
    EXPECT_EQ(dialog.producedFiles().size(), 2u);
    dialog.cancelButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(CdCopyTest, KolvoCliCdCopyNamesFromTheAlbum)
{
    const std::string cue = cdtest::disc("cli", "2 3.5 1");
    ASSERT_FALSE(cue.empty());
    {
        Album album(AlbumKindCd);
        ASSERT_TRUE(album.Open(albumKeyOf(cue), 0));
        album.setTitle("Days");
        album.setArtist("Ann");
        album.AddSong("Morning");
        album.AddSong("Blue");
        album.AddSong("Night");
        ASSERT_TRUE(album.Save());
    }
    fs::create_directory(homePath("out"));
    const std::string copyCue = "cd copy " + quoted(cue) + " ";
    const RunResult r = kolvoCli(copyCue + "2,3 " + quoted(homePath("out")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, homePath("out/Ann-Days-02-Blue.wav") + "\n" +
                            homePath("out/Ann-Days-03-Night.wav") + "\n");
    EXPECT_EQ(samplesOf(homePath("out/Ann-Days-02-Blue.wav")), sectors(cue, 150, 413));

    EXPECT_EQ(
        kolvoCli(copyCue + "1 " + quoted(homePath("out")) + " --type mp3 --bitrate 96").status, 0);
    EXPECT_TRUE(fs::exists(homePath("out/Ann-Days-01-Morning.mp3")));
    const RunResult ra = kolvoCli(copyCue + "3 " + quoted(homePath("out")) + " --type ra");
    EXPECT_EQ(ra.status, 0);
    EXPECT_EQ(ra.output, homePath("out/Ann-Days-03-Night.ra") + "\n");
    EXPECT_EQ(probe(homePath("out/Ann-Days-03-Night.ra")).codec, "ra_144");
    EXPECT_EQ(kolvoCli(copyCue + "4 " + quoted(homePath("out"))).status, 2);
    EXPECT_EQ(kolvoCli(copyCue + "1 " + quoted(homePath("nowhere"))).status, 1);
}

// Record's options with the CD's tracks chosen: the copy window copies them into the album's
// folder and the files come back for the album.
TEST_F(CdCopyTest, RecordOptionsCopyTheChosenTracks)
{
    const std::string cue = cdtest::disc("record", "1 1.5 1");
    ASSERT_FALSE(cue.empty());
    AppSettings settings;
    settings.cdDrive = cue;
    settings.recordDir = home();
    settings.recordCdUseTitleInfo = settings.recordCdUseSongInfo = 1;
    settings.recordCdUseSongInfoAlbumTitle = settings.recordCdUseSongInfoAlbumSinger = 1;
    settings.recordCdUseSongInfoTrackNumber = 1;
    int saves = 0;
    SoundCardRecording recording(settings, [&] { ++saves; });
    bool sheetSeen = false, windowSeen = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (CRecordPropertySheet* sheet = SoundCardRecording::openSheet();
            sheet && sheet->isVisible()) {
            sheetSeen = true;
            EXPECT_TRUE(sheet->copyCdBox()->isEnabled());
            EXPECT_EQ(sheet->trackList()->count(), 3);
            sheet->copyCdBox()->setChecked(true);
            sheet->trackList()->item(1)->setCheckState(Qt::Unchecked);
            sheet->accept();
        } else if (CdCopyDialog* copy = SoundCardRecording::openCopyWindow();
                   copy && copy->isVisible()) {
            windowSeen = true;
            if (copy->cancelButton()->text() == "Close")
                copy->cancelButton()->click();
        }
    });
    answer.start(10);
    std::vector<std::string> copied;
    const std::string path =
        recording.Start(nullptr, {"Days", "Ann", {"Morning", "Noon", "Night"}}, &copied);
    answer.stop();
    EXPECT_TRUE(sheetSeen);
    EXPECT_TRUE(windowSeen);
    EXPECT_EQ(path, "") << "nothing is recorded from the sound card";
    EXPECT_EQ(copied, (std::vector<std::string>{homePath("Ann-Days/Ann-Days-01-Morning.wav"),
                                                homePath("Ann-Days/Ann-Days-03-Night.wav")}));
    EXPECT_EQ(samplesOf(homePath("Ann-Days/Ann-Days-03-Night.wav")), sectors(cue, 188, 263));
    EXPECT_EQ(settings.recordCdRecord, 1);
    EXPECT_EQ(settings.recordCdRecordingMethod, 1);
    EXPECT_EQ(saves, 1);
}
