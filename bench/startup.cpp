// Time from process start to the main window shown (offscreen), and resident memory then:
// kolvo against a bare Qt program that shows a window of the same size. Median of several runs.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Run
{
    double ms = -1;
    long rssKiB = 0;
};

Run runOnce(const QString& program, const QStringList& args, const QString& home)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KOLVO_HOME"), home);
    env.insert(QStringLiteral("KOLVO_TRACE"), QStringLiteral("1"));
    env.insert(QStringLiteral("KOLVO_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    Run run;
    QString out;
    static const QRegularExpression shown(QStringLiteral("kolvo: shown .*rss_kib=(\\d+)"));
    while (p.waitForReadyRead(10000)) {
        out += QString::fromUtf8(p.readAllStandardOutput());
        const auto m = shown.match(out);
        if (m.hasMatch()) {
            run.ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            run.rssKiB = m.captured(1).toLong();
            break;
        }
    }
    p.waitForFinished(10000);
    return run;
}

template <typename T>
T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kRuns = 9;
    QTemporaryDir home;
    const QString kolvo = QStringLiteral(KOLVO_BIN_DIR "/kolvo");
    const QString peer = QStringLiteral(KOLVO_BENCH_DIR "/startup_peer");
    runOnce(kolvo, {QStringLiteral("/nosplash")}, home.path()); // the first start writes settings

    std::vector<double> kolvoMs, peerMs;
    std::vector<long> kolvoRss, peerRss;
    for (int i = 0; i < kRuns; ++i) {
        const Run k = runOnce(kolvo, {QStringLiteral("/nosplash")}, home.path());
        const Run p = runOnce(peer, {}, home.path());
        if (k.ms < 0 || p.ms < 0) {
            std::fprintf(stderr, "startup: a run did not report its window\n");
            return 1;
        }
        kolvoMs.push_back(k.ms);
        peerMs.push_back(p.ms);
        kolvoRss.push_back(k.rssKiB);
        peerRss.push_back(p.rssKiB);
    }
    const double km = median(kolvoMs), pm = median(peerMs);
    const double kr = median(kolvoRss) / 1024.0, pr = median(peerRss) / 1024.0;
    std::printf("startup to window shown: kolvo %.1f ms, bare Qt window %.1f ms, ratio %.2f "
                "(goal < 250 ms)\n",
                km, pm, km / pm);
    std::printf("resident memory when shown: kolvo %.1f MB, bare Qt window %.1f MB, ratio %.2f "
                "(goal < 60 MB)\n",
                kr, pr, kr / pr);
    return (km < 250 && kr < 60) ? 0 : 1;
}
