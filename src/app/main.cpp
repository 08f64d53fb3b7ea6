#include "app/commandline.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "engines/versioninfo.h"
#include "platform/trace.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM end the program the orderly way, settings saved, through the event loop.
void installSignalHandlers(PlayerApp& app)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [&app] {
        char c;
        [[maybe_unused]] const ssize_t n = read(g_signalPipe[0], &c, 1);
        if (MainController* w = app.mainWindow())
            w->destroyWindow();
        else
            QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    traceStartClock();
    // Answered before any window, setting or running Kolvo is touched, and without a display.
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    switch (FindInformationRequest(given)) {
    case InformationRequest::Help:
        std::fputs(CommandLineHelp().c_str(), stdout);
        return 0;
    case InformationRequest::Version:
        std::fputs(engines::versionReport("kolvo").c_str(), stdout);
        return 0;
    case InformationRequest::None:
        break;
    }
    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    PlayerApp app;
    // Installed first: a signal that comes during start-up waits in the socket until the event
    // loop runs, and then ends the program the same orderly way.
    installSignalHandlers(app);
    if (!app.InitInstance(QApplication::arguments().mid(1)))
        return app.exitCode();

    // The end of the desktop session saves the settings like an exit does.
    QObject::connect(&qapp, &QGuiApplication::commitDataRequest, &app,
                     [&app](QSessionManager&) { app.SaveSettings(); });

    const int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
