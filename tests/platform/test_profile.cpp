#include "platform/paths.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "support/testhome.h"

#include <QSettings>

#include <array>
#include <cstring>

namespace {

const std::string kAudioKey = "Software\\Quorvane System, Inc.\\Kolvo\\Audio";

class ProfileTest : public KolvoHomeTest
{};

} // namespace

TEST_F(ProfileTest, BinaryValuesReadOnlyAtTheirExactSize)
{
    const auto write = [](const char* name, const auto& bytes) {
        return WriteBinaryValue(HKEY_CURRENT_USER, kAudioKey, name, bytes.data(), bytes.size());
    };
    const auto read = [](const char* name, auto& bytes) {
        return ReadBinaryValue(HKEY_CURRENT_USER, kAudioKey, name, bytes.data(), bytes.size());
    };
    std::array<unsigned char, 18> format{};
    for (size_t i = 0; i < format.size(); ++i)
        format[i] = static_cast<unsigned char>(i * 17 + 1);
    ASSERT_EQ(write("RecordWAVStruct", format), 1);
    std::array<unsigned char, 4096> big{};
    EXPECT_EQ(read("RecordWAVStruct", big), 0);
    std::array<unsigned char, 17> small{};
    EXPECT_EQ(read("RecordWAVStruct", small), 0);
    std::array<unsigned char, 18> exact{};
    ASSERT_EQ(read("RecordWAVStruct", exact), 1);
    EXPECT_EQ(exact, format);

    // Every byte value survives, the zero and the newline included.
    std::array<unsigned char, 256> all{};
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(255 - i);
    ASSERT_EQ(write("Bytes", all), 1);
    std::array<unsigned char, 256> back{};
    ASSERT_EQ(read("Bytes", back), 1);
    EXPECT_EQ(back, all);

    // A string is not a binary value, and a missing value is not one either.
    WriteStringValue(HKEY_CURRENT_USER, kAudioKey, "Text", "abcdefghijklmnopqr");
    EXPECT_EQ(read("Text", exact), 0);
    EXPECT_EQ(read("Nothing", exact), 0);
}

TEST_F(ProfileTest, StringValuesFollowTheCapacityRule)
{
    const std::string key = "Software\\Quorvane System, Inc.\\Kolvo\\CDDBServers_New";
    ASSERT_EQ(WriteStringValue(HKEY_CURRENT_USER, key, "1", "gnudb.gnudb.org:8880"), 1);

    std::string buffer = "stale";
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, key, "1", buffer, 20), 1);
    EXPECT_EQ(buffer, "gnudb.gnudb.org:8880");
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, key, "1", buffer, 19), 0);
    EXPECT_EQ(buffer, "") << "a failed read leaves the empty string";

    // UTF-8 counts in bytes, as the stored size does.
    WriteStringValue(HKEY_CURRENT_USER, key, "2", "\xed\x95\x9c"); // one Hangul syllable
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, key, "2", buffer, 2), 0);
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, key, "2", buffer, 3), 1);

    // An empty string has stored size 0 and does not read.
    WriteStringValue(HKEY_CURRENT_USER, key, "3", "");
    buffer = "x";
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, key, "3", buffer, 100), 0);
    EXPECT_EQ(buffer, "");
}

TEST_F(ProfileTest, NoTerminatorIsStored)
{
    const std::string key = "Software\\Quorvane System, Inc.\\Kolvo\\General";
    WriteStringValue(HKEY_CURRENT_USER, key, "ColorScheme", "Night.uib");
    QSettings raw(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    const QString stored = raw.value(QStringLiteral("General/ColorScheme")).toString();
    EXPECT_EQ(stored.size(), 9);
    EXPECT_EQ(stored, QStringLiteral("Night.uib"));
}

TEST_F(ProfileTest, DeleteValueReportsWhatHappened)
{
    const std::string key = "Software\\Quorvane System, Inc.\\Kolvo\\Panel";
    WriteStringValue(HKEY_CURRENT_USER, key, "Gone", "soon");
    EXPECT_EQ(DeleteValue(HKEY_CURRENT_USER, key, "Gone"), ERROR_SUCCESS);
    std::string buffer;
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, key, "Gone", buffer, 10), 0);
    EXPECT_EQ(DeleteValue(HKEY_CURRENT_USER, key, "Gone"), ERROR_FILE_NOT_FOUND);
}

TEST_F(ProfileTest, KeysOutsideTheProgramsOwnKeepTheirPlaceApart)
{
    WriteStringValue(HKEY_CLASSES_ROOT, ".mp3", "Kolvo.BAK", "mpg123.desktop");
    WriteStringValue(HKEY_CURRENT_USER, "Software\\Other\\App", "Name", "value");
    std::string buffer;
    EXPECT_EQ(ReadStringValue(HKEY_CLASSES_ROOT, ".mp3", "Kolvo.BAK", buffer, 100), 1);
    EXPECT_EQ(buffer, "mpg123.desktop");
    EXPECT_EQ(ReadStringValue(HKEY_CURRENT_USER, ".mp3", "Kolvo.BAK", buffer, 100), 0)
        << "the same path under another root is another key";

    Profile profile;
    EXPECT_FALSE(profile.hasValue("Other", "Name"));
    EXPECT_FALSE(profile.hasValue(".mp3", "Kolvo.BAK"));
    // The program's own key is found whatever the letter case of the path.
    WriteStringValue(HKEY_CURRENT_USER, "SOFTWARE\\quorvane system, inc.\\KOLVO\\CD", "EMail",
                     "a@b");
    Profile reread;
    EXPECT_EQ(reread.GetProfileString("CD", "EMail", ""), "a@b");
}

TEST_F(ProfileTest, IntegersOfTheWrongTypeTakeTheDefault)
{
    {
        Profile p;
        p.WriteProfileInt("General", "Timer", -5);
        p.WriteProfileString("General", "MainVisible", "yes");
        p.WriteProfileString("Print", "TitleFontInfoColor", "0xFFFFFF");
        p.WriteProfileString("Print", "PageFontInfoColor", "4294967295");
        p.WriteProfileString("Print", "Huge", "99999999999");
        ASSERT_TRUE(p.sync());
    }
    const std::string key = "Software\\Quorvane System, Inc.\\Kolvo\\General";
    const unsigned char bytes[4] = {1, 2, 3, 4};
    WriteBinaryValue(HKEY_CURRENT_USER, key, "Blob", bytes, 4);

    Profile p;
    EXPECT_EQ(p.GetProfileInt("General", "Timer", 7), -5);
    EXPECT_EQ(p.GetProfileInt("General", "MainVisible", 7), 7);
    EXPECT_EQ(p.GetProfileInt("General", "Blob", 7), 7);
    EXPECT_EQ(p.GetProfileInt("General", "Missing", 7), 7);
    EXPECT_EQ(p.GetProfileInt("Print", "TitleFontInfoColor", 0), 0xFFFFFF);
    EXPECT_EQ(p.GetProfileInt("Print", "PageFontInfoColor", 0), -1) << "a DWORD wraps to int";
    EXPECT_EQ(p.GetProfileInt("Print", "Huge", 3), 3);
    EXPECT_EQ(p.GetProfileString("General", "Blob", "def"), "def");
}

TEST_F(ProfileTest, IntegersWithLeadingZerosAreDecimal)
{
    // Written by hand, as a time or a level often is: the zeros in front change nothing.
    writeFile("config/Quorvane System, Inc./Kolvo.conf", "[%General]\n"
                                                         "Timer=090000\n"
                                                         "[MP3]\n"
                                                         "OutScaleValue=013000\n"
                                                         "[DSP]\n"
                                                         "ReverbDepth=08\n"
                                                         "[Print]\n"
                                                         "PageMarginLeft=-010\n"
                                                         "TitleFontInfoColor=0x00FF00\n");
    AppSettings s;
    LoadSettingsFrom(Profile(), s);
    EXPECT_EQ(s.timer, 90000);
    EXPECT_EQ(s.outScaleValue, 13000);
    EXPECT_EQ(s.reverbDepth, 8);
    EXPECT_EQ(s.pageMarginLeft, -10);
    EXPECT_EQ(s.titleFont.color, 0x00FF00) << "a colour written in hexadecimal says so";
}

TEST_F(ProfileTest, BrokenSettingsFilesAreSetAsideNotLost)
{
    const std::string file = paths::settingsFile();
    EXPECT_EQ(Profile::setAsideUnreadableFile(file).path, "") << "no file, nothing to do";

    writeFile("config/Quorvane System, Inc./Kolvo.conf", "[CD]\nAutoRun=1\n");
    EXPECT_EQ(Profile::setAsideUnreadableFile(file).path, "") << "a good file stays";

    // Binary noise is moved away whole.
    std::string noise(3000, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) % 256);
    writeFile("config/Quorvane System, Inc./Kolvo.conf", noise);
    auto aside = Profile::setAsideUnreadableFile(file);
    ASSERT_NE(aside.path, "");
    EXPECT_TRUE(aside.moved);
    EXPECT_EQ(readFile(aside.path), noise) << "the moved file keeps every byte";
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));

    // A folder where the file should be cannot be read as settings either.
    QDir().mkpath(QString::fromStdString(file));
    aside = Profile::setAsideUnreadableFile(file);
    EXPECT_TRUE(aside.moved);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));

    // Text with a line that does not parse: a copy is kept and the file stays in use.
    const std::string cut = "[CD]\nAutoRun=1\nCDDBCon";
    writeFile("config/Quorvane System, Inc./Kolvo.conf", cut);
    aside = Profile::setAsideUnreadableFile(file);
    ASSERT_NE(aside.path, "");
    EXPECT_FALSE(aside.moved);
    EXPECT_EQ(readFile(aside.path), cut);
    EXPECT_EQ(Profile().GetProfileInt("CD", "AutoRun", 0), 1);
}

// A window rectangle whose right or bottom edge is the lowest 32-bit value (hand-edited, or
// written as 0x80000000) is empty and gives way to the fallback; it used to wrap round to
// the highest value and cover the whole screen (found by fuzzing the settings file).
TEST_F(ProfileTest, WindowRectanglesAtTheEndsOfTheRangeDoNotWrap)
{
    const QRect area(0, 0, 1920, 1080);
    const QRect fallback(710, 0, 500, 400);
    const std::pair<const char*, const char*> edges[] = {
        {"-2147483648", "600"}, {"0x80000000", "600"}, {"600", "-2147483648"}};
    for (const auto& [right, bottom] : edges) {
        SCOPED_TRACE(std::string(right) + " " + bottom);
        QDir().mkpath(QString::fromStdString(paths::configDir() + "/" + paths::kOrganization));
        {
            QSettings s(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
            s.setValue(QStringLiteral("Win/Left"), 0);
            s.setValue(QStringLiteral("Win/Top"), 0);
            s.setValue(QStringLiteral("Win/Right"), QString::fromLatin1(right));
            s.setValue(QStringLiteral("Win/Bottom"), QString::fromLatin1(bottom));
        }
        const QRect read = ReadWindowRect(Profile(), "Win");
        EXPECT_FALSE(read.isValid());
        EXPECT_EQ(FitToWorkArea(read, area, fallback), fallback);
    }
}
