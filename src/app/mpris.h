#pragma once
// Kolvo on the session bus as an MPRIS 2 media player, so that the desktop's media keys and
// its media controls (the shell's panel, playerctl, KDE Connect) see and drive it. The service
// is "org.mpris.MediaPlayer2.kolvo" ("...kolvo.instance<pid>" when another Kolvo holds that
// name) with the object /org/mpris/MediaPlayer2 and its two interfaces, the root and the Player.
//
// It follows the active player: the one playing, paused or opening; else the one that was so
// last; else the Digital Audio Player, else the first player switched on. Commands go the way
// the remote control's do (UM_COMMAND through the main controller, the slider's WM_HSCROLL for
// seeking) and the volume is the Mixer's master volume. What plays is watched at the tick rate;
// a change of state, song or volume is signalled with PropertiesChanged, a jump in position
// with Seeked. Without a session bus Kolvo runs on without it and says so in the log.

#include "engines/mediatags.h"

#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <cstdint>
#include <string>

class MainController;
class PlayerApp;
class PlayerFrame;

class MprisService : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.kolvo";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    MprisService(MainController& controller, PlayerApp& app);
    ~MprisService() override;

    // Claims the name and starts watching; false (with a log line) without a session bus.
    bool start();
    // The name held on the bus, "" before start() or without a bus.
    QString serviceName() const { return m_serviceName; }

    // --- what the two interfaces answer ---
    QString playbackStatus() const;
    QVariantMap metadata() const { return m_metadata; }
    double volume() const;
    void setVolume(double volume);
    qlonglong positionUs() const;
    bool canPlay() const;
    bool canSeek() const;
    bool canGoNext() const;
    bool canGoPrevious() const;

    void playPause();
    void play();
    void pause();
    void stop();
    void next();
    void previous();
    void seek(qlonglong offsetUs);
    void setPosition(const QDBusObjectPath& trackId, qlonglong positionUs);
    void openUri(const QString& uri);
    void raise();
    void quit();

signals:
    void seeked(qlonglong positionUs);

private:
    // What is watched of the active player.
    struct Watched
    {
        int player = -1;
        int state = 0;
        int song = 0;
        std::string path;
        std::int64_t lengthMs = 0;
        int volume = -1;
        bool operator==(const Watched&) const = default;
    };

    void poll();
    Watched look() const;
    int activePlayer() const;
    PlayerFrame* frame(int index) const;
    // The Mixer's master volume (0-32), -1 without a Mixer or a master line.
    int masterVolume() const;
    void command(int id, int arg = 0);
    void seekTo(std::int64_t ms);
    void rebuildMetadata(const Watched& now);
    void readTagsLater(const std::string& path, std::uint64_t generation);
    void takeTags(std::uint64_t generation, const engines::MediaTags& tags);
    void removeCover();
    void propertiesChanged(const QVariantMap& changed);

    QPointer<MainController> m_controller;
    PlayerApp& m_app;
    QString m_serviceName;
    QTimer m_timer;
    Watched m_last;
    mutable int m_lastActive = -1;
    QVariantMap m_metadata;
    std::uint64_t m_generation = 0;
    std::string m_coverPath;
    std::int64_t m_lastPositionMs = -1;
    qint64 m_lastPollMs = 0;
    QElapsedTimer m_clock;
};
