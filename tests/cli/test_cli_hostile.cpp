// kolvo-cli reads files from anywhere. Every command that reads one is fed hostile files: inputs
// the fuzz target of its reader kept in its corpus (tests/fuzz/corpus), the same cut in half,
// and files made to hurt (headers cut short, counts at the ends of the range, invalid UTF-8,
// half CP949 characters). Each run must end by itself within its time, with 0, 1 or 2 and not
// by a signal; a failure must say why on a "kolvo-cli: " line; and what it prints is UTF-8.
#include "support/clirun.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kLimitMs = 20000 * kStartDeadlineScale;
// `info` may wait up to 15 seconds for an engine to open a file.
constexpr int kInfoLimitMs = 40000 * kStartDeadlineScale;

using Inputs = std::vector<std::pair<std::string, std::string>>; // what it is, its bytes

// Up to so many inputs of each fuzz target's corpus spread over its sizes, each whole and cut
// in half.
Inputs fromCorpus(std::initializer_list<std::pair<std::string, qsizetype>> targets)
{
    Inputs inputs;
    for (const auto& [target, count] : targets) {
        const QDir dir(
            QString::fromStdString(std::string(KOLVO_SOURCE_DIR) + "/tests/fuzz/corpus/" + target));
        const QStringList names = dir.entryList(QDir::Files, QDir::Size);
        EXPECT_FALSE(names.isEmpty()) << target << " has no corpus";
        const qsizetype n = std::min(count, names.size());
        for (qsizetype i = 0; i < n; ++i) {
            const QString name = names[i * names.size() / n];
            const std::string bytes = readFile(dir.filePath(name).toStdString());
            const std::string what = target + "/" + name.toStdString();
            inputs.emplace_back(what, bytes);
            inputs.emplace_back(what + ", first half", bytes.substr(0, bytes.size() / 2));
        }
    }
    return inputs;
}

// A text with NULs in it, all of it.
template <size_t N>
std::string bytesOf(const char (&text)[N])
{
    return std::string(text, N - 1);
}

std::string le16(unsigned v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string le32(unsigned v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// An ID3v1 tag with these field bytes (cut or padded to their sizes) at the end of a file.
std::string tagged(const std::string& title, const std::string& artist, int genre)
{
    std::string tag = "TAG";
    tag += (title + std::string(30, '\0')).substr(0, 30);
    tag += (artist + std::string(30, '\0')).substr(0, 30);
    tag += std::string(30 + 4 + 30, '\0');
    tag += static_cast<char>(genre);
    return std::string(64, '\x55') + tag;
}

// A skin-file header ("UIB", version 4.0) whose slot table says what the entries say.
std::string skinHeader(const std::vector<std::pair<unsigned, unsigned>>& entries)
{
    std::string h(1368, '\0');
    h.replace(0, 4, std::string("UIB\0", 4));
    h.replace(4, 7, "Hostile");
    h.replace(1108, 4, le16(4) + le16(0));
    for (size_t i = 0; i < entries.size() && i < 28; ++i)
        h.replace(1112 + 8 * i, 8, le32(entries[i].first) + le32(entries[i].second));
    return h;
}

class HostileCliTest : public KolvoCliTest
{
protected:
    // Runs the command on what the input was written as and checks how it ended.
    ProcessResult expectCleanEnd(const std::string& what, const QStringList& args,
                                 int limitMs = kLimitMs, const QStringList& env = {})
    {
        SCOPED_TRACE(what + ": kolvo-cli " + args.join(QLatin1Char(' ')).toStdString() + " " +
                     env.join(QLatin1Char(' ')).toStdString());
        const ProcessResult r = runProgram(q(builtProgram("kolvo-cli")),
                                           QStringList{"--home", q(home())} + args, limitMs, env);
        EXPECT_TRUE(r.code >= 0 && r.code <= 2)
            << "exit code " << r.code << " (-1: a signal, or still running after " << limitMs
            << " ms)\n"
            << r.err;
        if (r.code != 0) {
            EXPECT_TRUE(std::regex_search(r.err, std::regex("(^|\n)kolvo-cli: [^\n]")))
                << "no reason given:\n"
                << r.err;
        }
        EXPECT_EQ(QString::fromStdString(r.out).toStdString(), r.out) << "not UTF-8";
        return r;
    }

    QString file(const std::string& relative, const std::string& bytes)
    {
        return q(writeFile(relative, bytes));
    }
};

// Every key of `album list KIND`, unescaped.
std::vector<std::string> listedKeys(const std::string& listing)
{
    std::vector<std::string> keys(1);
    for (size_t i = 0; i < listing.size(); ++i) {
        if (listing[i] == '\n') {
            keys.emplace_back();
        } else if (listing[i] == '\t') {
            i = std::min(listing.find('\n', i), listing.size()) - 1; // the rest of the line
        } else if (listing[i] == '\\' && i + 1 < listing.size()) {
            const char c = listing[++i];
            keys.back() += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            keys.back() += listing[i];
        }
    }
    if (keys.back().empty())
        keys.pop_back(); // after the last line's end
    return keys;
}

} // namespace

TEST_F(HostileCliTest, TagsAndSongNames)
{
    Inputs inputs = fromCorpus({{"fuzz_id3", 5}, {"fuzz_song_name", 5}});
    inputs.emplace_back("a tag cut short", "TAG" + std::string(124, 'x'));
    // 14 Korean characters and half of one: 29 bytes.
    const std::string halfAtTheEnd = QByteArray("\xB0\xA1").repeated(14).toStdString() + "\xB0";
    inputs.emplace_back("half CP949 characters at the ends of the fields",
                        tagged("\xB0", halfAtTheEnd, 255));
    inputs.emplace_back("invalid UTF-8", tagged("\xF7\x97\x97\x97\xC0\xAF", "\xED\xA0\x80", 127));
    inputs.emplace_back("an IMS header cut short", std::string("\x01\x00\x00\x00\x00\x00\x88", 7));
    inputs.emplace_back("an IMS title ending in half a Johab code",
                        std::string(6, '\0') + "\x88\x61\x88" + std::string(27, '\0'));
    for (const auto& [what, bytes] : inputs) {
        const QString mp3 = file("song.mp3", bytes);
        const QString ims = file("tune.ims", bytes);
        expectCleanEnd(what, {"id3", "show", mp3});
        expectCleanEnd(what, {"name", mp3, "--tags"});
        expectCleanEnd(what, {"name", ims, "--tags"});
    }
    // With each legacy code page, the tags that are not UTF-8 still print as UTF-8. Under a
    // UTF-8 code page this printed bytes past U+10FFFF as they were (found by fuzzing).
    const QString found = file("found.mp3", tagged("\xDD\xDD\x8F/\xF7\x97\x97\x97", "", 0));
    for (const char* page : {"CP1252", "CP949", "CP932", "UTF-8"}) {
        const ProcessResult r = expectCleanEnd(page, {"id3", "show", found}, kLimitMs,
                                               {QStringLiteral("KOLVO_CODEPAGE=") + page});
        EXPECT_EQ(r.code, 0) << r.err;
    }
}

// WAVE files to encode: the readers' corpus, and headers that lie.
TEST_F(HostileCliTest, WaveFilesToEncode)
{
    Inputs inputs = fromCorpus({{"fuzz_wave_file", 6}});
    const std::string fmt =
        "fmt " + le32(16) + le16(1) + le16(2) + le32(44100) + le32(176400) + le16(4) + le16(16);
    inputs.emplace_back("a data size past the end of the file",
                        "RIFF" + le32(100) + "WAVE" + fmt + "data" + le32(0x7FFFFFF0) + "abcd");
    inputs.emplace_back("streamed: sizes of all ones", "RIFF" + le32(0xFFFFFFFF) + "WAVE" + fmt +
                                                           "data" + le32(0xFFFFFFFF) +
                                                           std::string(4000, '\x11'));
    inputs.emplace_back("a format chunk of 4 GiB",
                        "RIFF" + le32(100) + "WAVEfmt " + le32(0xFFFFFFFF));
    inputs.emplace_back("no channels", "RIFF" + le32(100) + "WAVEfmt " + le32(16) + le16(1) +
                                           le16(0) + le32(44100) + le32(0) + le16(0) + le16(16) +
                                           "data" + le32(4) + "abcd");
    for (const auto& [what, bytes] : inputs)
        expectCleanEnd(what, {"encode", file("in.wav", bytes)});
}

TEST_F(HostileCliTest, PlayListsImportedIntoAnAlbum)
{
    Inputs inputs = fromCorpus({{"fuzz_playlist", 6}});
    inputs.emplace_back("a count at the top of the range",
                        "[playlist]\nNumberOfEntries=2147483647\nFile1=a.mp3\nFile2=b.mp3\n");
    inputs.emplace_back("a negative count", "[playlist]\nNumberOfEntries=-5\nFile1=a.mp3\n");
    inputs.emplace_back("one line of 200000 bytes without an end",
                        std::string(200000, 'a') + ".mp3");
    inputs.emplace_back("invalid UTF-8 and half CP949 characters",
                        "\xF7\x97\x97\x97.mp3\n\xB0\n/music/\xC0\xAF.mp3\r\n\xB0\xA1\xB0.wav\n");
    inputs.emplace_back("an album section with huge numbers",
                        "[Hostile]\nnumtracks=2147483647\n0=a.mp3\n2147483646=b.mp3\n"
                        "order=1 2 3 99999999 -1\n");
    for (const auto& [what, bytes] : inputs) {
        for (const char* ext : {"m3u", "pls", "ini"})
            expectCleanEnd(what, {"album", "import", "audio", "Hostile",
                                  file(std::string("list.") + ext, bytes)});
    }
    const ProcessResult shown =
        expectCleanEnd("the album the lists went into", {"album", "show", "audio", "Hostile"});
    EXPECT_EQ(shown.code, 0) << shown.err;
}

TEST_F(HostileCliTest, CdPlayerFilesImported)
{
    Inputs inputs = fromCorpus({{"fuzz_cdtext", 6}});
    inputs.emplace_back("a DiscPlay disc of 2147483647 tracks",
                        "[Album]\nIN=ABCD0001\nTL=t\n[Tracks]\nCT=2147483647\nTT[1]=one\n"
                        "TL[1]=2147483647\nTO[1]=2147483647\n<\n");
    inputs.emplace_back("a NotifyCD disc with half characters",
                        "V1.1\nINI\nABCD0002\n\xB0\n\xF7\x97\n\xC0\n2147483647\none\n\xB0\n");
    inputs.emplace_back("a CD player section of 99999999 tracks",
                        "[ABCD0003]\nnumtracks=99999999\nartist=\xB0\ntitle=\xF7\x97\x97\x97\n"
                        "order=1 2 99999999\n");
    for (const auto& [what, bytes] : inputs) {
        for (const char* ext : {"dpc", "ncd", "ini"})
            expectCleanEnd(what, {"cd", "import", file(std::string("discs.") + ext, bytes)});
    }
    const ProcessResult listed = expectCleanEnd("the albums imported", {"album", "list", "cd"});
    EXPECT_EQ(listed.code, 0) << listed.err;
}

TEST_F(HostileCliTest, AlbumDatabasesReadAndWritten)
{
    Inputs inputs = fromCorpus({{"fuzz_album_database", 6}, {"fuzz_compoundfile", 3}});
    for (const auto& [what, bytes] : inputs) {
        QDir(QString::fromStdString(homePath("data"))).removeRecursively();
        writeFile("data/KolCDP.sdb", bytes);
        writeFile("data/KolWave.sdb", bytes);
        for (const char* kind : {"cd", "audio"}) {
            const ProcessResult listed =
                expectCleanEnd(what, {"album", "list", QString::fromLatin1(kind)});
            std::vector<std::string> keys = listedKeys(listed.out);
            keys.resize(std::min<size_t>(keys.size(), 2));
            for (const std::string& key : keys) {
                const QString k = QString::fromStdString(key);
                expectCleanEnd(what, {"album", "show", QString::fromLatin1(kind), k});
                if (std::string(kind) == "cd") {
                    expectCleanEnd(what, {"cddb", "discid", "--album", k});
                    expectCleanEnd(what, {"cddb", "record", "--album", k});
                }
            }
        }
        // Writing into it: the damaged ones are moved aside and a new one is written.
        expectCleanEnd(what, {"album", "add", "audio", "Hostile", "/music/new.mp3"});
    }
}

TEST_F(HostileCliTest, SkinFilesInspected)
{
    Inputs inputs = fromCorpus({{"fuzz_skin", 6}});
    inputs.emplace_back("a header cut short", skinHeader({}).substr(0, 1000));
    std::vector<std::pair<unsigned, unsigned>> huge(28, {1368, 0x03FFFFFFu});
    inputs.emplace_back("slots claiming 64 MB each", skinHeader(huge));
    std::vector<std::pair<unsigned, unsigned>> past(28, {0xFFFFFFF0u, 0x100u});
    inputs.emplace_back("slots past the end of any file", skinHeader(past));
    // One slot whose bitmap header claims the largest sides there are.
    std::string bitmap = le32(40) + le32(0x7FFFFFFF) + le32(0x80000001) + le16(1) + le16(32) +
                         le32(0) + le32(0) + le32(0) + le32(0) + le32(0) + le32(0);
    std::vector<std::pair<unsigned, unsigned>> one(3, {1368, static_cast<unsigned>(bitmap.size())});
    inputs.emplace_back("a bitmap of 2147483647 x -2147483647", skinHeader(one) + bitmap);
    for (const auto& [what, bytes] : inputs)
        expectCleanEnd(what, {"skin", "info", file("hostile.uib", bytes)});
}

TEST_F(HostileCliTest, MpegFilesDescribed)
{
    Inputs inputs = fromCorpus({{"fuzz_mpeg_file", 2}, {"fuzz_mpeg_headers", 1}});
    const std::string frame = std::string("\xFF\xFB\x90\x64", 4) + std::string(413, '\0');
    inputs.emplace_back("an ID3v2 tag claiming 256 MB",
                        std::string("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + frame + frame);
    inputs.emplace_back("a frame header cut short", std::string("\xFF\xFB", 2));
    std::string xing = frame;
    xing.replace(36, 12, std::string("Xing\x00\x00\x00\x01\xFF\xFF\xFF\xFF", 12));
    inputs.emplace_back("a VBR header claiming 4294967295 frames", xing + frame + frame);
    for (const auto& [what, bytes] : inputs)
        expectCleanEnd(what, {"info", file("hostile.mp3", bytes)}, kInfoLimitMs);
}

TEST_F(HostileCliTest, MidiFilesDescribedAndTheirWordsPrinted)
{
    // The small SoundFont, so that each run loads quickly.
    const std::string sf2 = homePath("sf2");
    QDir().mkpath(QString::fromStdString(sf2));
    QFile::link("/usr/share/sounds/sf2/TimGM6mb.sf2",
                QString::fromStdString(sf2 + "/TimGM6mb.sf2"));
    Inputs inputs = fromCorpus({{"fuzz_smf_karaoke", 3}});
    inputs.emplace_back("a header cut short", bytesOf("MThd\0\0\0\6\0\1"));
    inputs.emplace_back("a track claiming 4 GB",
                        bytesOf("MThd\0\0\0\6\0\0\0\1\1\xE0MTrk\xFF\xFF\xFF\xFF\0\x90\x40\x40"));
    inputs.emplace_back("a delta time of days",
                        bytesOf("MThd\0\0\0\6\0\0\0\1\0\1MTrk\0\0\0\x0C\0\x90\x40\x40"
                                "\xFF\xFF\xFF\x7F\x80\x40\0\0"));
    for (const auto& [what, bytes] : inputs) {
        const QString mid = file("hostile.kar", bytes);
        const QStringList env{"KOLVO_SF2_DIR=" + QString::fromStdString(sf2)};
        expectCleanEnd(what, {"info", mid}, kInfoLimitMs, env);
        expectCleanEnd(what, {"karaoke", mid});
    }
}

TEST_F(HostileCliTest, SettingsFilesRead)
{
    Inputs inputs = fromCorpus({{"fuzz_settings_file", 6}});
    inputs.emplace_back("NUL bytes", bytesOf("[General]\nTimer=5\0\0\0\n[CD]\nEMail=a\0b\n"));
    inputs.emplace_back(
        "invalid UTF-8 and half CP949 characters",
        "[General]\nColorScheme=\xB0\n[CD]\nEMail=\xF7\x97\x97\x97\nDrive=\xC0\xAF\n");
    inputs.emplace_back("numbers past every range",
                        "[General]\nTimer=99999999999999999999\n[Equalizer]\n0=-99999999999\n"
                        "[MainController]\nPosX2=0x80000000\n");
    inputs.emplace_back(
        "values QSettings takes for other types",
        "[Audio]\nRecordWAVStruct=@ByteArray(\n[General]\n"
        "ColorScheme=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\nTimer=@Rect(1 2 3 4)\n");
    inputs.emplace_back("a server list of odd entries",
                        "[CDDBServers_New]\n1=\xB0:99999\n2=[::1\n3=http://\nRecent=\n");
    for (const auto& [what, bytes] : inputs) {
        writeFile("config/Quorvane System, Inc./Kolvo.conf", bytes);
        const ProcessResult all = expectCleanEnd(what, {"settings"});
        EXPECT_EQ(all.code, 0) << all.err;
        expectCleanEnd(what, {"settings", "--get", "General/Timer"});
        expectCleanEnd(what, {"settings", "--get", "CDDBServers_New/1"});
    }
}

TEST_F(HostileCliTest, ImsSongsTheirBanksAndModulesDescribed)
{
    Inputs songs = fromCorpus({{"fuzz_ims_song", 3}});
    const std::string header = std::string("\x01\x00", 2) + std::string(34, '\0') + "\x30\x04" +
                               le32(1) + le32(2) + le32(1) + std::string(8, '\0') + "\x00\x01" +
                               le16(120) + std::string(8, '\0');
    songs.emplace_back("events claiming 4 GB",
                       header.substr(0, 42) + le32(0xFFFFFFFF) + header.substr(46) + "\x00\xFC");
    songs.emplace_back("a system exclusive message without its end", header + "\x00\xF0\x7F\x00" +
                                                                         "ww" + le16(1) + "PIANO1" +
                                                                         '\0' + '\0' + '\0');
    songs.emplace_back("65535 instruments named", header + "\x00\xFC" + "ww" + le16(65535));
    songs.emplace_back("an hour of 0xF8 delays", header + std::string(20000, '\xF8') + "\x00\xFC" +
                                                     "ww" + le16(1) + std::string(9, '\0'));
    for (const auto& [what, bytes] : songs)
        expectCleanEnd(what, {"info", file("songs/hostile.ims", bytes)}, kInfoLimitMs);

    // Banks beside a song that is sound: passed over for the program's, or the song refused.
    const std::string song =
        readFile(std::string(KOLVO_SOURCE_DIR) + "/tests/fuzz/corpus/fuzz_ims_song/melody.ims");
    ASSERT_FALSE(song.empty());
    Inputs banks = fromCorpus({{"fuzz_adlib_bank", 2}});
    banks.emplace_back("a name list past the end", std::string("\x01\x00", 2) + "ADLIB-" +
                                                       le16(65535) + le16(65535) + le32(28) +
                                                       le32(0xFFFFFFF0) + std::string(8, '\0'));
    const QString tune = file("banked/tune.ims", song);
    for (const auto& [what, bytes] : banks) {
        file("banked/tune.bnk", bytes);
        expectCleanEnd(what, {"info", tune}, kInfoLimitMs);
    }

    Inputs modules = fromCorpus({{"fuzz_module", 2}});
    modules.emplace_back("a MOD header alone", "M.K." + std::string(1080, '\xFF'));
    modules.emplace_back("an XM header cut short", "Extended Module: ");
    for (const auto& [what, bytes] : modules) {
        expectCleanEnd(what, {"info", file("hostile.mod", bytes)}, kInfoLimitMs);
        expectCleanEnd(what, {"info", file("hostile.xm", bytes)}, kInfoLimitMs);
    }
}
