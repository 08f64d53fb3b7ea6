#pragma once
// What the tests of the players share: a player in the real main window, tones made by sox,
// answers to the Open dialog, and the folder pictures for people to look at are saved in.

#include "albums/album.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "enginetest.h"
#include "platform/strings.h"
#include "players/playerframe.h"
#include "support/testhome.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace playertest {

inline QString shotDir()
{
    const QString dir = QStringLiteral(KOLVO_BIN_DIR "/../test-screenshots");
    QDir().mkpath(dir);
    return QDir(dir).absolutePath();
}

// A stereo WAVE tone at `path` (folders made as needed).
inline std::string tone(const std::string& path, double seconds, int hz)
{
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    enginetest::sh("sox -n -r 44100 -c 2 '" + path + "' synth " + std::to_string(seconds) +
                   " sine " + std::to_string(hz) + " vol 0.4");
    return path;
}

inline std::vector<std::string> titles(const Album& album)
{
    std::vector<std::string> out;
    for (const SongEntry& s : album.songs())
        out.push_back(s.title);
    return out;
}

// The designed prefix of the player's open engine family, "" when none is open.
inline std::string openEngine(const PlayerFrame& p)
{
    return p.session() ? p.session()->family().prefix : "";
}

// Answers the next modal file dialog as a user does: in `dir`, `names` chosen, Open. The
// returned flag turns true once it was answered; `offered` gets the dialog's filters.
inline std::shared_ptr<bool> answerFileDialog(const std::string& dir, const QString& names,
                                              QStringList* offered = nullptr)
{
    auto answered = std::make_shared<bool>(false);
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        *answered = true;
        if (offered)
            *offered = dialog->nameFilters();
        dialog->setDirectory(QString::fromStdString(dir));
        dialog->selectFile(names);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    return answered;
}

// The real main window with one player of type P (the default set when P is void).
template <class P>
class WindowTest : public KolvoHomeTest
{
protected:
    // `settings` changes the loaded settings before the window is made; `factory` replaces
    // the one player of type P.
    void openWindow(int component, const std::function<void(AppSettings&)>& settings = {},
                    MainController::ComponentFactory factory = {})
    {
        setInterfaceLanguage("en");
        app = std::make_unique<PlayerApp>();
        app->LoadSettings();
        if (settings)
            settings(app->settings());
        if constexpr (!std::is_void_v<P>)
            if (!factory)
                factory = [component](int index, PlayerHost& host,
                                      QWidget* parent) -> ComponentWnd* {
                    return index == component ? new P(host, parent) : nullptr;
                };
        window = factory ? std::make_unique<MainController>(*app, factory)
                         : std::make_unique<MainController>(*app);
        m_component = component;
    }
    void TearDown() override
    {
        window.reset();
        app.reset();
        setInterfaceLanguage("");
        KolvoHomeTest::TearDown();
    }
    LRESULT command(int id, int arg = 0)
    {
        return window->sendMessage(UM_COMMAND, static_cast<WPARAM>(m_component),
                                   MAKELPARAM(id, arg));
    }
    void playPending(const std::string& file)
    {
        app->cmdInfo.fileName = file;
        command(cmd::PlayPending);
    }

    std::unique_ptr<PlayerApp> app;
    std::unique_ptr<MainController> window;

private:
    int m_component = 0;
};

} // namespace playertest
