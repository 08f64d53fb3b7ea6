#include "platform/paths.h"
#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "support/testhome.h"

#include <QSettings>

#include <array>

namespace {

std::string key(const std::string& section)
{
    return "Software\\Quorvane System, Inc.\\Kolvo\\" + section;
}

class ProfileTest : public KolvoHomeTest
{
protected:
    void writeSettings(const std::string& text)
    {
        writeFile("config/Quorvane System, Inc./Kolvo.conf", text);
    }
    static int readString(const std::string& name, std::string& buffer, size_t capacity)
    {
        return ReadStringValue(HKEY_CURRENT_USER, key("CD"), name, buffer, capacity);
    }
};

} // namespace

TEST_F(ProfileTest, BinaryValuesReadOnlyAtTheirExactSize)
{
    const auto write = [](const char* name, const auto& bytes) {
        return WriteBinaryValue(HKEY_CURRENT_USER, key("Audio"), name, bytes.data(), bytes.size());
    };
    const auto read = [](const char* name, auto&& bytes) {
        return ReadBinaryValue(HKEY_CURRENT_USER, key("Audio"), name, bytes.data(), bytes.size());
    };
    // Every byte value survives, the zero and the newline included.
    std::array<unsigned char, 256> all{}, back{};
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(255 - i);
    ASSERT_EQ(write("RecordWAVStruct", all), 1);
    EXPECT_EQ(read("RecordWAVStruct", std::array<unsigned char, 4096>{}), 0);
    EXPECT_EQ(read("RecordWAVStruct", std::array<unsigned char, 255>{}), 0);
    ASSERT_EQ(read("RecordWAVStruct", back), 1);
    EXPECT_EQ(back, all);
    // A string is not a binary value, and a missing value is not one either.
    WriteStringValue(HKEY_CURRENT_USER, key("Audio"), "Text", std::string(256, 'a'));
    EXPECT_EQ(read("Text", back), 0);
    EXPECT_EQ(read("Nothing", back), 0);
}

TEST_F(ProfileTest, StringValuesFollowTheCapacityRule)
{
    ASSERT_EQ(WriteStringValue(HKEY_CURRENT_USER, key("CD"), "1", "gnudb.gnudb.org:8880"), 1);
    std::string buffer = "stale";
    EXPECT_EQ(readString("1", buffer, 20), 1);
    EXPECT_EQ(buffer, "gnudb.gnudb.org:8880");
    EXPECT_EQ(readString("1", buffer, 19), 0);
    EXPECT_EQ(buffer, "") << "a failed read leaves the empty string";
    // UTF-8 counts in bytes, as the stored size does.
    WriteStringValue(HKEY_CURRENT_USER, key("CD"), "2", "\xed\x95\x9c"); // one Hangul syllable
    EXPECT_EQ(readString("2", buffer, 2), 0);
    EXPECT_EQ(readString("2", buffer, 3), 1);
    // An empty string has stored size 0 and does not read.
    WriteStringValue(HKEY_CURRENT_USER, key("CD"), "3", "");
    buffer = "x";
    EXPECT_EQ(readString("3", buffer, 100), 0);
    EXPECT_EQ(buffer, "");
    // Deleting says whether there was a value.
    EXPECT_EQ(DeleteValue(HKEY_CURRENT_USER, key("CD"), "1"), ERROR_SUCCESS);
    EXPECT_EQ(readString("1", buffer, 100), 0);
    EXPECT_EQ(DeleteValue(HKEY_CURRENT_USER, key("CD"), "1"), ERROR_FILE_NOT_FOUND);
    // No terminator is stored.
    WriteStringValue(HKEY_CURRENT_USER, key("General"), "ColorScheme", "Night.uib");
    QSettings raw(QString::fromStdString(paths::settingsFile()), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("General/ColorScheme")).toString(), "Night.uib");
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
    EXPECT_FALSE(Profile().hasValue("Other", "Name"));
    EXPECT_FALSE(Profile().hasValue(".mp3", "Kolvo.BAK"));
    // The program's own key is found whatever the letter case of the path.
    WriteStringValue(HKEY_CURRENT_USER, "SOFTWARE\\quorvane system, inc.\\KOLVO\\CD", "EMail",
                     "a@b");
    EXPECT_EQ(Profile().GetProfileString("CD", "EMail", ""), "a@b");
}

TEST_F(ProfileTest, IntegersOfTheWrongTypeTakeTheDefault)
{
    // Written by hand, as a time or a level often is: the zeros in front change nothing.
    writeSettings("[%General]\nTimer=090000\nMainVisible=yes\n[MP3]\nOutScaleValue=013000\n"
                  "[DSP]\nReverbDepth=08\n[Print]\nPageMarginLeft=-010\nHuge=99999999999\n"
                  "TitleFontInfoColor=0x00FF00\nPageFontInfoColor=4294967295\n");
    const unsigned char bytes[4] = {1, 2, 3, 4};
    WriteBinaryValue(HKEY_CURRENT_USER, key("General"), "Blob", bytes, 4);
    AppSettings s;
    const Profile p;
    LoadSettingsFrom(p, s);
    EXPECT_EQ(s.timer, 90000);
    EXPECT_EQ(s.outScaleValue, 13000);
    EXPECT_EQ(s.reverbDepth, 8);
    EXPECT_EQ(s.pageMarginLeft, -10);
    EXPECT_EQ(s.titleFont.color, 0x00FF00) << "a colour written in hexadecimal says so";
    EXPECT_EQ(p.GetProfileInt("Print", "PageFontInfoColor", 0), -1) << "a DWORD wraps to int";
    for (const char* name : {"MainVisible", "Blob", "Missing"})
        EXPECT_EQ(p.GetProfileInt("General", name, 7), 7) << name;
    EXPECT_EQ(p.GetProfileInt("Print", "Huge", 3), 3);
    EXPECT_EQ(p.GetProfileString("General", "Blob", "def"), "def");
    {
        Profile written;
        written.WriteProfileInt("General", "Timer", -5);
        ASSERT_TRUE(written.sync());
    }
    EXPECT_EQ(Profile().GetProfileInt("General", "Timer", 7), -5);
}

TEST_F(ProfileTest, BrokenSettingsFilesAreSetAsideNotLost)
{
    const std::string file = paths::settingsFile();
    EXPECT_EQ(Profile::setAsideUnreadableFile(file).path, "") << "no file, nothing to do";
    writeSettings("[CD]\nAutoRun=1\n");
    EXPECT_EQ(Profile::setAsideUnreadableFile(file).path, "") << "a good file stays";

    // Binary noise is moved away whole.
    std::string noise(3000, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) % 256);
    writeSettings(noise);
    auto aside = Profile::setAsideUnreadableFile(file);
    EXPECT_TRUE(aside.moved);
    EXPECT_EQ(readFile(aside.path), noise) << "the moved file keeps every byte";
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));

    // A folder where the file should be cannot be read as settings either.
    QDir().mkpath(QString::fromStdString(file));
    EXPECT_TRUE(Profile::setAsideUnreadableFile(file).moved);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));

    // Text with a line that does not parse: a copy is kept and the file stays in use.
    writeSettings("[CD]\nAutoRun=1\nCDDBCon");
    aside = Profile::setAsideUnreadableFile(file);
    EXPECT_FALSE(aside.moved);
    EXPECT_EQ(readFile(aside.path), "[CD]\nAutoRun=1\nCDDBCon");
    EXPECT_EQ(Profile().GetProfileInt("CD", "AutoRun", 0), 1);
}

// A window rectangle whose right or bottom edge is the lowest 32-bit value (hand-edited, or
// written as 0x80000000) is empty and gives way to the fallback; it used to wrap round to
// the highest value and cover the whole screen (found by fuzzing the settings file).
TEST_F(ProfileTest, WindowRectanglesAtTheEndsOfTheRangeDoNotWrap)
{
    const QRect area(0, 0, 1920, 1080), fallback(710, 0, 500, 400);
    for (const char* edges : {"Right=-2147483648\nBottom=600", "Right=0x80000000\nBottom=600",
                              "Right=600\nBottom=-2147483648"}) {
        SCOPED_TRACE(edges);
        writeSettings(std::string("[Win]\nLeft=0\nTop=0\n") + edges + "\n");
        const QRect read = ReadWindowRect(Profile(), "Win");
        EXPECT_FALSE(read.isValid());
        EXPECT_EQ(FitToWorkArea(read, area, fallback), fallback);
    }
}
