// The CD Player loading a disc: the tick that opens the device, reads the table of contents,
// opens (or creates) the disc's album in the CD album database, reads the timing and saves it,
// on a 99-track image; beside cd-info reading the same image's table of contents in the same
// run. Goal: under 50 ms.

#include "players/cdplayer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class BenchHost : public PlayerHost
{
public:
    explicit BenchHost(const std::string& drive)
    {
        for (ComponentRecord& r : m_settings.components)
            r.enable = 1;
        m_settings.cdDrive = drive;
    }
    AppSettings& settings() override { return m_settings; }
    void saveSettings() override {}
    int& startMode() override { return m_startMode; }
    std::string& pendingFile() override { return m_pending; }
    bool& pendingFileIsTemporary() override { return m_temporary; }
    HWND controller() const override { return 0; }

private:
    AppSettings m_settings;
    int m_startMode = StartModeNone;
    std::string m_pending;
    bool m_temporary = false;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Milliseconds of the tick that takes the player from "no disc yet" to the disc loaded.
double loadDisc(const std::string& drive)
{
    BenchHost host(drive);
    CdPlayer player(host, nullptr);
    QElapsedTimer clock;
    clock.start();
    player.sendMessage(WM_TIMER, kTickTimerId, 0);
    const double elapsed = clock.nsecsElapsed() / 1e6;
    return player.state() == kModeStopped && player.album().songCount() == 99 ? elapsed : -1;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("KOLVO_NONINTERACTIVE", "1", 1);
    QTemporaryDir home;
    setenv("KOLVO_HOME", home.path().toUtf8().constData(), 1);
    QApplication app(argc, argv);

    const QString cue = home.path() + "/ninety-nine.cue";
    const QString make = QString("'%1/tools/make-test-disc' audio '%2' --tracks 99 2")
                             .arg(KOLVO_SOURCE_DIR, cue);
    if (QProcess::execute("/bin/sh", {"-c", make}) != 0) {
        std::fprintf(stderr, "cdplayer: the disc image cannot be made (tools/make-test-disc)\n");
        return 1;
    }
    const std::string drive = cue.toStdString();

    // The first sight of a disc creates its album; later loads find it.
    const double first = loadDisc(drive);
    std::vector<double> known, peer;
    for (int i = 0; i < 11; ++i) {
        known.push_back(loadDisc(drive));
        QElapsedTimer clock;
        clock.start();
        QProcess info;
        info.start("cd-info", {"--no-header", "--no-device-info", "--no-cddb", "--cue-file", cue});
        info.waitForFinished(10000);
        peer.push_back(info.exitCode() == 0 ? clock.nsecsElapsed() / 1e6 : -1);
    }
    const double k = median(known), p = median(peer);
    if (first < 0 || k < 0) {
        std::fprintf(stderr, "cdplayer: the disc did not load\n");
        return 1;
    }
    std::printf("loading a 99-track disc image (table of contents and album): kolvo CD Player %.1f ms "
                "the first time, %.1f ms a known disc; cd-info %.1f ms; ratio %.2f (goal < 50 ms)\n",
                first, k, p, p > 0 ? k / p : 0.0);
    return first < 50 && k < 50 ? 0 : 1;
}
