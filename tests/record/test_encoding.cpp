// The file encoding batch: MP3s that mpg123 decodes and mutagen reads the tags of, RealAudio
// files that ffmpeg and GStreamer decode and our own engine plays, the designed log lines for
// files that fail, stopping, a disk that refuses, the options sheet and the window, and
// kolvo-cli encode.
#include "recordtest.h"
#include "support/testhome.h"

#include "record/encodingbatch.h"
#include "record/fileencodingdialog.h"
#include "record/kreengine.h"
#include "record/wavefile.h"

#include "albums/album.h"
#include "albums/filealbumeditor.h"

#include <gmock/gmock.h>

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>

using namespace record;
using namespace recordtest;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

class EncodingTest : public KolvoHomeTest
{
protected:
    std::string wave(const std::string& name, double seconds, std::uint32_t rate = 44100,
                     int channels = 2, int bits = 16)
    {
        const std::string path = homePath(name);
        if (bits == 16) {
            writeBytes(path, waveBytes(MakePcmFormat(rate, 16, channels),
                                       tone(440, seconds, rate, channels)));
        } else {
            const auto frames = static_cast<size_t>(seconds * rate);
            writeBytes(path, waveBytes(MakePcmFormat(rate, 8, channels),
                                       std::vector<std::uint8_t>(frames * channels, 128)));
        }
        return path;
    }
};

struct Recorder : EncodingBatch::Listener
{
    std::vector<std::string> lines;
    std::vector<int> started;
    std::map<int, int> lastPercent;
    std::function<void(int)> onStarted;

    void fileStarted(int index, const std::string&) override
    {
        started.push_back(index);
        if (onStarted)
            onStarted(index);
    }
    void progress(int index, int percent) override
    {
        EXPECT_GE(percent, lastPercent[index]) << "progress goes forward";
        lastPercent[index] = percent;
    }
    void fileEnded(int, bool, const std::string& line) override { lines.push_back(line); }
};

// The bit rate mutagen reads of an MP3, in kbps.
std::string mp3Kbps(const std::string& path)
{
    return python("import mutagen.mp3; print(round(mutagen.mp3.MP3('" + path +
                  "').info.bitrate / 1000))");
}

} // namespace

TEST(EncodingNames, OutputsAndDesignedTexts)
{
    EXPECT_EQ(encodedPathFor("/A/song.wav", 0), "/A/song.MP3");
    EXPECT_EQ(encodedPathFor("/A/song.wav", 1), "/A/song.RA");
    EXPECT_EQ(encodedPathFor("/A/b.c/song", 0), "/A/b.c/song.MP3");
    EXPECT_EQ(encodedPathFor("/A/song.x.wav", 0, "/out/"), "/out/song.x.MP3");
    EXPECT_EQ(encodedPathFor("/A/.wav", 0, "/out"), "/out/.wav.MP3");
    EXPECT_EQ(fillIn("[%d] Success : %s -> %s", {"3", "a.wav", "a.MP3"}),
              "[3] Success : a.wav -> a.MP3");
    EXPECT_EQ(fillIn("%d %%", {"42"}), "42 %");

    EXPECT_EQ(mpegBitRateTable().size(), 14u);
    EXPECT_EQ(bitRateEntryFor(8), 8);
    EXPECT_STREQ(mpegBitRateTable()[8].name, "MPEG Layer 3 - 128 kbps");
    EXPECT_EQ(bitRateEntryFor(320), 13);
    EXPECT_EQ(bitRateEntryFor(32), 0);
    EXPECT_EQ(bitRateEntryFor(129), 8);
}

TEST_F(EncodingTest, ABatchEncodesWhatItCanAndLogsTheRest)
{
    EncodeJob job;
    job.files = {wave("one.wav", 2.0),
                 wave("low rate.wav", 0.5, 22050),
                 wave("eight.wav", 0.5, 44100, 2, 8),
                 wave("four.wav", 1.5, 48000),
                 homePath("missing.wav"),
                 wave("mono.wav", 0.5, 44100, 1)};
    job.bitRate = 160;
    EncodingBatch batch(job, 2);
    Recorder recorder;
    batch.run(recorder);

    std::sort(recorder.lines.begin(), recorder.lines.end());
    EXPECT_EQ(
        recorder.lines,
        (std::vector<std::string>{
            "[1] Success : one.wav -> one.MP3",
            "[2] Fail : MP3 encoder supports only 32KHz, 44.1KHz, 48KHz and 16bit, stereo format.",
            "[3] Fail : Not a WAVE PCM format.",
            "[4] Success : four.wav -> four.MP3",
            "[5] Fail : Not a WAVE PCM format.",
            "[6] Fail : MP3 encoder supports only 32KHz, 44.1KHz, 48KHz and 16bit, stereo format.",
        }));
    EXPECT_EQ(batch.state(0), EncodingBatch::FileState::Done);
    EXPECT_EQ(batch.state(1), EncodingBatch::FileState::Failed);
    EXPECT_EQ(recorder.lastPercent[0], 100);
    std::vector<std::string> produced = batch.produced();
    std::sort(produced.begin(), produced.end());
    EXPECT_EQ(produced, (std::vector<std::string>{homePath("four.MP3"), homePath("one.MP3")}));
    EXPECT_FALSE(fs::exists(homePath("low rate.MP3")));

    // mpg123 decodes them to their length; mutagen reads the tag and the bit rate.
    EXPECT_NEAR(decodedSeconds(homePath("one.MP3"), homePath("d1.wav")), 2.0, 0.06);
    EXPECT_NEAR(decodedSeconds(homePath("four.MP3"), homePath("d2.wav")), 1.5, 0.06);
    const std::string tags = python("import mutagen.id3, mutagen.mp3, sys\n"
                                    "for name in ['one', 'four']:\n"
                                    "    f = '" +
                                    home() +
                                    "/' + name + '.MP3'\n"
                                    "    m = mutagen.mp3.MP3(f)\n"
                                    "    print(name, mutagen.id3.ID3(f)['TIT2'].text[0], "
                                    "m.info.bitrate, m.info.sample_rate)\n");
    EXPECT_EQ(tags, "one one 160000 44100\nfour four 160000 48000\n");
    // Nothing else was left in the folder (no temporary files).
    for (const auto& entry : fs::directory_iterator(home()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

TEST_F(EncodingTest, AStopEndsTheFilesBeingEncodedAndStartsNoMore)
{
    EncodeJob job;
    for (const char* name : {"f1.wav", "f2.wav", "f3.wav", "f4.wav", "f5.wav"})
        job.files.push_back(wave(name, 10.0));
    EncodingBatch batch(job, 1);
    Recorder recorder;
    // Stop as soon as the third file is being encoded.
    recorder.onStarted = [&](int index) {
        if (index == 2)
            batch.requestStop();
    };
    batch.run(recorder);
    EXPECT_EQ(recorder.started, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(batch.state(2), EncodingBatch::FileState::Done);
    EXPECT_EQ(batch.state(3), EncodingBatch::FileState::Waiting);
    EXPECT_EQ(batch.state(4), EncodingBatch::FileState::Waiting);
    EXPECT_EQ(batch.produced().size(), 3u);
    EXPECT_FALSE(fs::exists(homePath("f4.MP3")));
    // The stopped file is a shorter MP3 that plays.
    const double third = decodedSeconds(homePath("f3.MP3"), homePath("d3.wav"));
    EXPECT_GE(third, 0.0);
    EXPECT_LT(third, 9.5);
}

TEST_F(EncodingTest, ADiskThatRefusesLeavesAPlayablePartAndTheDesignedLine)
{
    EncodeJob job;
    job.files = {wave("long.wav", 20.0)};
    EncodingBatch batch(job, 1);
    Recorder recorder;
    withFileSizeLimit(100000, [&] { batch.run(recorder); }); // about six seconds of 128 kbps
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"[1] Fail : long.wav."}));
    EXPECT_EQ(batch.produced(), (std::vector<std::string>{homePath("long.MP3")}));
    const double part = decodedSeconds(homePath("long.MP3"), homePath("part.wav"));
    EXPECT_GT(part, 3.0);
    EXPECT_LT(part, 7.0);
}

TEST_F(EncodingTest, TheOptionsSheetAndTheWindow)
{
    CFileEncodingPropertySheet sheet(8);
    EXPECT_EQ(sheet.bitRateList()->count(), 14);
    EXPECT_EQ(sheet.bitRateList()->currentText(), "MPEG Layer 3 - 128 kbps");
    EXPECT_EQ(sheet.selectedBitRate(), 128);
    EXPECT_EQ(CFileEncodingPropertySheet(224).selectedBitRate(), 224);
    // MP3 or RealAudio, both to be chosen.
    const QList<QRadioButton*> types = sheet.findChildren<QRadioButton*>();
    ASSERT_EQ(types.size(), 2);
    EXPECT_EQ(sheet.selectedType(), 0);
    ASSERT_TRUE(types[1]->isEnabled());
    types[1]->click();
    EXPECT_EQ(sheet.selectedType(), 1);

    EncodeJob job;
    job.files = {wave("a.wav", 1.0), wave("b.wav", 0.5, 22050)};
    FileEncodingDialog dialog(job, false, nullptr, 1);
    QTreeWidget* list = dialog.fileList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "[1]");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "a.wav");
    EXPECT_EQ(list->topLevelItem(0)->text(4), QString::fromStdString(home() + "/"));
    EXPECT_EQ(dialog.overallBar()->maximum(), 200);
    dialog.startEncoding();
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Done");
    EXPECT_EQ(list->topLevelItem(0)->text(3), "a.MP3");
    EXPECT_EQ(list->topLevelItem(1)->text(3), "");
    EXPECT_EQ(dialog.overallBar()->value(), 200);
    ASSERT_EQ(dialog.logList()->count(), 2);
    EXPECT_EQ(dialog.logList()->item(0)->text(), "[1] Success : a.wav -> a.MP3");
    EXPECT_EQ(dialog.logList()->currentRow(), 1);
    EXPECT_EQ(dialog.cancelButton()->text(), "Close");
    EXPECT_EQ(dialog.producedFiles(), (std::vector<std::string>{homePath("a.MP3")}));

    // Cancel while busy stops the batch after the file being encoded, and the window closes.
    EncodeJob three;
    three.files = {wave("x.wav", 2.0), wave("y.wav", 2.0), wave("z.wav", 2.0)};
    FileEncodingDialog stopped(three, false, nullptr, 1);
    // The first file has its worker before the first slice: Cancel there.
    stopped.onSlice = [](FileEncodingDialog& d) { d.cancelButton()->click(); };
    stopped.startEncoding();
    EXPECT_EQ(stopped.result(), QDialog::Rejected);
    EXPECT_FALSE(stopped.cancelled());
    EXPECT_EQ(stopped.producedFiles(), (std::vector<std::string>{homePath("x.MP3")}));
    EXPECT_EQ(stopped.logList()->count(), 1);
}

TEST_F(EncodingTest, KolvoCliEncodes)
{
    fs::create_directory(homePath("out"));
    const std::string a = wave("a.wav", 1.0), bad = wave("bad.wav", 0.5, 22050);
    const RunResult r = kolvoCli("encode " + quoted(a) + " " + quoted(bad) +
                                 " --bitrate 96 --out " + quoted(homePath("out")));
    EXPECT_EQ(r.status, 1); // one file failed
    EXPECT_THAT(r.output, HasSubstr("[1] Success : a.wav -> a.MP3\n"));
    EXPECT_THAT(r.output, HasSubstr("[2] Fail : MP3 encoder supports only"));
    EXPECT_EQ(mp3Kbps(homePath("out/a.MP3")), "96\n");
    EXPECT_EQ(kolvoCli("encode " + quoted(a) + " --bitrate 100").status, 2);
    // RealAudio with the texts given.
    EXPECT_EQ(kolvoCli("encode " + quoted(a) + " --type ra --title 'A tone' --author Kolvo --out " +
                       quoted(homePath("out")))
                  .status,
              0);
    EXPECT_EQ(probe(homePath("out/a.RA")).summary(), "ra_144 8000 Hz 1 ch \"A tone\" by \"Kolvo\"");
    // A folder that takes no file: the designed line, and why on stderr.
    const RunResult refused = kolvoCli("encode " + quoted(a) + " --type ra --out /proc");
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.output, HasSubstr("[1] Fail : a.wav.\n"));
    EXPECT_THAT(refused.output, HasSubstr("cannot create a file in /proc"));
    EXPECT_EQ(kolvoCli("encode " + quoted(a)).status, 0);
    EXPECT_TRUE(fs::exists(homePath("a.MP3")));
}

// RealAudio 1.0 from the batch: 8 kHz mono 14.4 sound of the source's length (within 50 ms:
// the last frame of 160 samples is padded, and the encoder holds one frame back), its tone
// kept, read by ffprobe and decoded by ffmpeg, by GStreamer (rmdemux and avdec_real_144, the
// elements our engines use) and played by our own RealAudio engine (kolvo-cli info).
TEST_F(EncodingTest, RealAudioFilesDecodeEverywhereAndKeepTheirTone)
{
    const std::string low = homePath("low.wav");
    writeBytes(low, waveBytes(MakePcmFormat(8000, 16, 1), tone(1000, 1.0, 8000, 1)));
    EncodeJob job;
    job.type = 1;
    job.clipAuthor = "Kolvo test";
    job.files = {wave("voice.wav", 3.0), low, wave("eight.wav", 0.5, 44100, 2, 8)};
    EncodingBatch batch(job, 2);
    Recorder recorder;
    batch.run(recorder);
    std::sort(recorder.lines.begin(), recorder.lines.end());
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"[1] Success : voice.wav -> voice.RA",
                                                        "[2] Success : low.wav -> low.RA",
                                                        "[3] Fail : Not a WAVE PCM format."}));

    struct Expected
    {
        const char* name;
        double seconds;
        double hz;
    };
    for (const Expected& e : {Expected{"voice", 3.0, 440}, Expected{"low", 1.0, 1000}}) {
        SCOPED_TRACE(e.name);
        const std::string ra = homePath(std::string(e.name) + ".RA");
        // The file's base name is the title when none was given.
        EXPECT_EQ(probe(ra).summary(),
                  "ra_144 8000 Hz 1 ch \"" + std::string(e.name) + "\" by \"Kolvo test\"");
        EXPECT_NEAR(probe(ra).seconds, e.seconds, 0.05);

        // ffmpeg, then GStreamer: a second from the middle (the codec's start-up left out).
        std::string elements;
        for (bool gstreamer : {false, true}) {
            std::uint32_t rate = 0;
            const auto pcm = decoded(ra, homePath("d.wav"), rate, gstreamer, &elements);
            ASSERT_EQ(rate, 8000u) << gstreamer;
            EXPECT_NEAR(static_cast<double>(pcm.size()) / rate, e.seconds, 0.05) << gstreamer;
            ASSERT_GT(pcm.size(), 6000u);
            EXPECT_NEAR(strongestHz({pcm.begin() + 800, pcm.begin() + 6000}, rate, 100, 3000), e.hz,
                        6);
        }
        // The RealMedia container (rmdemux's) and the 14.4 decoder.
        EXPECT_THAT(elements, HasSubstr("caps = application/x-pn-realaudio"));
        EXPECT_THAT(elements, HasSubstr("avdec_real_144"));

        const RunResult info = kolvoCli("info " + quoted(ra));
        EXPECT_EQ(info.status, 0);
        EXPECT_THAT(info.output, HasSubstr("engine: RealAudio engine\n"));
        const size_t at = info.output.find("length: ");
        ASSERT_NE(at, std::string::npos) << info.output;
        EXPECT_NEAR(std::atoi(info.output.c_str() + at + 8), e.seconds * 1000, 50);
    }
    for (const auto& entry : fs::directory_iterator(home()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

// What the RealAudio encoder cannot do is refused with a reason; a disk that refuses leaves a
// shorter file that still decodes, whose header counts only the frames it holds.
TEST_F(EncodingTest, TheRealAudioEncoderRefusesClearlyAndKeepsWhatTheDiskTook)
{
    RealAudioClip clip;
    clip.format = MakePcmFormat(44100, 16, 2);
    clip.format.wBitsPerSample = 24;
    EXPECT_EQ(KREEngine_Start(homePath("a.ra"), 0, clip), -1);
    EXPECT_THAT(realAudioEncoderError(), HasSubstr("8- or 16-bit PCM"));
    clip.format = MakePcmFormat(44100, 16, 2);
    // A folder nobody may write in, not even root.
    EXPECT_EQ(KREEngine_Start("/proc/kolvo-test.ra", 0, clip), 0);
    EXPECT_THAT(realAudioEncoderError(), HasSubstr("cannot create a file in /proc"));
    EXPECT_EQ(KREEngine_Write(reinterpret_cast<const std::uint8_t*>("abcd"), 4), 0);
    EXPECT_EQ(KREEngine_Stop(), 0);
    EXPECT_EQ(KREEngine_GetProfilesNum(), 1);
    EXPECT_EQ(KREEngine_GetProfiles().size(), 1u);

    // The batch into that folder: the designed line, no file.
    EncodeJob job;
    job.type = 1;
    job.files = {wave("a.wav", 0.5)};
    job.outputFolder = "/proc";
    {
        EncodingBatch batch(job, 1);
        Recorder recorder;
        batch.run(recorder);
        EXPECT_EQ(recorder.lines, (std::vector<std::string>{"[1] Fail : a.wav."}));
        EXPECT_TRUE(batch.produced().empty());
    }

    // 2000 bytes: the header and about two seconds of frames.
    job.files = {wave("long.wav", 10.0)};
    job.outputFolder.clear();
    EncodingBatch batch(job, 1);
    Recorder recorder;
    withFileSizeLimit(2000, [&] { batch.run(recorder); });
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"[1] Fail : long.wav."}));
    EXPECT_EQ(batch.produced(), (std::vector<std::string>{homePath("long.RA")}));
    const std::string bytes = readBytes(homePath("long.RA"));
    ASSERT_GT(bytes.size(), 40u);
    EXPECT_EQ(bytes.substr(0, 4), std::string(".ra\xfd", 4));
    const auto be = [&](size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = v << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<size_t>(i)]);
        return v;
    };
    const size_t header = 8 + be(6, 2);
    const std::uint32_t data = be(18, 4);
    EXPECT_EQ(data, bytes.size() - header);
    EXPECT_EQ(data % 20, 0u);
    EXPECT_GT(data, 1500u);
    const Probe p = probe(homePath("long.RA"));
    EXPECT_EQ(p.codec, "ra_144");
    EXPECT_NEAR(p.seconds, data / 1000.0, 0.03);
}

// Encode in the file album editor: the options sheet (its choice stored in the settings), the
// batch window, and the MP3s added to the album.
TEST_F(EncodingTest, EncodeInTheFileAlbumEditor)
{
    const std::string a = wave("a.wav", 1.0), b = wave("b.wav", 1.0);
    {
        Album album(AlbumKindAudio);
        ASSERT_TRUE(album.Open("Waves", 0));
        album.AddSong(a);
        album.AddSong(b);
        ASSERT_TRUE(album.Save());
    }
    AppSettings settings;
    settings.recordMpegBitRate = 8;
    int saves = 0;
    FileAlbumEditorServices services;
    services.encode = [&](QWidget* parent, const std::vector<std::string>& files) {
        return encodeFilesWithDialog(parent, files, settings, [&] { ++saves; });
    };
    FileAlbumEditor editor(AlbumKindAudio, "Waves", services);
    editor.show();
    ASSERT_EQ(editor.rows().size(), 2u);
    editor.selectRows({1});

    bool sheetSeen = false, windowSeen = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* sheet = qobject_cast<CFileEncodingPropertySheet*>(modal)) {
            sheetSeen = true;
            EXPECT_EQ(sheet->bitRateList()->currentText(), "MPEG Layer 3 - 128 kbps");
            sheet->bitRateList()->setCurrentIndex(10); // 192 kbps
            sheet->accept();
        } else if (auto* window = qobject_cast<FileEncodingDialog*>(modal)) {
            windowSeen = true;
            if (window->cancelButton()->text() == "Close")
                window->cancelButton()->click();
        }
    });
    answer.start(5);
    editor.runCommand(FileAlbumEditor::EncodeCommand);
    answer.stop();
    EXPECT_TRUE(sheetSeen);
    EXPECT_TRUE(windowSeen);
    EXPECT_EQ(settings.recordMpegBitRate, 192);
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(editor.rows().size(), 3u);
    EXPECT_EQ(editor.rows()[2].path, homePath("b.MP3"));
    EXPECT_FALSE(fs::exists(homePath("a.MP3")));
    EXPECT_EQ(mp3Kbps(homePath("b.MP3")), "192\n");
}
