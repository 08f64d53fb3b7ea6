#include "app/configsheet.h"

#include "platform/cdrom.h"
#include "platform/strings.h"
#include "ui/skin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

QLineEdit* folderField(QWidget* parent, const std::string& value, QHBoxLayout*& row)
{
    auto* edit = new QLineEdit(q(value), parent);
    auto* browse = new QPushButton(QObject::tr("Browse..."), parent);
    QObject::connect(browse, &QPushButton::clicked, parent, [edit, parent] {
        const QString dir = QFileDialog::getExistingDirectory(parent, QString(), edit->text());
        if (!dir.isEmpty())
            edit->setText(dir);
    });
    row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(browse);
    return edit;
}

} // namespace

QCheckBox* CConfigPropertySheet::addFlag(QWidget* page, const char* text, int AppSettings::*field)
{
    auto* box = new QCheckBox(tr(text), page);
    box->setChecked(m_settings.*field != 0);
    m_flags.emplace_back(box, field);
    return box;
}

CConfigPropertySheet::CConfigPropertySheet(const AppSettings& settings, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setWindowTitle(LoadQString(5142));
    auto* tabs = new QTabWidget(this);
    tabs->addTab(generalPage(), tr("General"));
    tabs->addTab(skinPage(), tr("Skin"));
    tabs->addTab(displayPage(), tr("Display"));
    tabs->addTab(audioPage(), tr("Digital Audio"));
    tabs->addTab(cdPage(), tr("CD"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

QWidget* CConfigPropertySheet::generalPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(
        addFlag(page, "Keep only the tray icon when Kolvo is hidden", &AppSettings::mainTrayOnly));
    layout->addWidget(
        addFlag(page, "Show the spectrum while the CD Player plays", &AppSettings::spectrumCd));
    layout->addWidget(
        addFlag(page, "Show the spectrum while the MIDI Player plays", &AppSettings::spectrumMidi));
    layout->addWidget(
        addFlag(page, "Look up new CDs in the CD database", &AppSettings::cddbConnect));
    layout->addWidget(
        addFlag(page, "Play audio CDs when they are inserted", &AppSettings::autoRun));
    layout->addStretch();
    return page;
}

QWidget* CConfigPropertySheet::skinPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("Skin of the main window and the remote control:"), page));
    m_skins = new QListWidget(page);
    int selected = 0;
    for (const SkinChoice& c : Skin::ListSkins(m_settings.colorScheme, &selected)) {
        m_skins->addItem(q(c.displayName));
        m_skinFiles.push_back(c.fileName);
    }
    m_skins->setCurrentRow(selected);
    layout->addWidget(m_skins);
    return page;
}

QWidget* CConfigPropertySheet::displayPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("The information line shows:"), page));
    layout->addWidget(addFlag(page, "Song title", &AppSettings::viewTitle));
    layout->addWidget(addFlag(page, "Song description", &AppSettings::viewDescription));
    layout->addWidget(addFlag(page, "File information", &AppSettings::viewFileInfo));
    layout->addWidget(addFlag(page, "ID3 tag", &AppSettings::viewId3Tag));
    layout->addWidget(addFlag(page, "ID3 title", &AppSettings::viewId3TagTitle));
    layout->addWidget(addFlag(page, "ID3 artist", &AppSettings::viewId3TagArtist));
    layout->addWidget(addFlag(page, "ID3 album", &AppSettings::viewId3TagAlbum));
    layout->addWidget(addFlag(page, "ID3 year", &AppSettings::viewId3TagYear));
    layout->addWidget(addFlag(page, "ID3 comment", &AppSettings::viewId3TagComment));
    layout->addWidget(addFlag(page, "ID3 genre", &AppSettings::viewId3TagGenre));
    layout->addWidget(addFlag(page, "Album title", &AppSettings::viewAlbumTitle));
    layout->addWidget(addFlag(page, "Album artist", &AppSettings::viewAlbumSinger));
    layout->addWidget(addFlag(page, "Album description", &AppSettings::viewAlbumDescription));
    layout->addWidget(addFlag(page, "Album genre", &AppSettings::viewAlbumGenre));
    layout->addWidget(
        addFlag(page, "Tag names in the quick track list", &AppSettings::viewInfoQuickTrack));
    layout->addWidget(
        addFlag(page, "Lyrics beside the Digital Audio Player", &AppSettings::displayLyric));
    layout->addStretch();
    return page;
}

QWidget* CConfigPropertySheet::audioPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(addFlag(page, "Play MPEG audio with Kolvo's own MPEG engine",
                         &AppSettings::mpaUseInternal));
    form->addRow(addFlag(page, "Play WAVE files with the general file engine",
                         &AppSettings::wavUseDirectShow));
    form->addRow(addFlag(page, "Automatic gain control", &AppSettings::outScaleAgc));
    form->addRow(addFlag(page, "Name WAVE output files automatically",
                         &AppSettings::wavOutputAutomaticNaming));
    form->addRow(
        addFlag(page, "Save played streams to the stream folder", &AppSettings::saveStream));
    m_channel = new QComboBox(page);
    m_channel->addItems({tr("Stereo"), tr("Left"), tr("Right"), tr("Mono")});
    m_channel->setCurrentIndex(std::clamp(m_settings.mp3Channel, 0, 3));
    form->addRow(tr("Channels:"), m_channel);
    m_outputType = new QComboBox(page);
    m_outputType->addItems({tr("Sound card"), tr("WAVE file"), tr("Sound card and WAVE file")});
    m_outputType->setCurrentIndex(std::clamp(m_settings.mp3OutputType, 0, 2));
    form->addRow(tr("MPEG audio output:"), m_outputType);
    m_scale = new QSpinBox(page);
    m_scale->setRange(0, 65535);
    m_scale->setValue(m_settings.outScaleValue);
    form->addRow(tr("Output scale:"), m_scale);
    QHBoxLayout* row = nullptr;
    m_wavDir = folderField(page, m_settings.wavOutputDir, row);
    form->addRow(tr("WAVE output folder:"), row);
    m_streamDir = folderField(page, m_settings.streamOutputDir, row);
    form->addRow(tr("Stream folder:"), row);
    return page;
}

QWidget* CConfigPropertySheet::cdPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    m_drive = new QComboBox(page);
    m_drive->setEditable(true);
    const std::string first = cdrom::FindFirstCdDrive();
    if (!first.empty())
        m_drive->addItem(q(first));
    if (!m_settings.cdDrive.empty() && m_settings.cdDrive != first)
        m_drive->addItem(q(m_settings.cdDrive));
    m_drive->setCurrentText(q(m_settings.cdDrive));
    auto* browse = new QPushButton(tr("Disc image..."), page);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                       tr("Disc images (*.cue *.toc *.nrg)"));
        if (!f.isEmpty())
            m_drive->setCurrentText(f);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(m_drive, 1);
    row->addWidget(browse);
    form->addRow(tr("CD drive (device, disc image or folder):"), row);
    return page;
}

void CConfigPropertySheet::applyTo(AppSettings& s) const
{
    for (const auto& [box, field] : m_flags)
        s.*field = box->isChecked() ? 1 : 0;
    const int row = m_skins->currentRow();
    if (row >= 0 && row < static_cast<int>(m_skinFiles.size()))
        s.colorScheme = m_skinFiles[row];
    s.mp3Channel = m_channel->currentIndex();
    s.mp3OutputType = m_outputType->currentIndex();
    s.outScaleValue = m_scale->value();
    s.wavOutputDir = m_wavDir->text().toStdString();
    s.streamOutputDir = m_streamDir->text().toStdString();
    s.cdDrive = m_drive->currentText().trimmed().toStdString();
}
