// A bare Qt program that shows a borderless 500 x 50 window and reports as kolvo's trace does:
// the floor under Kolvo's own start-up time and memory, and (--stay) its idle load.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static long residentKiB()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kib = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            kib = std::strtol(line + 6, nullptr, 10);
    if (f)
        std::fclose(f);
    return kib;
}

class Strip : public QWidget
{
protected:
    void showEvent(QShowEvent*) override
    {
        std::printf("kolvo: shown ms=0 rss_kib=%ld\n", residentKiB());
        std::fflush(stdout);
        // With --stay it waits to be ended, the idle peer of the player benchmark.
        if (!qApp->arguments().contains(QStringLiteral("--stay")))
            QTimer::singleShot(0, qApp, &QApplication::quit);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Strip w;
    w.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    w.resize(500, 50);
    w.show();
    return app.exec();
}
