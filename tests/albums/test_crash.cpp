// A writer process saving albums in a loop is killed at random moments, round after round.
// After every kill the database must open, be sound, and hold every album at the version its
// last reported save left, except the one being saved, which may also be at its next version.
#include "albumtesting.h"

#include "crashalbum.h"

#include <chrono>
#include <csignal>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace {

class CrashTest : public KolvoHomeTest
{};

struct Round
{
    std::string output;
    int status = 0;
};

// Starts the writer, lets it run for a while, kills it and returns what it said.
Round runWriter(const std::string& home, int seed, std::chrono::microseconds runFor)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    const std::string program = builtProgram("album_crash_writer");
    const std::string seedText = std::to_string(seed);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execl(program.c_str(), program.c_str(), home.c_str(), seedText.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    // Wait for the first save so that the start-up is not what gets killed.
    Round r;
    char buf[65536];
    while (r.output.find("saved") == std::string::npos) {
        const ssize_t n = read(pipeFds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        r.output.append(buf, static_cast<size_t>(n));
    }
    std::this_thread::sleep_for(runFor);
    kill(pid, SIGKILL);
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
        r.output.append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    waitpid(pid, &r.status, 0);
    return r;
}

} // namespace

TEST_F(CrashTest, AKilledWriterLeavesEveryAlbumOldOrNew)
{
    std::vector<int> confirmed(crashalbum::kAlbums, 0);
    std::mt19937 rng(20240601);
    int totalSaves = 0, caughtMidSave = 0, newVersionLanded = 0;
    const auto started = std::chrono::steady_clock::now();
    // Rounds of random length until thousands of saves have been made (a few seconds; bounded
    // for a slow machine or a sanitizer build).
    const auto enough = [&] {
        return std::chrono::steady_clock::now() - started > std::chrono::seconds(90);
    };
    for (int round = 0; round < 400 && (round < 40 || totalSaves < 2500) && !enough(); ++round) {
        const auto runFor = std::chrono::microseconds(200 + rng() % 100000);
        const Round r = runWriter(home(), static_cast<int>(rng()), runFor);
        ASSERT_TRUE(WIFSIGNALED(r.status))
            << "round " << round << ": the writer stopped on its own, status " << r.status;

        int inFlightAlbum = -1, inFlightVersion = 0;
        std::istringstream lines(r.output);
        std::string word;
        int album, version;
        while (lines >> word >> album >> version) {
            if (word == "saving") {
                inFlightAlbum = album;
                inFlightVersion = version;
            } else {
                ASSERT_EQ(word, "saved");
                confirmed[static_cast<size_t>(album)] = version;
                inFlightAlbum = -1;
                ++totalSaves;
            }
        }
        caughtMidSave += inFlightAlbum >= 0;

        auto cf = cfb::CompoundFile::open(Album::DatabasePath(AlbumKindCd),
                                          cfb::CompoundFile::Mode::Read, nullptr);
        ASSERT_NE(cf, nullptr) << "round " << round;
        const auto problems = cf->verify();
        ASSERT_TRUE(problems.empty()) << "round " << round << ": " << problems[0];
        cf.reset();

        for (int i = 0; i < crashalbum::kAlbums; ++i) {
            Album a(AlbumKindCd);
            const bool exists = a.LoadForReading(crashalbum::key(i));
            const int v = exists ? crashalbum::versionOf(a) : 0;
            ASSERT_GE(v, 0) << "round " << round << ": album " << i << " is no version at all";
            const int old = confirmed[static_cast<size_t>(i)];
            if (i == inFlightAlbum && v == inFlightVersion) {
                ++newVersionLanded;
                confirmed[static_cast<size_t>(i)] = v;
            } else {
                ASSERT_EQ(v, old) << "round " << round << ": album " << i;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    RecordProperty("saves", totalSaves);
    std::printf("%d saves in %.1f s, %d kills during a save, %d of them after the commit\n",
                totalSaves, seconds, caughtMidSave, newVersionLanded);
    // A sanitizer build saves several times slower and meets the 90-second bound first.
    EXPECT_GE(totalSaves, kStartDeadlineScale > 1 ? 1000 : 2000);
    EXPECT_GE(caughtMidSave, 30) << "most kills should land inside a save";
}
