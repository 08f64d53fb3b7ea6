// The IMS song and AdLib bank readers, the bank lookup and the program's bank; files the IMS and
// module engines refuse at once; Impulse Tracker modules beside openmpt123. No sound card needed.

#include "albums/mediakind.h"
#include "engines/adlibbank.h"
#include "engines/engineapi.h"
#include "engines/kimsengine.h"
#include "engines/kmodengine.h"
#include "engines/session.h"
#include "enginetest.h"
#include "platform/settings.h"
#include "synthfixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>

using namespace engines;
using namespace synthtest;
using enginetest::contains;
namespace fs = std::filesystem;

namespace {

AdlibTimbre named(const std::string& name, std::uint8_t marker)
{
    AdlibTimbre t;
    t.name = name;
    t.record[2] = marker;
    return t;
}

} // namespace

TEST(ImsFiles, SongsAndBanksReadBackAsWritten)
{
    const std::string song = music("ims", "read.ims", "--tempo 90 --notes 69:2,r:1,72:1");
    std::string why;
    const auto s = readImsSong(bytesOf(song), &why);
    ASSERT_TRUE(s) << why;
    EXPECT_EQ(std::tuple(s->title, s->basicTempo, s->tickBeat, s->soundMode, s->instruments),
              std::tuple("Kolvo test", 90, 48, 0, std::vector<std::string>{"PIANO1"}));

    const std::string bank = music("bnk", "read.bnk", "--name PIANO1,BASS1 --multiple 2");
    const std::string bytes = bytesOf(bank);
    const auto b = readAdlibBank(bytes, &why);
    ASSERT_TRUE(b) << why;
    ASSERT_EQ(b->size(), 2u);
    EXPECT_EQ((*b)[0].name, "PIANO1");
    EXPECT_EQ((*b)[1].name, "BASS1");
    EXPECT_EQ((*b)[1].record[2 + 13 + 1], 2); // the carrier's multiple
    // Our writer and the tool agree byte for byte.
    EXPECT_EQ(writeAdlibBank(*b), bytes);
}

TEST(ImsFiles, EveryCutOrDamageIsRefusedWithAReason)
{
    const std::string song = bytesOf(music("ims", "cut.ims", "--notes 60:1,62:1,64:1"));
    const std::string bank = bytesOf(music("bnk", "cut.bnk", "--name PIANO1,BASS1"));
    ASSERT_FALSE(song.empty());
    ASSERT_FALSE(bank.empty());
    std::string why;
    for (size_t n = 0; n < song.size(); ++n) {
        why.clear();
        EXPECT_FALSE(readImsSong(song.substr(0, n), &why)) << n;
        EXPECT_FALSE(why.empty()) << n;
    }
    for (size_t n = 0; n < bank.size(); ++n) {
        why.clear();
        EXPECT_FALSE(readAdlibBank(bank.substr(0, n), &why)) << n;
        EXPECT_FALSE(why.empty()) << n;
    }
    // A header that cannot be a song: no tempo; an event block longer than the file.
    std::string noTempo = song;
    noTempo[60] = noTempo[61] = 0;
    EXPECT_FALSE(readImsSong(noTempo, &why));
    EXPECT_TRUE(contains(why, "damaged"));
    std::string longData = song;
    longData[45] = '\x7f';
    EXPECT_FALSE(readImsSong(longData, &why));
    EXPECT_TRUE(contains(why, "past its end"));
    // Events the player would read past: a system exclusive message without its end, a voice
    // the chip does not have, an instrument the song's table does not name.
    for (const char* event : {"\xF0", "\xCC", "\xC0\x05"}) {
        std::string bad = song;
        bad.replace(71, std::char_traits<char>::length(event), event);
        EXPECT_FALSE(readImsSong(bad, &why)) << int(static_cast<unsigned char>(event[0]));
        EXPECT_TRUE(contains(why, "events do not come to their end"));
    }
    // A bank whose name list points at a record far past the end.
    std::string farRecord = bank;
    farRecord[28] = '\xff';
    EXPECT_FALSE(readAdlibBank(farRecord, &why));
    EXPECT_TRUE(contains(why, "past its end"));
}

TEST(ImsFiles, TheProgramsBankFollowsTheGeneralMidiLayout)
{
    const std::string path = std::string(KOLVO_BIN_DIR) + "/../share/kolvo/STANDARD.BNK";
    std::string why;
    const auto bank = readAdlibBank(bytesOf(path), &why);
    ASSERT_TRUE(bank) << path << ": " << why;
    ASSERT_EQ(bank->size(), 128u + 5u);
    EXPECT_EQ((*bank)[0].name, "PIANO1");
    EXPECT_EQ((*bank)[8].name, "CHROM1");
    EXPECT_EQ((*bank)[127].name, "SFX8");
    std::set<std::string> names;
    for (size_t i = 0; i < bank->size(); ++i) {
        const AdlibTimbre& t = (*bank)[i];
        EXPECT_TRUE(names.insert(t.name).second) << t.name;
        EXPECT_LE(t.name.size(), 8u);
        // Melodic timbres first, then the five percussion voices 6..10.
        EXPECT_EQ(t.record[0], i < 128 ? 0 : 1) << t.name;
        if (i >= 128) {
            EXPECT_EQ(t.record[1], 6 + (i - 128)) << t.name;
        }
        // Every operator value within its register field.
        for (size_t op : {2u, 15u}) {
            EXPECT_LE(t.record[op + 1], 15) << t.name; // multiple
            EXPECT_LE(t.record[op + 2], 7) << t.name;  // feedback
            EXPECT_LE(t.record[op + 3], 15) << t.name; // attack
            EXPECT_LE(t.record[op + 8], 63) << t.name; // output level
        }
    }
}

TEST(ImsFiles, InstrumentsTheBankLacksBorrowTheNearestName)
{
    ImsSong song;
    song.instruments = {"PIANO1", "piano3", "BASSX", "zz", "PIANO1"};
    const std::vector<AdlibTimbre> bank = {named("PIANO1", 1), named("BASS1", 2),
                                           named("ORGAN1", 3)};
    const auto full = completeBankFor(song, bank);
    std::string names;
    for (const AdlibTimbre& t : full)
        names += t.name + ":" + std::to_string(t.record[2]) + " ";
    EXPECT_EQ(names, "PIANO1:1 BASS1:2 ORGAN1:3 piano3:1 BASSX:2 zz:1 ");
    EXPECT_TRUE(completeBankFor(song, {}).empty());
}

TEST(ImsBank, LookedUpBesideTheSongThenTheProgramsOwn)
{
    const std::string dir = folder("lookup");
    const std::string song = dir + "/Song.ims";
    writeBytes(song, "x");
    const std::string program = folder("lookup-program") + "/STANDARD.BNK";
    EXPECT_EQ(findImsBank(song, program), "") << "no program bank, none beside";
    writeBytes(program, "b");
    EXPECT_EQ(findImsBank(song, program), program);
    writeBytes(dir + "/Standard.Bnk", "b");
    EXPECT_EQ(findImsBank(song, program), dir + "/Standard.Bnk");
    writeBytes(dir + "/SONG.BNK", "b");
    EXPECT_EQ(findImsBank(song, program), dir + "/SONG.BNK");
    // Another song's bank is not this song's.
    writeBytes(dir + "/Other.bnk", "b");
    EXPECT_EQ(findImsBank(song, program), dir + "/SONG.BNK");
}

TEST(EngineOrderForMidiKinds, AFileThatIsNoModuleIsRefusedForTheModuleEnginesReason)
{
    // A file named as a module that is none: the module engine refuses it, the media device is
    // tried next, and the reason given is the module engine's.
    const std::string junk = enginetest::fixtureDir() + "/junk.mod";
    writeBytes(junk, std::string(3000, '\x5a'));
    SessionContext context;
    AppSettings s;
    context.settings = &s;
    std::vector<int> cookies;
    const OpenOutcome outcome =
        openFirst(engineOrder(AlbumKindMidi, MediaKindModule, s), context, junk, [&] {
            cookies.push_back(static_cast<int>(cookies.size()) + 1);
            return cookies.back();
        });
    EXPECT_EQ(outcome.session, nullptr);
    EXPECT_EQ(cookies.size(), 2u) << "both families tried";
    EXPECT_EQ(outcome.family, &kMciDevice);
    EXPECT_TRUE(contains(outcome.why, "module engine"));
    EXPECT_TRUE(contains(outcome.why, std::to_string(kModFailed)));
}

TEST(SynthEngines, BadFilesAreRefusedAtOnceWithTheirCodes)
{
    const auto quick = [](auto call) {
        const auto start = std::chrono::steady_clock::now();
        const std::int32_t result = call();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        return result;
    };
    const std::string dir = folder("bad");
    EXPECT_EQ(quick([&] { return KIMSEngine_Play(0, (dir + "/none.ims").c_str(), 1); }),
              kMidiNotFound);
    EXPECT_EQ(quick([&] { return KMODEngine_Open(0, (dir + "/none.mod").c_str(), 1, nullptr); }),
              kModNotFound);
    EXPECT_EQ(KMODEngine_IsOpen(), 0);

    // No instrument table, a cut song, noise: refused as IMS songs.
    const std::string song = bytesOf(music("ims", "bad-source.ims", "--notes 60:1,64:1"));
    const std::string noTable = dir + "/notable.ims";
    writeBytes(noTable, bytesOf(music("ims", "bad-notable.ims", "--no-table")));
    EXPECT_EQ(quick([&] { return KIMSEngine_Play(0, noTable.c_str(), 2); }), kImsFailed);
    writeBytes(dir + "/cut.ims", song.substr(0, song.size() - 5));
    EXPECT_EQ(quick([&] { return KIMSEngine_Play(0, (dir + "/cut.ims").c_str(), 3); }), kImsFailed);
    writeBytes(dir + "/noise.ims", std::string(5000, '\x77'));
    EXPECT_EQ(quick([&] { return KIMSEngine_Play(0, (dir + "/noise.ims").c_str(), 4); }),
              kImsFailed);
    EXPECT_EQ(KIMSEngine_IsOpen(), 0);
    EXPECT_EQ(KIMSEngine_GetMode(), kModeStopped);

    // Modules: an empty file, noise, a header cut among its sample descriptions.
    const std::string mod = bytesOf(music("mod", "bad-source.mod"));
    for (const std::string& bytes :
         {std::string(), std::string(4000, '\x13'), mod.substr(0, 600)}) {
        writeBytes(dir + "/bad.mod", bytes);
        EXPECT_EQ(quick([&] { return KMODEngine_Open(0, (dir + "/bad.mod").c_str(), 5, nullptr); }),
                  kModFailed)
            << bytes.size();
        EXPECT_EQ(KMODEngine_IsOpen(), 0);
        EXPECT_EQ(KMODEngine_Play(), kModFailed);
    }
}

// Impulse Tracker modules of our tool, one song and three sub-songs: the module engine's length
// and information agree with openmpt123's, and a module of several sub-songs lasts them all.
TEST(ModuleFiles, ImpulseTrackerModulesAgreeWithOpenmpt123)
{
    struct Case
    {
        std::string file;
        const char* title;
        long rows; // at speed 6 and 125 a minute, 120 ms a row
        int subSongs;
    };
    // Each note list ends with the row that cuts its last note.
    const Case cases[] = {
        {music("it", "info.it", "--notes 69:32 --title Impulse"), "Impulse", 33, 1},
        {music("it", "three.it", "--notes '69:16;72:8,r:4,74:8;76:40' --title Three"), "Three",
         17 + 21 + 41, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto peer = openmptInfo(c.file);
        ASSERT_TRUE(peer.count("Duration")) << "openmpt123 (scripts/install-deps) said nothing";
        EXPECT_EQ(peer["Subsongs"], std::to_string(c.subSongs));
        const long peerMs = durationMs(peer["Duration"]);
        EXPECT_EQ(peerMs, c.rows * 120);

        ASSERT_EQ(KMODEngine_Open(0, c.file.c_str(), 1, nullptr), 1);
        EXPECT_NEAR(KMODEngine_GetLength(), peerMs, 20);
        char buffer[512] = {};
        KMODEngine_GetFileInfo(buffer, sizeof buffer);
        const std::string info = buffer;
        EXPECT_TRUE(contains(info, "Impulse Tracker"));
        EXPECT_TRUE(contains(info, "(it)"));
        EXPECT_TRUE(contains(info, ", " + peer["Channels"] + " channels, " + peer["Instruments"] +
                                       " instruments"));
        EXPECT_TRUE(contains(info, std::string("Title : ") + c.title));
        KMODEngine_Close();
    }
}
