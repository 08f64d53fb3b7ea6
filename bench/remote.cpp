// The remote control's spectrum beside the Sound Effector's, in one process: the CPU time of the
// user-interface thread per picture, from a snapshot handed over as the sampling worker hands it
// to the picture painted, for the spectrum viewer the remote opens (at its default size and at
// the others) and for the effector's display, in alternating rounds so that both see the same
// machine. Goal: the remote's spectrum at its default size and drawing mode costs no more than
// the effector's.
// Also the remote's half-second status tick beside the effector panel's own tick.

#include "app/remotecontrol.h"
#include "engines/samplingservice.h"
#include "players/component.h"
#include "players/effectdisplay.h"
#include "players/soundeffector.h"
#include "players/spectrumdisplay.h"
#include "players/spectrumviewer.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

double threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
}

class BenchHost : public PlayerHost
{
public:
    BenchHost()
    {
        for (ComponentRecord& r : m_settings.components)
            r.enable = 1;
        m_settings.equalizerEnable = 1;
        m_settings.reverbDepth = m_settings.chorusDepth = m_settings.wideDepth = 16;
    }
    AppSettings& settings() override { return m_settings; }
    void saveSettings() override {}
    int& startMode() override { return m_mode; }
    std::string& pendingFile() override { return m_file; }
    bool& pendingFileIsTemporary() override { return m_temporary; }
    HWND controller() const override { return 0; }

private:
    AppSettings m_settings;
    int m_mode = StartModeNone;
    std::string m_file;
    bool m_temporary = false;
};

void settle(SpectrumDisplay* d)
{
    QElapsedTimer clock;
    clock.start();
    while ((d->isAnimating() || !d->isRegistered()) && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
}

// CPU nanoseconds per picture over n snapshots.
double perPicture(SpectrumDisplay* d, int n, int& phase)
{
    const int before = d->snapshotsShown();
    const double start = threadCpuNs();
    for (int i = 0; i < n; ++i) {
        engines::SpectrumSnapshot s{};
        for (int b = 0; b < 20; ++b)
            s[static_cast<size_t>(b)] = (b * 7 + phase * 13) % 100;
        ++phase;
        d->showSpectrum(s);
        // The queued take-over of the snapshot, then the repaint it asks for; posted events
        // only, so that the event loop's own polling does not drown what the displays cost.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    }
    const double spent = threadCpuNs() - start;
    const int shown = d->snapshotsShown() - before;
    return shown > 0 ? spent / shown : -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    engines::SpectrumService service({}); // no engine: the snapshots come from here
    BenchHost host;

    Wnd panel;
    panel.resize(500, 100);
    EffectDisplay effector(&panel, 0);
    panel.show();
    effector.spectrum()->Enable(true);

    const int rounds = 31;
    const int perRound = 200;
    bool ok = true;
    double defaultRatio = 0;
    // Both displays in the same drawing mode: the settings' default (solid bars) for the goal,
    // then the LED bars with peaks, where the number of segments rather than the area counts.
    for (int mode : {0, 2}) {
        host.settings().spectrumMode = mode;
        effector.spectrum()->SetMode(mode);
        for (int size : {1, 0, 2, 3}) {
            if (mode != 0 && size != 1)
                continue;
            host.settings().spectrumSize = size;
            SpectrumViewer viewer(host, 0, &service);
            viewer.show();
            settle(viewer.display());
            settle(effector.spectrum());
            std::vector<double> remote, fx, ratios;
            int phase = 0;
            for (int r = 0; r < rounds; ++r) {
                fx.push_back(perPicture(effector.spectrum(), perRound, phase));
                remote.push_back(perPicture(viewer.display(), perRound, phase));
                // Each round's pair saw the same moment of the machine.
                ratios.push_back(remote.back() / fx.back());
            }
            const double ratio = median(ratios);
            const QSize ws = SpectrumViewer::windowSize(size);
            const bool goal = mode == 0 && size == 1;
            std::printf(
                "spectrum picture (drawing mode %d), UI thread CPU: remote's viewer size %d "
                "(%dx%d) %.1f us, Sound Effector's display %.1f us, ratio %.2f%s\n",
                mode, size, ws.width(), ws.height(), median(remote) / 1000, median(fx) / 1000,
                ratio, goal ? " (goal <= 1.00)" : "");
            if (goal) {
                defaultRatio = ratio;
                ok = ratio <= 1.0;
            }
        }
    }

    // The remote's status tick (status of its target, display, tray) beside the effector
    // panel's own tick, both without a main window to answer (the cost of the windows alone).
    {
        Wnd controller;
        RemoteControl remote(host, &controller, hotkeys::DefaultTable(), nullptr, &service);
        SoundEffector panelEffector(host, nullptr);
        remote.show();
        panelEffector.show();
        QCoreApplication::processEvents();
        auto ticks = [](Wnd& w) {
            const double start = threadCpuNs();
            for (int i = 0; i < 2000; ++i) {
                w.sendMessage(WM_TIMER, kTickTimerId, 0);
                QCoreApplication::processEvents();
            }
            return (threadCpuNs() - start) / 2000;
        };
        std::vector<double> r, e;
        for (int i = 0; i < 5; ++i) {
            r.push_back(ticks(remote));
            e.push_back(ticks(panelEffector));
        }
        std::printf("half-second tick, UI thread CPU: remote control %.1f us, Sound Effector "
                    "panel %.1f us, ratio %.2f\n",
                    median(r) / 1000, median(e) / 1000, median(r) / median(e));
    }
    if (!ok)
        std::printf("remote: the viewer's picture costs %.2f times the effector's (goal <= 1.00)\n",
                    defaultRatio);
    return ok ? 0 : 1;
}
