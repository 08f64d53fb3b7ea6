#include "app/mpris.h"

#include "albums/mediakind.h"
#include "albums/songname.h"
#include "app/commandline.h"
#include "app/maincontroller.h"
#include "app/playerapp.h"
#include "platform/associations.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "players/mixer.h"
#include "players/playerframe.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace {

constexpr int kPollMs = 250;
// A position further than this from where playing on would have put it was moved by someone.
constexpr std::int64_t kSeekToleranceMs = 1500;
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

constexpr int kPlayers[] = {ComponentCd, ComponentAudio, ComponentMidi, ComponentVideo};

bool isActiveState(int state)
{
    return state == kModePlaying || state == kModePaused || state == kModeOpening ||
           state == kModeRecording || state == kModeSeeking;
}

QString trackId(int player, int song)
{
    if (player < 0 || song <= 0)
        return QString::fromLatin1(kNoTrack);
    return QStringLiteral("/org/kolvo/track/%1_%2").arg(player).arg(song);
}

} // namespace

// org.mpris.MediaPlayer2: who we are and the window.
class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool Fullscreen READ fullscreen)
    Q_PROPERTY(bool CanSetFullscreen READ canSetFullscreen)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service)
        , m_service(service)
    {}
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool fullscreen() const { return false; }
    bool canSetFullscreen() const { return false; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Kolvo"); }
    QString desktopEntry() const { return QStringLiteral("kolvo"); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    // What every player opens (the types the associations know), and what else the Digital
    // Audio Player decodes.
    QStringList supportedMimeTypes() const
    {
        QStringList types{QStringLiteral("audio/x-pn-realaudio"), QStringLiteral("audio/ogg"),
                          QStringLiteral("audio/flac"), QStringLiteral("audio/x-cd-image")};
        for (int family = 0; family < 3; ++family)
            for (const associations::Extension& e : associations::familyExtensions(family))
                if (!types.contains(QLatin1String(e.mimeType)))
                    types << QLatin1String(e.mimeType);
        return types;
    }

public slots:
    void Raise() { m_service->raise(); }
    void Quit() { m_service->quit(); }

private:
    MprisService* m_service;
};

// org.mpris.MediaPlayer2.Player: the transport, what plays, the volume.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPlay)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)
public:
    explicit MprisPlayerAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service)
        , m_service(service)
    {
        connect(service, &MprisService::seeked, this, &MprisPlayerAdaptor::Seeked);
    }
    QString playbackStatus() const { return m_service->playbackStatus(); }
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return m_service->metadata(); }
    double volume() const { return m_service->volume(); }
    void setVolume(double v) { m_service->setVolume(v); }
    qlonglong position() const { return m_service->positionUs(); }
    bool canGoNext() const { return m_service->canGoNext(); }
    bool canGoPrevious() const { return m_service->canGoPrevious(); }
    bool canPlay() const { return m_service->canPlay(); }
    bool canSeek() const { return m_service->canSeek(); }
    bool canControl() const { return true; }

public slots:
    void Next() { m_service->next(); }
    void Previous() { m_service->previous(); }
    void Pause() { m_service->pause(); }
    void PlayPause() { m_service->playPause(); }
    void Stop() { m_service->stop(); }
    void Play() { m_service->play(); }
    void Seek(qlonglong offset) { m_service->seek(offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position)
    {
        m_service->setPosition(track, position);
    }
    void OpenUri(const QString& uri) { m_service->openUri(uri); }

signals:
    void Seeked(qlonglong position);

private:
    MprisService* m_service;
};

MprisService::MprisService(MainController& controller, PlayerApp& app)
    : m_controller(&controller)
    , m_app(app)
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &MprisService::poll);
}

MprisService::~MprisService()
{
    m_timer.stop();
    if (!m_serviceName.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        bus.unregisterService(m_serviceName);
    }
    removeCover();
}

bool MprisService::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        KLOG_INFO("desktop",
                  "no D-Bus session bus (%s): the desktop's media controls will not see Kolvo",
                  bus.lastError().message().toUtf8().constData());
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportAdaptors)) {
        KLOG_WARNING("desktop", "the media player object could not be put on the session bus");
        return false;
    }
    QString name = QString::fromLatin1(kServiceName);
    if (!bus.registerService(name)) {
        // Another Kolvo (another KOLVO_HOME) holds the plain name.
        name += QStringLiteral(".instance%1").arg(getpid());
        if (!bus.registerService(name)) {
            KLOG_WARNING("desktop", "no media player name could be had on the session bus: %s",
                         bus.lastError().message().toUtf8().constData());
            bus.unregisterObject(QString::fromLatin1(kObjectPath));
            return false;
        }
    }
    m_serviceName = name;
    KLOG_INFO("desktop", "on the session bus as %s", name.toUtf8().constData());
    m_clock.start();
    m_last = look();
    rebuildMetadata(m_last);
    m_timer.start();
    return true;
}

PlayerFrame* MprisService::frame(int index) const
{
    if (!m_controller || index < 0)
        return nullptr;
    return qobject_cast<PlayerFrame*>(m_controller->component(index));
}

int MprisService::activePlayer() const
{
    const AppSettings& s = m_app.settings();
    auto on = [&](int i) { return frame(i) && s.components[i].enable != 0; };
    for (int i : kPlayers)
        if (on(i) && isActiveState(frame(i)->state()))
            return m_lastActive = i;
    if (on(m_lastActive))
        return m_lastActive;
    if (on(ComponentAudio))
        return ComponentAudio;
    for (int i : kPlayers)
        if (on(i))
            return i;
    return -1;
}

MprisService::Watched MprisService::look() const
{
    Watched w;
    w.player = activePlayer();
    if (PlayerFrame* f = frame(w.player)) {
        w.state = f->state();
        w.song = f->album().currentSong();
        w.path = f->playingPath();
        if (isActiveState(w.state) && f->session())
            w.lengthMs = f->session()->lengthMs();
        if (w.lengthMs <= 0)
            if (const SongEntry* song = f->album().GetSong(w.song))
                w.lengthMs = song->lengthMs;
    }
    w.volume = masterVolume();
    return w;
}

QString MprisService::playbackStatus() const
{
    const PlayerFrame* f = frame(activePlayer());
    const int state = f ? f->state() : 0;
    if (state == kModePaused)
        return QStringLiteral("Paused");
    if (isActiveState(state))
        return QStringLiteral("Playing");
    return QStringLiteral("Stopped");
}

int MprisService::masterVolume() const
{
    if (!m_controller)
        return -1;
    auto* mixer = qobject_cast<Mixer*>(m_controller->component(ComponentMixer));
    if (!mixer || mixer->lines().views[0].lines.empty())
        return -1;
    return mixer->MasterVolume();
}

double MprisService::volume() const
{
    // Without a Mixer, or a sound server behind it, the sound is at whatever the desktop set.
    const int master = masterVolume();
    return master < 0 ? 1.0 : master / 32.0;
}

void MprisService::setVolume(double v)
{
    if (!m_controller || !std::isfinite(v))
        return;
    const int value = static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 32));
    m_controller->sendMessage(UM_COMMAND, ComponentMixer,
                              static_cast<LPARAM>((value << 16) | cmd::Volume));
    poll();
}

qlonglong MprisService::positionUs() const
{
    PlayerFrame* f = frame(activePlayer());
    if (!f || !isActiveState(f->state()))
        return 0;
    if (engines::Session* s = f->session()) {
        const int ms = s->positionMs();
        if (ms >= 0)
            return static_cast<qlonglong>(ms) * 1000;
    }
    return static_cast<qlonglong>(f->positionSeconds()) * 1000000;
}

bool MprisService::canPlay() const
{
    const PlayerFrame* f = frame(activePlayer());
    return f && f->album().songCount() > 0;
}

bool MprisService::canSeek() const
{
    const PlayerFrame* f = frame(activePlayer());
    return f && f->session() && (f->state() == kModePlaying || f->state() == kModePaused);
}

bool MprisService::canGoNext() const
{
    return canPlay();
}

bool MprisService::canGoPrevious() const
{
    return canPlay();
}

void MprisService::command(int id, int arg)
{
    const int player = activePlayer();
    if (!m_controller || player < 0)
        return;
    m_controller->sendMessage(UM_COMMAND, static_cast<WPARAM>(player),
                              static_cast<LPARAM>((static_cast<unsigned>(arg) << 16) | id));
    // Whoever asked reads the result at once: the change is told now, not at the next look.
    poll();
}

void MprisService::playPause()
{
    command(cmd::Play);
}

void MprisService::play()
{
    if (playbackStatus() != QLatin1String("Playing"))
        command(cmd::Play);
}

void MprisService::pause()
{
    if (const PlayerFrame* f = frame(activePlayer()); f && f->state() == kModePlaying)
        command(cmd::Pause);
}

void MprisService::stop()
{
    command(cmd::Stop);
}

void MprisService::next()
{
    command(cmd::Next);
}

void MprisService::previous()
{
    command(cmd::Previous);
}

void MprisService::seekTo(std::int64_t ms)
{
    PlayerFrame* f = frame(activePlayer());
    if (!f || !canSeek())
        return;
    // The position slider's way: whole seconds.
    const int seconds = static_cast<int>(std::clamp<std::int64_t>(ms / 1000, 0, 0xFFFF));
    f->sendMessage(WM_HSCROLL, static_cast<WPARAM>((seconds << 16) | SB_THUMBPOSITION), 0);
    m_lastPositionMs = static_cast<std::int64_t>(seconds) * 1000;
    m_lastPollMs = m_clock.elapsed();
    emit seeked(static_cast<qlonglong>(seconds) * 1000000);
}

void MprisService::seek(qlonglong offsetUs)
{
    if (!canSeek())
        return;
    const std::int64_t target = positionUs() / 1000 + offsetUs / 1000;
    const std::int64_t length = look().lengthMs;
    if (length > 0 && target >= length) {
        next();
        return;
    }
    seekTo(std::max<std::int64_t>(0, target));
}

void MprisService::setPosition(const QDBusObjectPath& track, qlonglong positionUs)
{
    const Watched now = look();
    if (track.path() != trackId(now.player, now.song) || positionUs < 0)
        return;
    if (now.lengthMs > 0 && positionUs / 1000 > now.lengthMs)
        return;
    seekTo(positionUs / 1000);
}

void MprisService::openUri(const QString& uri)
{
    const QUrl url(uri);
    if (!m_controller || !url.isLocalFile())
        return;
    // As if the file had been named to a second start: the hand-over does the rest.
    AppCommandLineInfo info;
    info.ParseCommandLine({url.toLocalFile()});
    ResolveStartMode(info, m_app.settings().cdDrive);
    const std::vector<std::uint8_t> record = BuildHandoverRecord(info);
    COPYDATASTRUCT cds;
    cds.dwData = kHandoverDataId;
    cds.cbData = static_cast<std::uint32_t>(record.size());
    cds.lpData = record.data();
    m_controller->sendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

void MprisService::raise()
{
    if (!m_controller)
        return;
    m_controller->showNormal();
    m_controller->raise();
    m_controller->activateWindow();
}

void MprisService::quit()
{
    // After the reply has gone out.
    QTimer::singleShot(0, this, [this] {
        if (m_controller)
            m_controller->destroyWindow();
    });
}

void MprisService::poll()
{
    if (m_serviceName.isEmpty())
        return;
    const Watched now = look();
    QVariantMap changed;
    if (now.player != m_last.player || now.state != m_last.state) {
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
        changed.insert(QStringLiteral("CanPlay"), canPlay());
        changed.insert(QStringLiteral("CanPause"), canPlay());
        changed.insert(QStringLiteral("CanSeek"), canSeek());
        changed.insert(QStringLiteral("CanGoNext"), canGoNext());
        changed.insert(QStringLiteral("CanGoPrevious"), canGoPrevious());
    }
    if (now.player != m_last.player || now.song != m_last.song || now.path != m_last.path ||
        now.lengthMs != m_last.lengthMs) {
        rebuildMetadata(now);
        changed.insert(QStringLiteral("Metadata"), m_metadata);
    }
    if (now.volume != m_last.volume)
        changed.insert(QStringLiteral("Volume"), volume());

    // A position that is not where playing on would have put it was moved (the slider, Fast
    // Forward): clients that draw a progress bar are told.
    const qint64 clock = m_clock.elapsed();
    const std::int64_t position = positionUs() / 1000;
    if (now.state == kModePlaying && m_last.state == kModePlaying && now.song == m_last.song &&
        now.player == m_last.player && m_lastPositionMs >= 0) {
        const std::int64_t expected = m_lastPositionMs + (clock - m_lastPollMs);
        if (std::llabs(position - expected) > kSeekToleranceMs)
            emit seeked(static_cast<qlonglong>(position) * 1000);
    } else if (now.state == kModePaused && m_last.state == kModePaused &&
               std::llabs(position - m_lastPositionMs) > kSeekToleranceMs) {
        emit seeked(static_cast<qlonglong>(position) * 1000);
    }
    m_lastPositionMs = position;
    m_lastPollMs = clock;
    m_last = now;
    if (!changed.isEmpty())
        propertiesChanged(changed);
}

void MprisService::rebuildMetadata(const Watched& now)
{
    ++m_generation;
    removeCover();
    QVariantMap m;
    PlayerFrame* f = frame(now.player);
    const SongEntry* song = f ? f->album().GetSong(now.song) : nullptr;
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(trackId(song ? now.player : -1, now.song))));
    if (!f || !song) {
        m_metadata = m;
        return;
    }
    if (now.lengthMs > 0)
        m.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(now.lengthMs) * 1000);
    const Album& album = f->album();
    if (album.kind() == AlbumKindCd) {
        // A CD track: the album's titles are all there is.
        m.insert(QStringLiteral("xesam:title"), QString::fromStdString(song->title));
        m.insert(QStringLiteral("xesam:trackNumber"), now.song);
        if (!album.title().empty())
            m.insert(QStringLiteral("xesam:album"), QString::fromStdString(album.title()));
        if (!album.artist().empty())
            m.insert(QStringLiteral("xesam:artist"),
                     QStringList{QString::fromStdString(album.artist())});
        m_metadata = m;
        return;
    }
    const std::string path = now.path.empty() ? song->title : now.path;
    // Until the file's own tags are read: the name Kolvo shows for it.
    m.insert(QStringLiteral("xesam:title"),
             QString::fromStdString(SongDisplayName(path, m_app.settings().viewId3Tag != 0)));
    const QUrl url = path.find("://") != std::string::npos
                         ? QUrl(QString::fromStdString(path))
                         : QUrl::fromLocalFile(QString::fromStdString(path));
    m.insert(QStringLiteral("xesam:url"), url.toString(QUrl::FullyEncoded));
    m_metadata = m;
    if (url.isLocalFile())
        readTagsLater(path, m_generation);
}

void MprisService::readTagsLater(const std::string& path, std::uint64_t generation)
{
    QPointer<MprisService> self(this);
    QThreadPool::globalInstance()->start([self, path, generation] {
        engines::MediaTags tags = engines::readMediaTags(path);
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, tags = std::move(tags)] {
                if (self)
                    self->takeTags(generation, tags);
            },
            Qt::QueuedConnection);
    });
}

void MprisService::takeTags(std::uint64_t generation, const engines::MediaTags& tags)
{
    if (generation != m_generation)
        return; // the song changed meanwhile
    QVariantMap m = m_metadata;
    if (!tags.title.empty())
        m.insert(QStringLiteral("xesam:title"), QString::fromStdString(tags.title));
    if (!tags.artist.empty())
        m.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromStdString(tags.artist)});
    if (!tags.album.empty())
        m.insert(QStringLiteral("xesam:album"), QString::fromStdString(tags.album));
    if (tags.trackNumber > 0)
        m.insert(QStringLiteral("xesam:trackNumber"), tags.trackNumber);
    if (!m.contains(QStringLiteral("mpris:length")) && tags.lengthMs > 0)
        m.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(tags.lengthMs) * 1000);
    if (!tags.image.empty()) {
        // Clients take the cover by address; the file lives while the song is the current one.
        const std::string dir = paths::tempDir() + "/mpris";
        if (paths::ensureDir(dir)) {
            const std::string file = dir + "/cover-" + std::to_string(getpid()) + "-" +
                                     std::to_string(generation) + "." +
                                     engines::imageExtension(tags.imageType);
            QFile out(QString::fromStdString(file));
            if (out.open(QIODevice::WriteOnly) &&
                out.write(reinterpret_cast<const char*>(tags.image.data()),
                          static_cast<qint64>(tags.image.size())) ==
                    static_cast<qint64>(tags.image.size())) {
                out.close();
                m_coverPath = file;
                m.insert(QStringLiteral("mpris:artUrl"),
                         QUrl::fromLocalFile(QString::fromStdString(file)).toString());
            } else {
                out.remove();
            }
        }
    }
    if (m == m_metadata)
        return;
    m_metadata = m;
    propertiesChanged({{QStringLiteral("Metadata"), m_metadata}});
}

void MprisService::removeCover()
{
    if (!m_coverPath.empty())
        QFile::remove(QString::fromStdString(m_coverPath));
    m_coverPath.clear();
}

void MprisService::propertiesChanged(const QVariantMap& changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

#include "mpris.moc"
