#include "app/playerapp.h"

#include "albums/album.h"
#include "app/maincontroller.h"
#include "app/mpris.h"
#include "app/singleinstance.h"
#include "app/splashwnd.h"
#include "engines/samplingservice.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "platform/trace.h"
#include "record/fileencodingdialog.h"
#include "record/soundcardrecording.h"

#include <QApplication>
#include <QEvent>
#include <QFile>

#include <cfenv>
#include <cstdio>
#include <new>

namespace {

constexpr UINT kTitleStringId = 2042;
constexpr UINT kRegistryKeyStringId = 1016;

} // namespace

PlayerApp::PlayerApp() = default;

HWND PlayerApp::controller() const
{
    return m_mainWindow ? m_mainWindow->handle() : 0;
}

FileAlbumEditorServices PlayerApp::albumEditorServices()
{
    FileAlbumEditorServices services;
    services.encode = [this](QWidget* parent, const std::vector<std::string>& files) {
        return record::encodeFilesWithDialog(parent, files, appSettings,
                                             [this] { SaveSettings(); });
    };
    return services;
}

namespace {

// The Digital Audio Player's recording, from the recording layer.
class SoundCardPlayerRecording : public PlayerRecording
{
public:
    SoundCardPlayerRecording(AppSettings& settings, std::function<void()> save)
        : m_recording(settings, std::move(save))
    {}
    Started Start(QWidget* parent, const CdDisc& disc) override
    {
        record::CdDiscTitles titles{disc.albumTitle, disc.artist, disc.trackTitles};
        m_recording.setOptionsAccepted(onOptionsAccepted);
        Started started;
        started.path = m_recording.Start(parent, titles, &started.copied);
        started.cdTrack = m_recording.cdTrack();
        return started;
    }
    Started NextCdTrack() override
    {
        Started started;
        started.path = m_recording.StartNextCdTrack();
        started.cdTrack = m_recording.cdTrack();
        return started;
    }
    void Pause() override { m_recording.Pause(); }
    void Resume() override { m_recording.Resume(); }
    void Stop(bool user) override { m_recording.Stop(user); }
    StoppedFile Stopped() const override
    {
        return {m_recording.stoppedFile().kept, m_recording.stoppedFile().mp3};
    }
    bool failed() const override { return m_recording.failed(); }
    int elapsedSeconds() const override { return m_recording.elapsedSeconds(); }
    std::pair<int, int> levels() const override { return m_recording.levels(); }
    void setLevelsListener(std::function<void(int, int)> listener) override
    {
        m_recording.setLevelsListener(std::move(listener));
    }

private:
    record::SoundCardRecording m_recording;
};

} // namespace

std::unique_ptr<PlayerRecording> PlayerApp::makeRecording()
{
    return std::make_unique<SoundCardPlayerRecording>(appSettings, [this] { SaveSettings(); });
}

PlayerApp::~PlayerApp()
{
    m_mpris.reset();
    m_mainWindow.reset();
}

bool PlayerApp::InitInstance(const QStringList& arguments)
{
    title = LoadString(kTitleStringId);

    try {
        appSettings.recordFormat.assign(kRecordFormatSize, 0);
    } catch (const std::bad_alloc&) {
        m_exitCode = 1;
        return false;
    }

    Profile::SetRegistryKey(LoadString(kRegistryKeyStringId));
    // Decoders and effects expect quiet NaNs and infinities, never traps.
    fedisableexcept(FE_ALL_EXCEPT);

    LoadSettings();
    SaveSettings();
    // A damaged album database is moved aside when it is next written; the user hears of it.
    Album::setNotifier([](const std::string& message) {
        KolvoMessageBox(nullptr, QString::fromStdString(message), MessageIcon::Information);
    });

    cmdInfo.ParseCommandLine(arguments);
    ResolveStartMode(cmdInfo, appSettings.cdDrive);

    m_instance = std::make_unique<SingleInstance>(QString::fromStdString(title));
    if (!m_instance->claim()) {
        m_exitCode = handOverToRunningInstance() ? 0 : 1;
        return false;
    }

    splashFlag = cmdInfo.showSplash;
    hotKeys = hotkeys::DefaultTable();

    // The spectrum displays find the sampling service running; it stays held until one shows.
    engines::SpectrumService::instance().start();
    qApp->installEventFilter(this);
    // The main window switches the players for the start mode once it knows which it could make.
    m_mainWindow = std::make_unique<MainController>(*this);
    // The player has read the temporary list of several files as it was made.
    if (cmdInfo.fileIsTemporary)
        QFile::remove(QString::fromStdString(cmdInfo.fileName));
    m_mpris = std::make_unique<MprisService>(*m_mainWindow, *this);
    if (!m_mpris->start())
        m_mpris.reset();
    m_instance->listen([this](std::uint32_t dwData, const QByteArray& block) -> std::intptr_t {
        COPYDATASTRUCT cds;
        cds.dwData = dwData;
        cds.cbData = static_cast<std::uint32_t>(block.size());
        cds.lpData = block.constData();
        return m_mainWindow
                   ? m_mainWindow->sendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds))
                   : 0;
    });
    return true;
}

bool PlayerApp::handOverToRunningInstance()
{
    const std::vector<std::uint8_t> record = BuildHandoverRecord(cmdInfo);
    const QByteArray block(reinterpret_cast<const char*>(record.data()),
                           static_cast<qsizetype>(record.size()));
    if (m_instance->handOver(kHandoverDataId, block))
        return true;
    std::fprintf(stderr, "Kolvo: another Kolvo is running but did not answer\n");
    return false;
}

bool PlayerApp::ApplyStartMode(const std::function<bool(int index)>& exists)
{
    const int on = StartModeComponent(cmdInfo.startMode);
    if (on < 0)
        return true;
    if (!exists(on)) {
        cmdInfo.startMode = StartModeNone;
        return false;
    }
    for (int c : {ComponentCd, ComponentAudio, ComponentMidi, ComponentVideo})
        appSettings.components[c].enable = c == on ? 1 : 0;
    return true;
}

int PlayerApp::ExitInstance()
{
    m_mpris.reset();
    if (m_mainWindow)
        m_mainWindow->destroyWindow();
    m_mainWindow.reset();
    engines::SpectrumService::instance().stop();
    SaveSettings();
    appSettings.recordFormat.clear();
    appSettings.recordFormat.shrink_to_fit();
    return m_exitCode;
}

void PlayerApp::LoadSettings()
{
    const std::string file = paths::settingsFile();
    const Profile::SetAside aside = Profile::setAsideUnreadableFile(file);
    if (aside.moved)
        std::fprintf(stderr,
                     "Kolvo: the settings file %s could not be read; it was moved to %s and "
                     "the defaults are used\n",
                     file.c_str(), aside.path.c_str());
    else if (!aside.path.empty())
        std::fprintf(stderr,
                     "Kolvo: the settings file %s has lines that cannot be read; a copy was kept "
                     "as %s and the rest is used\n",
                     file.c_str(), aside.path.c_str());
    const Profile profile;
    LoadSettingsFrom(profile, appSettings);
}

void PlayerApp::SaveSettings()
{
    paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
    Profile profile;
    if (!SaveSettingsTo(profile, appSettings) && !m_saveFailureReported) {
        m_saveFailureReported = true;
        std::fprintf(stderr, "Kolvo: settings cannot be saved to %s\n",
                     paths::settingsFile().c_str());
        // The user is rarely watching stderr, and every change made from now on would be lost
        // at exit without a word.
        KolvoMessageBox(nullptr,
                        tr("Kolvo cannot save your settings: %1 cannot be written.\n\nKolvo runs "
                           "on, but what you change is lost when it ends.")
                            .arg(QString::fromStdString(paths::settingsFile())),
                        MessageIcon::Warning);
    }
}

bool PlayerApp::eventFilter(QObject* watched, QEvent* event)
{
    if (splashFlag)
        SplashWnd::checkEvent(event);
    return QObject::eventFilter(watched, event);
}
