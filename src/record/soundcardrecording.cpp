#include "record/soundcardrecording.h"

#include "platform/msgbox.h"
#include "platform/strings.h"
#include "record/cdcopydialog.h"
#include "record/fileencodingdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace record {

namespace {

constexpr UINT IDS_EXTENSION_MISMATCH = 1064;
constexpr UINT IDS_ACM = 1066;
constexpr UINT IDS_FILE = 2029;
constexpr UINT IDS_CANT_OPEN_DEVICE = 2063;
constexpr UINT IDS_CANT_WRITE = 2064;
constexpr UINT IDS_MPEG_LAYER3 = 39702;
constexpr UINT IDS_REALAUDIO = 39703;
constexpr UINT IDS_FORMAT = 39705;
constexpr UINT IDS_RECORDING_OPTIONS = 39707;
constexpr UINT IDS_WAVE = 39708;
constexpr UINT IDS_SAMPLE_RATE = 39709;
constexpr UINT IDS_BITS = 39710;
constexpr UINT IDS_CHANNELS = 39711;
constexpr UINT IDS_MONO = 39712;
constexpr UINT IDS_STEREO = 39713;
constexpr UINT IDS_COPY_CD = 39714;
constexpr UINT IDS_TRACKS = 39715;
constexpr UINT IDS_RECORD_CD = 39716;
constexpr UINT IDS_TITLE = 2021;
constexpr UINT IDS_REALAUDIO_INFO = 39717;
constexpr UINT IDS_AUTHOR = 39718;
constexpr UINT IDS_COPYRIGHT = 39719;

const char* extensionOf(int type)
{
    return type == 1 ? ".mp3" : type == 2 ? ".ra" : ".wav";
}

QPointer<CRecordPropertySheet> g_openSheet;
QPointer<CdCopyDialog> g_openCopy;
QPointer<FileEncodingDialog> g_openEncoding;

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string proposedRecordingPath(const std::string& folder, int type)
{
    std::string path = folder.empty() ? QDir::tempPath().toStdString() : folder;
    if (path.back() != '/')
        path += '/';
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::snprintf(name, sizeof name, "KLV-%04d%02d%02d-%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    return path + name + extensionOf(type);
}

CRecordPropertySheet::CRecordPropertySheet(const RecordingOptions& options,
                                           const CdDiscTitles& disc, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadQString(IDS_RECORDING_OPTIONS));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    m_path = new QLineEdit(QString::fromStdString(options.path), this);
    m_path->setMinimumWidth(320);
    form->addRow(LoadQString(IDS_FILE), m_path);
    m_type = new QComboBox(this);
    m_type->addItem(LoadQString(IDS_WAVE));
    m_type->addItem(LoadQString(IDS_MPEG_LAYER3));
    m_type->addItem(LoadQString(IDS_REALAUDIO));
    m_type->setCurrentIndex(std::clamp(options.type, 0, 2));
    form->addRow(LoadQString(IDS_FORMAT), m_type);
    m_rate = new QComboBox(this);
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000})
        m_rate->addItem(QStringLiteral("%1 Hz").arg(rate), rate);
    const int rateIndex = m_rate->findData(static_cast<int>(options.format.nSamplesPerSec));
    m_rate->setCurrentIndex(rateIndex >= 0 ? rateIndex : m_rate->findData(44100));
    form->addRow(LoadQString(IDS_SAMPLE_RATE), m_rate);
    m_bits = new QComboBox(this);
    m_bits->addItem(QStringLiteral("8"), 8);
    m_bits->addItem(QStringLiteral("16"), 16);
    m_bits->setCurrentIndex(options.format.wBitsPerSample == 8 ? 0 : 1);
    form->addRow(LoadQString(IDS_BITS), m_bits);
    m_channels = new QComboBox(this);
    m_channels->addItem(LoadQString(IDS_MONO), 1);
    m_channels->addItem(LoadQString(IDS_STEREO), 2);
    m_channels->setCurrentIndex(options.format.nChannels == 1 ? 0 : 1);
    form->addRow(LoadQString(IDS_CHANNELS), m_channels);
    // What a RealAudio file says of itself.
    auto* clipInfo = new QLabel(LoadQString(IDS_REALAUDIO_INFO), this);
    form->addRow(clipInfo);
    m_clipTitle = new QLineEdit(QString::fromStdString(options.clipTitle), this);
    m_clipAuthor = new QLineEdit(QString::fromStdString(options.clipAuthor), this);
    m_clipCopyright = new QLineEdit(QString::fromStdString(options.clipCopyright), this);
    form->addRow(LoadQString(IDS_TITLE), m_clipTitle);
    form->addRow(LoadQString(IDS_AUTHOR), m_clipAuthor);
    form->addRow(LoadQString(IDS_COPYRIGHT), m_clipCopyright);
    const auto enableClip = [this, clipInfo] {
        const bool realAudio = m_type->currentIndex() == 2;
        for (QWidget* w :
             {static_cast<QWidget*>(clipInfo), static_cast<QWidget*>(m_clipTitle),
              static_cast<QWidget*>(m_clipAuthor), static_cast<QWidget*>(m_clipCopyright)})
            w->setEnabled(realAudio);
    };
    enableClip();
    connect(m_type, &QComboBox::currentIndexChanged, this, enableClip);
    // The CD's tracks, copied digitally (the type chooses WAVE or MP3 files).
    m_copyCd = new QCheckBox(LoadQString(IDS_COPY_CD), this);
    m_copyCd->setEnabled(!disc.trackTitles.empty());
    m_copyCd->setChecked(options.copyCd && !disc.trackTitles.empty());
    form->addRow(QString(), m_copyCd);
    // Or recorded through the sound card while the CD Player plays each of them.
    m_recordCd = new QCheckBox(LoadQString(IDS_RECORD_CD), this);
    m_recordCd->setEnabled(!disc.trackTitles.empty());
    m_recordCd->setChecked(options.recordCd && !options.copyCd && !disc.trackTitles.empty());
    form->addRow(QString(), m_recordCd);
    connect(m_copyCd, &QCheckBox::toggled, m_recordCd, [this](bool on) {
        if (on)
            m_recordCd->setChecked(false);
    });
    connect(m_recordCd, &QCheckBox::toggled, m_copyCd, [this](bool on) {
        if (on)
            m_copyCd->setChecked(false);
    });
    m_tracks = new QListWidget(this);
    m_tracks->setMaximumHeight(120);
    for (size_t i = 0; i < disc.trackTitles.size(); ++i) {
        auto* item = new QListWidgetItem(
            QStringLiteral("%1. %2").arg(i + 1).arg(QString::fromStdString(disc.trackTitles[i])),
            m_tracks);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setData(Qt::UserRole, static_cast<int>(i + 1));
    }
    const auto enableTracks = [this] {
        m_tracks->setEnabled(m_copyCd->isChecked() || m_recordCd->isChecked());
    };
    enableTracks();
    connect(m_copyCd, &QCheckBox::toggled, m_tracks, enableTracks);
    connect(m_recordCd, &QCheckBox::toggled, m_tracks, enableTracks);
    form->addRow(LoadQString(IDS_TRACKS), m_tracks);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

RecordingOptions CRecordPropertySheet::options() const
{
    RecordingOptions o;
    o.path = m_path->text().trimmed().toStdString();
    o.type = m_type->currentIndex();
    o.format =
        MakeRecordingPcmFormat(static_cast<std::uint32_t>(m_rate->currentData().toInt()),
                               m_bits->currentData().toInt(), m_channels->currentData().toInt());
    o.clipTitle = m_clipTitle->text().trimmed().toStdString();
    o.clipAuthor = m_clipAuthor->text().trimmed().toStdString();
    o.clipCopyright = m_clipCopyright->text().trimmed().toStdString();
    o.copyCd = m_copyCd->isChecked();
    o.recordCd = m_recordCd->isChecked();
    for (int i = 0; i < m_tracks->count(); ++i) {
        if (m_tracks->item(i)->checkState() == Qt::Checked)
            o.tracks.push_back(
                static_cast<std::uint32_t>(m_tracks->item(i)->data(Qt::UserRole).toInt()));
    }
    return o;
}

SoundCardRecording::SoundCardRecording(AppSettings& settings, std::function<void()> saveSettings)
    : m_settings(settings)
    , m_save(std::move(saveSettings))
{}

SoundCardRecording::~SoundCardRecording()
{
    if (m_recording)
        Stop(false);
}

CRecordPropertySheet* SoundCardRecording::openSheet()
{
    return g_openSheet.data();
}

std::string SoundCardRecording::Start(QWidget* parent, const CdDiscTitles& disc,
                                      std::vector<std::string>* copied)
{
    RecordingOptions options;
    options.type = std::clamp(m_settings.recordType, 0, 2);
    WAVEFORMATEX stored;
    if (WAVEFORMATEX::fromBytes(m_settings.recordFormat, stored) && stored.wFormatTag == kTagPcm &&
        stored.nSamplesPerSec && stored.nChannels)
        options.format = stored;
    options.path = proposedRecordingPath(m_settings.recordDir, options.type);
    options.copyCd = m_settings.recordCdRecord != 0 && m_settings.recordCdRecordingMethod == 1;
    options.recordCd = m_settings.recordCdRecord != 0 && m_settings.recordCdRecordingMethod == 0;
    CRecordPropertySheet sheet(options, disc, parent);
    g_openSheet = &sheet;
    const int answer = sheet.exec();
    g_openSheet = nullptr;
    if (answer != QDialog::Accepted)
        return {};
    options = sheet.options();
    if (options.path.empty())
        return {};
    // An extension that does not fit the type is asked about.
    const std::string wanted = options.type == 1 ? ".MP3" : options.type == 2 ? ".RA" : ".WAV";
    const std::string name = upper(options.path);
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
        name.substr(dot) != wanted &&
        KolvoMessageBox(parent, LoadQString(IDS_EXTENSION_MISMATCH), MessageIcon::Question,
                        MessageButtons::YesNo) != IDYES)
        return {};

    // The options are kept.
    m_settings.recordType = options.type;
    const std::vector<std::uint8_t> bytes = options.format.bytes();
    m_settings.recordFormat.resize(std::max<size_t>(m_settings.recordFormat.size(), bytes.size()));
    std::copy(bytes.begin(), bytes.end(), m_settings.recordFormat.begin());
    m_settings.recordDir = options.path.find('/') == std::string::npos
                               ? ""
                               : options.path.substr(0, options.path.rfind('/'));
    m_settings.recordCdRecord = options.copyCd || options.recordCd ? 1 : 0;
    if (options.copyCd || options.recordCd)
        m_settings.recordCdRecordingMethod = options.copyCd ? 1 : 0;
    if (m_save)
        m_save();
    if (m_optionsAccepted)
        m_optionsAccepted();
    if (options.copyCd) {
        if (!options.tracks.empty()) {
            const std::vector<std::string> files = CopyCdTracks(options, disc, parent);
            if (copied)
                *copied = files;
        }
        return {};
    }
    m_cdTrack = 0;
    if (options.recordCd) {
        m_parent = parent;
        m_cdJob = makeCdJob(options, disc);
        return StartNextCdTrack();
    }
    return StartWith(options, parent);
}

std::string SoundCardRecording::StartNextCdTrack()
{
    m_cdTrack = 0;
    if (m_recording || m_cdJob.selectedTracks.empty())
        return {};
    const std::uint32_t track = m_cdJob.selectedTracks.front();
    m_cdJob.selectedTracks.erase(m_cdJob.selectedTracks.begin());
    RecordingOptions options;
    options.type = m_cdJob.recordType;
    options.format = m_cdJob.recordFormat;
    options.path = cdOutputPath(m_cdJob, track);
    options.clipTitle = m_cdJob.clipTitle;
    if (options.clipTitle.empty() && track <= m_cdJob.trackTitles.size())
        options.clipTitle = m_cdJob.trackTitles[track - 1];
    options.clipAuthor = m_cdJob.clipAuthor.empty() ? m_cdJob.artist : m_cdJob.clipAuthor;
    options.clipCopyright = m_cdJob.clipCopyright;
    std::string path = StartWith(options, m_parent);
    if (!path.empty())
        m_cdTrack = track;
    return path;
}

std::string SoundCardRecording::StartWith(const RecordingOptions& given, QWidget* parent)
{
    m_parent = parent;
    RecordingOptions options = given;
    // Outside CD recording an MPEG type records the WAVE file only.
    std::string path = options.path;
    if (path.find('.') == std::string::npos)
        path += extensionOf(options.type == 1 ? 0 : options.type);
    if (options.type == 1) {
        const size_t dot = path.rfind('.');
        if (dot != std::string::npos &&
            (path.rfind('/') == std::string::npos || dot > path.rfind('/')))
            path = path.substr(0, dot) + ".wav";
    }
    const WAVEFORMATEX& f = options.format;
    if (m_wave.SetRecordingFormat(f.nSamplesPerSec, f.wBitsPerSample, f.nChannels, 0, 4, -1) != 1) {
        KolvoMessageBox(parent, LoadQString(IDS_CANT_OPEN_DEVICE), MessageIcon::Information);
        return {};
    }
    m_pcm = m_wave.recordFormat();
    m_type = options.type;
    if (m_type == 2) {
        // RealAudio is encoded from the captured PCM as it comes.
        RealAudioEncoderUse use(m_realAudio.get());
        RealAudioClip clip;
        clip.title = options.clipTitle;
        if (clip.title.empty()) {
            clip.title = path.substr(path.rfind('/') + 1);
            clip.title = clip.title.substr(0, clip.title.rfind('.'));
        }
        clip.author = options.clipAuthor;
        clip.copyright = options.clipCopyright;
        clip.format = m_pcm;
        const int started = KREEngine_Start(path, m_settings.recordRaProfile, clip);
        if (started != 1) {
            m_wave.StopRecording();
            KolvoMessageBox(parent, LoadQString(started < 0 ? IDS_ACM : IDS_CANT_WRITE),
                            MessageIcon::Information);
            return {};
        }
    } else if (m_writer.openConverter(m_pcm, f) != 1) {
        m_wave.StopRecording();
        KolvoMessageBox(parent, LoadQString(IDS_ACM), MessageIcon::Information);
        return {};
    } else if (m_writer.createFile(path, f) != 1) {
        m_wave.StopRecording();
        KolvoMessageBox(parent, LoadQString(IDS_CANT_WRITE), MessageIcon::Information);
        return {};
    }
    m_firstWrite = true;
    m_failed = m_paused = false;
    if (m_wave.StartRecording(0, this) != 1) {
        finishFile();
        KolvoMessageBox(parent, LoadQString(IDS_CANT_OPEN_DEVICE), MessageIcon::Information);
        return {};
    }
    m_recording = true;
    m_path = path;
    m_stopped = {};
    return path;
}

RecordJob SoundCardRecording::makeCdJob(const RecordingOptions& options,
                                        const CdDiscTitles& disc) const
{
    RecordJob job;
    job.recordType = options.type;
    job.cdMethod = options.copyCd ? 1 : 0;
    // MP3s are made from the CD's own format: the digital copy encodes it, and through the sound
    // card the MPEG type records WAVE files of it, which the MP3 encoder takes.
    job.recordFormat = options.type == 1 ? MakePcmFormat(44100, 16, 2) : options.format;
    job.directory =
        m_settings.recordDir.empty() ? QDir::tempPath().toStdString() : m_settings.recordDir;
    job.useTitleInfo = m_settings.recordCdUseTitleInfo != 0;
    job.useSongInfo = m_settings.recordCdUseSongInfo != 0;
    job.useSongInfoAlbumTitle = m_settings.recordCdUseSongInfoAlbumTitle != 0;
    job.useSongInfoSinger = m_settings.recordCdUseSongInfoAlbumSinger != 0;
    job.useSongInfoTrackNumber = m_settings.recordCdUseSongInfoTrackNumber != 0;
    job.selectedTracks = options.tracks;
    job.trackTitles = disc.trackTitles;
    job.albumTitle = disc.albumTitle;
    job.artist = disc.artist;
    job.mpegProfile = m_settings.recordMpegProfile;
    job.raProfile = m_settings.recordRaProfile;
    job.clipTitle = options.clipTitle;
    job.clipAuthor = options.clipAuthor;
    job.clipCopyright = options.clipCopyright;
    job.drive = m_settings.cdDrive;
    // The album's own folder, "artist-album" (either alone when the other is empty).
    if (job.useTitleInfo && (!disc.artist.empty() || !disc.albumTitle.empty())) {
        std::string sub = disc.artist;
        if (!disc.artist.empty() && !disc.albumTitle.empty())
            sub += "-";
        sub += disc.albumTitle;
        std::replace(sub.begin(), sub.end(), '/', '-');
        job.directory += (job.directory.back() == '/' ? "" : "/") + sub;
        QDir().mkpath(QString::fromStdString(job.directory));
    }
    return job;
}

std::vector<std::string> SoundCardRecording::CopyCdTracks(const RecordingOptions& options,
                                                          const CdDiscTitles& disc, QWidget* parent)
{
    RecordJob job = makeCdJob(options, disc);
    CdCopyDialog dialog(job, false, parent);
    g_openCopy = &dialog;
    dialog.exec();
    g_openCopy = nullptr;
    return dialog.producedFiles();
}

CdCopyDialog* SoundCardRecording::openCopyWindow()
{
    return g_openCopy.data();
}

void SoundCardRecording::Pause()
{
    m_wave.PauseRecording();
    m_paused = true;
    setLevels(0, 0);
}

void SoundCardRecording::Resume()
{
    m_paused = false;
    m_wave.ResumeRecording();
}

void SoundCardRecording::Stop(bool user)
{
    if (user)
        m_cdJob.selectedTracks.clear(); // Stop ends recording the CD's tracks too
    if (!m_recording)
        return;
    m_recording = false;
    m_wave.StopRecording();
    m_paused = false;
    finishFile();
    setLevels(0, 0);
    m_stopped = {};
    // Outside CD recording an MPEG type keeps its WAVE file. Recording the CD's tracks, each
    // ended track's WAVE file becomes an MP3; a track stopped by hand is dropped.
    if (m_cdTrack == 0 || m_type != 1)
        return;
    m_stopped.kept = false;
    if (!user)
        m_stopped.mp3 = encodeTrack();
    ::unlink(m_path.c_str());
}

std::string SoundCardRecording::encodeTrack()
{
    EncodeJob job;
    job.type = 0;
    job.files = {m_path};
    job.bitRate =
        mpegBitRateTable()[static_cast<size_t>(bitRateEntryFor(m_settings.recordMpegBitRate))].kbps;
    job.clipTitle = m_cdJob.clipTitle;
    job.clipAuthor = m_cdJob.clipAuthor;
    job.clipCopyright = m_cdJob.clipCopyright;
    FileEncodingDialog dialog(job, true, m_parent);
    g_openEncoding = &dialog;
    dialog.exec();
    g_openEncoding = nullptr;
    const std::vector<std::string>& produced = dialog.producedFiles();
    return produced.empty() ? std::string() : produced.front();
}

FileEncodingDialog* SoundCardRecording::openEncodingWindow()
{
    return g_openEncoding.data();
}

void SoundCardRecording::finishFile()
{
    if (m_type == 2) {
        RealAudioEncoderUse use(m_realAudio.get());
        KREEngine_Stop();
        return;
    }
    m_writer.flush();
    m_writer.finishFile();
    m_writer.close();
}

int SoundCardRecording::elapsedSeconds() const
{
    return m_pcm.nAvgBytesPerSec
               ? static_cast<int>(const_cast<CWave&>(m_wave).recorder().GetPosition() /
                                  m_pcm.nAvgBytesPerSec)
               : 0;
}

void SoundCardRecording::DataRecorded(CWave& wave, const std::uint8_t* bytes, size_t count, int)
{
    if (m_paused || m_failed) {
        setLevels(0, 0);
        return;
    }
    bool written;
    if (m_type == 2) {
        RealAudioEncoderUse use(m_realAudio.get());
        written = KREEngine_Write(bytes, static_cast<int>(count)) != 0;
    } else {
        written = m_writer.write(bytes, count, nullptr, nullptr, m_firstWrite ? -1 : 0) == 1;
    }
    if (!written) {
        m_failed = true;
        setLevels(0, 0);
        KolvoMessageBox(m_parent, LoadQString(IDS_CANT_WRITE), MessageIcon::Information);
        return;
    }
    m_firstWrite = false;
    const PeakLevels peak = PeakLevelsOf(wave.recordFormat(), bytes, count);
    setLevels(peak.left, peak.right);
}

void SoundCardRecording::setLevels(int left, int right)
{
    m_left = left;
    m_right = right;
    if (m_levelsListener)
        m_levelsListener(left, right);
}

void SoundCardRecording::RecordingFailed(CWave&, const std::string&)
{
    if (m_failed)
        return;
    m_failed = true;
    KolvoMessageBox(m_parent, LoadQString(IDS_CANT_OPEN_DEVICE), MessageIcon::Information);
}

} // namespace record
