#include "app/playerapp.h"
#include "designeddefaults.h"
#include "platform/paths.h"
#include "platform/settings.h"
#include "support/testhome.h"

#include <QSettings>

#include <cstdlib>

namespace {

class SettingsTest : public KolvoHomeTest
{
protected:
    void SetUp() override
    {
        KolvoHomeTest::SetUp();
        setenv("KOLVO_LANG", "en", 1);
    }
    void TearDown() override
    {
        unsetenv("KOLVO_LANG");
        KolvoHomeTest::TearDown();
    }

    static void store(const char* section, const char* name, const QVariant& value)
    {
        QDir().mkpath(QString::fromStdString(paths::configDir() + "/" + paths::kOrganization));
        QSettings s(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
        s.setValue(QStringLiteral("%1/%2").arg(QLatin1String(section), QLatin1String(name)), value);
    }

    static AppSettings loadAndSave()
    {
        PlayerApp app;
        app.LoadSettings();
        app.SaveSettings();
        return app.settings();
    }
};

} // namespace

// A file cut in the middle of a line keeps what it has and fills the rest; stderr names the copy
// kept. (A file that cannot be read at all is the start-up tests' case.)
TEST_F(SettingsTest, ASettingsFileCutShortKeepsWhatItHasAndSaysSo)
{
    const std::string file = writeFile("config/Quorvane System, Inc./Kolvo.conf",
                                       "[MP3]\nBufferCount=12\n[DSP]\nWideDep");
    testing::internal::CaptureStderr();
    const AppSettings s = loadAndSave();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::pair(s.mp3BufferCount, s.wideDepth), std::pair(12, 16));
    const QStringList kept = QDir(QString::fromStdString(homePath("config/Quorvane System, Inc.")))
                                 .entryList({"Kolvo.conf.broken-*"});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(said, "Kolvo: the settings file " + file +
                        " has lines that cannot be read; a copy was kept as " + file +
                        kept[0].mid(10).toStdString() + " and the rest is used\n");
}

TEST_F(SettingsTest, AFirstStartWritesEveryValueWithItsDefault)
{
    loadAndSave();
    QSettings file(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    const auto expected = designedDefaults();
    ASSERT_EQ(expected.size(), 186u);
    for (const auto& [key, value] : expected) {
        ASSERT_TRUE(file.contains(QString::fromStdString(key))) << key << " was not written";
        EXPECT_EQ(file.value(QString::fromStdString(key)).toString().toStdString(), value) << key;
    }
    // And nothing beyond the table (the recording format is the one binary value).
    QStringList keys = file.allKeys();
    keys.removeAll("Audio/RecordWAVStruct");
    EXPECT_EQ(static_cast<size_t>(keys.size()), expected.size());

    const QByteArray format = file.value("Audio/RecordWAVStruct").toByteArray();
    ASSERT_EQ(format.size(), 4096);
    const unsigned char pcm[] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(pcm), 16), format.left(16));
    EXPECT_EQ(format.count('\0'), 4096 - 9);
}

TEST_F(SettingsTest, StoredValuesSurviveAndTheTimerIsClamped)
{
    store("General", "Timer", 1500000);
    store("DSP", "ReverbDepth", 3);
    store("Print", "SongDescFontInfoFontName", "DejaVu Serif");
    store("Audio", "InitialDir", "/home/u/Music/한국");
    AppSettings s = loadAndSave();
    EXPECT_EQ(s.timer, 990000);
    EXPECT_EQ(s.reverbDepth, 3);
    EXPECT_EQ(s.songDescFont.fontName, "DejaVu Serif");
    EXPECT_EQ(s.components[ComponentAudio].initialDir, "/home/u/Music/한국");

    // An unreadable value takes its default.
    for (const auto& [stored, loaded] :
         {std::pair<QVariant, int>{-5, 0}, {989999, 989999}, {"soon", 10000}}) {
        store("General", "Timer", stored);
        EXPECT_EQ(loadAndSave().timer, loaded) << stored.toString().toStdString();
    }
}

TEST_F(SettingsTest, ARecordingFormatOfTheWrongSizeIsReplaced)
{
    store("Audio", "RecordWAVStruct", QByteArray(18, '\x07'));
    AppSettings s = loadAndSave();
    ASSERT_EQ(s.recordFormat.size(), 4096u);
    EXPECT_EQ(s.recordFormat[0], 1) << "the default PCM format";
    QSettings file(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    EXPECT_EQ(file.value("Audio/RecordWAVStruct").toByteArray().size(), 4096);

    // A stored block of the right size is kept byte for byte.
    QByteArray custom(4096, '\0');
    custom[0] = 0x55; // MPEG Layer 3
    custom[4095] = 0x42;
    store("Audio", "RecordWAVStruct", custom);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(loadAndSave().recordFormat.data()), 4096),
              custom);
}

TEST_F(SettingsTest, TheDriveIsKeptOnlyWhenItCanStillBeUsed)
{
    const std::string tool = std::string(KOLVO_SOURCE_DIR) + "/tools/make-test-disc";
    ASSERT_EQ(std::system((tool + " audio '" + homePath("disc.cue") + "' 1").c_str()), 0);
    store("CD", "Drive", QString::fromStdString(homePath("disc.cue")));
    EXPECT_EQ(loadAndSave().cdDrive, homePath("disc.cue"));

    QDir().mkpath(QString::fromStdString(homePath("mnt/Disc")));
    store("CD", "Drive", QString::fromStdString(homePath("mnt/Disc")));
    EXPECT_EQ(loadAndSave().cdDrive, homePath("mnt/Disc"));

    // Gone, or a Windows drive letter from an old settings file: the first CD drive instead.
    store("CD", "Drive", "E:\\");
    const AppSettings s = loadAndSave();
    EXPECT_NE(s.cdDrive, "E:\\");
    if (!s.cdDrive.empty()) {
        EXPECT_EQ(s.cdDrive.rfind("/dev/", 0), 0u);
    }
}
