#include "app/configsheet.h"

#include "platform/cdrom.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "ui/skin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr UINT kNoTrayText = 39515; // the desktop has no tray to hide behind
constexpr int kLinearFlag = 0x10000;
constexpr int kTimerMax = 990000;

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

// A field of the settings, for the bindings (works on const and non-const settings alike).
#define FIELD(expr)                                                                                \
    [](auto& s) -> auto&                                                                           \
    {                                                                                              \
        return s.expr;                                                                             \
    }

QStringList drawingModes()
{
    return {LoadQString(39400), LoadQString(39401), LoadQString(39402), LoadQString(39403)};
}

} // namespace

template <typename Ref>
void CConfigPropertySheet::bind(Ref ref)
{
    m_bindings.push_back(
        {[ref](const AppSettings& a, const AppSettings& b) { return ref(a) == ref(b); },
         [ref](const AppSettings& from, AppSettings& to) { ref(to) = ref(from); }});
}

template <typename Ref>
QCheckBox* CConfigPropertySheet::check(QWidget* page, const QString& text, Ref ref)
{
    bind(ref);
    auto* box = new QCheckBox(text, page);
    box->setChecked(ref(m_edited) != 0);
    connect(box, &QCheckBox::toggled, this, [this, ref](bool on) { ref(m_edited) = on ? 1 : 0; });
    return box;
}

template <typename Ref>
QComboBox* CConfigPropertySheet::choice(QWidget* page, const QStringList& items, Ref ref)
{
    bind(ref);
    auto* box = new QComboBox(page);
    box->addItems(items);
    // A stored value the list does not name shows the nearest entry; it is kept unless chosen.
    box->setCurrentIndex(std::clamp(static_cast<int>(ref(m_edited)), 0, int(items.size()) - 1));
    connect(box, &QComboBox::currentIndexChanged, this,
            [this, ref](int index) { ref(m_edited) = index; });
    return box;
}

CConfigPropertySheet::CConfigPropertySheet(const AppSettings& settings, QWidget* parent,
                                           HotKeyPageInfo hotKeys)
    : QDialog(parent)
    , m_initial(settings)
    , m_edited(settings)
    , m_hotKeys(std::move(hotKeys))
{
    setWindowTitle(LoadQString(5142));
    m_tabs = new QTabWidget(this);
    m_tabs->setUsesScrollButtons(true);
    m_tabs->addTab(generalPage(), tr("General"));
    m_tabs->addTab(skinPage(), tr("Skin"));
    m_tabs->addTab(displayPage(), tr("Display"));
    m_tabs->addTab(cdPage(), LoadQString(5802));
    m_tabs->addTab(audioPage(), LoadQString(5803));
    m_tabs->addTab(midiPage(), LoadQString(5804));
    m_tabs->addTab(videoPage(), LoadQString(5805));
    m_tabs->addTab(remotePage(), LoadQString(5806));
    m_tabs->addTab(spectrumPage(), tr("Spectrum"));
    m_tabs->addTab(timerPage(), tr("Timer Action"));
    m_tabs->addTab(hotKeyPage(), tr("Hot Keys"));
    m_tabs->addTab(mpegPage(), tr("MPEG Engine"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
}

QWidget* CConfigPropertySheet::generalPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QCheckBox* trayOnly =
        check(page, tr("Keep only the tray icon when Kolvo is hidden"), FIELD(mainTrayOnly));
    // Without a tray the window would be gone for good: the setting is refused at once.
    connect(trayOnly, &QCheckBox::toggled, this, [this, trayOnly](bool on) {
        if (!on || QSystemTrayIcon::isSystemTrayAvailable())
            return;
        KolvoMessageBox(this, LoadQString(kNoTrayText), MessageIcon::Information);
        trayOnly->setChecked(false);
    });
    layout->addWidget(trayOnly);
    auto* mail = new QGroupBox(tr("Your address for the CD database"), page);
    auto* form = new QFormLayout(mail);
    auto* email = new QLineEdit(q(m_edited.email), mail);
    bind(FIELD(email));
    connect(email, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_edited.email = t.toStdString(); });
    form->addRow(tr("E-mail address:"), email);
    auto* server = new QLineEdit(q(m_edited.mailServer), mail);
    bind(FIELD(mailServer));
    connect(server, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_edited.mailServer = t.toStdString(); });
    form->addRow(tr("Mail server (host or host:port):"), server);
    layout->addWidget(mail);
    layout->addStretch();
    return page;
}

QWidget* CConfigPropertySheet::skinPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("Skin of the main window and the remote control:"), page));
    auto* skins = new QListWidget(page);
    int selected = 0;
    std::vector<std::string> files;
    for (const SkinChoice& c : Skin::ListSkins(m_edited.colorScheme, &selected)) {
        skins->addItem(q(c.displayName));
        files.push_back(c.fileName);
    }
    skins->setCurrentRow(selected);
    bind(FIELD(colorScheme));
    connect(skins, &QListWidget::currentRowChanged, this, [this, files](int row) {
        if (row >= 0 && row < static_cast<int>(files.size()))
            m_edited.colorScheme = files[static_cast<size_t>(row)];
    });
    layout->addWidget(skins);
    return page;
}

QWidget* CConfigPropertySheet::displayPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(tr("The information line shows:"), page));
    layout->addWidget(check(page, tr("Song title"), FIELD(viewTitle)));
    layout->addWidget(check(page, tr("Song description"), FIELD(viewDescription)));
    layout->addWidget(check(page, tr("File information"), FIELD(viewFileInfo)));
    layout->addWidget(check(page, tr("ID3 tag"), FIELD(viewId3Tag)));
    layout->addWidget(check(page, tr("ID3 title"), FIELD(viewId3TagTitle)));
    layout->addWidget(check(page, tr("ID3 artist"), FIELD(viewId3TagArtist)));
    layout->addWidget(check(page, tr("ID3 album"), FIELD(viewId3TagAlbum)));
    layout->addWidget(check(page, tr("ID3 year"), FIELD(viewId3TagYear)));
    layout->addWidget(check(page, tr("ID3 comment"), FIELD(viewId3TagComment)));
    layout->addWidget(check(page, tr("ID3 genre"), FIELD(viewId3TagGenre)));
    layout->addWidget(check(page, tr("Album title"), FIELD(viewAlbumTitle)));
    layout->addWidget(check(page, tr("Album artist"), FIELD(viewAlbumSinger)));
    layout->addWidget(check(page, tr("Album description"), FIELD(viewAlbumDescription)));
    layout->addWidget(check(page, tr("Album genre"), FIELD(viewAlbumGenre)));
    layout->addWidget(
        check(page, tr("Tag names in the quick track list"), FIELD(viewInfoQuickTrack)));
    layout->addStretch();
    return page;
}

namespace {

// A folder setting: its line and a Browse button.
template <typename Ref>
QHBoxLayout* folderRow(QWidget* page, AppSettings& edited, Ref ref)
{
    auto* edit = new QLineEdit(q(ref(edited)), page);
    auto* browse = new QPushButton(QObject::tr("Browse..."), page);
    QObject::connect(edit, &QLineEdit::textChanged, page,
                     [&edited, ref](const QString& t) { ref(edited) = t.toStdString(); });
    QObject::connect(browse, &QPushButton::clicked, page, [edit, page] {
        const QString dir = QFileDialog::getExistingDirectory(page, QString(), edit->text());
        if (!dir.isEmpty())
            edit->setText(dir);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(browse);
    return row;
}

} // namespace

QWidget* CConfigPropertySheet::cdPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    auto* drive = new QComboBox(page);
    drive->setEditable(true);
    const std::string first = cdrom::FindFirstCdDrive();
    if (!first.empty())
        drive->addItem(q(first));
    if (!m_edited.cdDrive.empty() && m_edited.cdDrive != first)
        drive->addItem(q(m_edited.cdDrive));
    drive->setCurrentText(q(m_edited.cdDrive));
    bind(FIELD(cdDrive));
    connect(drive, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { m_edited.cdDrive = t.trimmed().toStdString(); });
    auto* browse = new QPushButton(tr("Disc image..."), page);
    connect(browse, &QPushButton::clicked, this, [this, drive] {
        const QString f = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                       tr("Disc images (*.cue *.toc *.nrg)"));
        if (!f.isEmpty())
            drive->setCurrentText(f);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(drive, 1);
    row->addWidget(browse);
    form->addRow(tr("CD drive (device, disc image or folder):"), row);
    form->addRow(check(page, tr("Look up new CDs in the CD database"), FIELD(cddbConnect)));
    form->addRow(check(page, tr("Play audio CDs when they are inserted"), FIELD(autoRun)));
    form->addRow(check(page, tr("Show the spectrum while the CD Player plays"), FIELD(spectrumCd)));
    return page;
}

QWidget* CConfigPropertySheet::audioPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(
        check(page, tr("Play MPEG audio with Kolvo's own MPEG engine"), FIELD(mpaUseInternal)));
    form->addRow(
        check(page, tr("Play WAVE files with the general file engine"), FIELD(wavUseDirectShow)));
    form->addRow(check(page, tr("Lyrics beside the Digital Audio Player"), FIELD(displayLyric)));
    bind(FIELD(components[ComponentAudio].initialDir));
    form->addRow(tr("Folder of the Open dialog:"),
                 folderRow(page, m_edited, FIELD(components[ComponentAudio].initialDir)));
    return page;
}

QWidget* CConfigPropertySheet::midiPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(
        check(page, tr("Play MIDI files with Kolvo's own synthesizer"), FIELD(midUseInternal)));
    form->addRow(
        check(page, tr("Show the spectrum while the MIDI Player plays"), FIELD(spectrumMidi)));
    bind(FIELD(components[ComponentMidi].initialDir));
    form->addRow(tr("Folder of the Open dialog:"),
                 folderRow(page, m_edited, FIELD(components[ComponentMidi].initialDir)));
    return page;
}

QWidget* CConfigPropertySheet::videoPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(check(page, tr("Size the viewer to the video"), FIELD(dgvAutoSize)));
    form->addRow(
        check(page, tr("Play videos with the general file engine"), FIELD(dgvUseDirectShow)));
    form->addRow(check(page, tr("Play Video CDs 2.0 with their menus"), FIELD(dgvUseVcd2Mode)));
    bind(FIELD(components[ComponentVideo].initialDir));
    form->addRow(tr("Folder of the Open dialog:"),
                 folderRow(page, m_edited, FIELD(components[ComponentVideo].initialDir)));
    return page;
}

QWidget* CConfigPropertySheet::remotePage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(
        check(page, tr("Show the remote control"), FIELD(components[ComponentRemote].enable)));
    form->addRow(check(page, tr("Always on top"), FIELD(remoconAlwaysOnTop)));
    form->addRow(
        tr("Size:"),
        choice(page,
               {tr("Buttons without digits (99 x 160)"), tr("Everything, with digits (99 x 224)"),
                tr("Transport only (99 x 120)"), tr("Transport and seeking (99 x 140)")},
               FIELD(remoconSize)));
    // The target is a player, 2-5; the list starts at the CD Player.
    bind(FIELD(remoconComponent));
    auto* target = new QComboBox(page);
    for (int c = ComponentCd; c <= ComponentVideo; ++c)
        target->addItem(LoadQString(static_cast<UINT>(5800 + c)));
    target->setCurrentIndex(std::clamp(m_edited.remoconComponent - ComponentCd, 0, 3));
    connect(target, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_edited.remoconComponent = ComponentCd + index; });
    form->addRow(tr("Player it drives:"), target);
    return page;
}

QWidget* CConfigPropertySheet::spectrumPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    // A mode word: the drawing mode in its low byte, the linear flag in bit 16.
    auto modeControls = [this, page](QFormLayout* form, auto ref) {
        bind(ref);
        auto* mode = new QComboBox(page);
        mode->addItems(drawingModes());
        mode->setCurrentIndex(std::clamp(ref(m_edited) & 0xFF, 0, 3));
        connect(mode, &QComboBox::currentIndexChanged, this,
                [this, ref](int index) { ref(m_edited) = (ref(m_edited) & ~0xFF) | index; });
        form->addRow(tr("Drawing:"), mode);
        auto* linear = new QCheckBox(LoadQString(39404), page);
        linear->setChecked((ref(m_edited) & kLinearFlag) != 0);
        connect(linear, &QCheckBox::toggled, this, [this, ref](bool on) {
            ref(m_edited) = on ? (ref(m_edited) | kLinearFlag) : (ref(m_edited) & ~kLinearFlag);
        });
        form->addRow(linear);
    };

    auto* effector = new QGroupBox(LoadQString(5800), page);
    auto* effectorForm = new QFormLayout(effector);
    modeControls(effectorForm, FIELD(viewSpectrumMode));
    layout->addWidget(effector);

    auto* viewer = new QGroupBox(LoadQString(39440), page);
    auto* viewerForm = new QFormLayout(viewer);
    viewerForm->addRow(check(viewer, tr("Open with the remote control"), FIELD(spectrumEnabled)));
    viewerForm->addRow(check(viewer, tr("Always on top"), FIELD(spectrumAlwaysOnTop)));
    viewerForm->addRow(tr("Size:"), choice(viewer,
                                           {tr("Small (159 x 68)"), tr("Medium (239 x 92)"),
                                            tr("Large (357 x 139)"), tr("Tall (239 x 139)")},
                                           FIELD(spectrumSize)));
    modeControls(viewerForm, FIELD(spectrumMode));
    layout->addWidget(viewer);
    layout->addStretch();
    return page;
}

QWidget* CConfigPropertySheet::timerPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    // "Timer" holds HHMMSS.
    bind(FIELD(timer));
    const int stored = std::clamp(m_edited.timer, 0, kTimerMax);
    auto* row = new QHBoxLayout;
    QSpinBox* parts[3];
    const int values[3] = {stored / 10000, stored / 100 % 100, stored % 100};
    const int limits[3] = {99, 59, 59};
    const QString suffixes[3] = {tr(" h"), tr(" min"), tr(" s")};
    for (int i = 0; i < 3; ++i) {
        parts[i] = new QSpinBox(page);
        parts[i]->setRange(0, limits[i]);
        parts[i]->setValue(std::min(values[i], limits[i]));
        parts[i]->setSuffix(suffixes[i]);
        row->addWidget(parts[i]);
    }
    for (QSpinBox* part : parts)
        connect(part, &QSpinBox::valueChanged, this, [this, parts] {
            m_edited.timer = std::min(kTimerMax, parts[0]->value() * 10000 +
                                                     parts[1]->value() * 100 + parts[2]->value());
        });
    form->addRow(tr("Sleep timer:"), row);
    form->addRow(
        tr("When the timer runs out:"),
        choice(page,
               {tr("Exit Kolvo"), tr("Exit Kolvo and power off"), tr("Exit Kolvo and suspend")},
               FIELD(timerAction)));
    return page;
}

QWidget* CConfigPropertySheet::hotKeyPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    QCheckBox* use = check(page, tr("Use the hot keys"), FIELD(useHotKey));
    layout->addWidget(use);
    auto* groups = new QComboBox(page);
    for (int g = 0; g < hotkeys::kNamedGroups; ++g)
        groups->addItem(LoadQString(hotkeys::kFirstGroupName + static_cast<UINT>(g)));
    layout->addWidget(groups);
    m_hotKeyList = new QTreeWidget(page);
    m_hotKeyList->setColumnCount(2);
    m_hotKeyList->setHeaderLabels({LoadQString(2047), LoadQString(2113)});
    m_hotKeyList->setRootIsDecorated(false);
    m_hotKeyList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_hotKeyList->header()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(m_hotKeyList);
    auto* note = new QLabel(page);
    note->setWordWrap(true);
    if (!m_hotKeys.unavailableReason.isEmpty())
        note->setText(m_hotKeys.unavailableReason);
    else if (!m_hotKeys.note.isEmpty())
        note->setText(m_hotKeys.note);
    else if (!m_hotKeys.taken.empty())
        note->setText(tr("Keys marked \"held by another program\" do nothing in Kolvo."));
    note->setVisible(!note->text().isEmpty());
    layout->addWidget(note);
    auto enable = [groups, this](bool on) {
        groups->setEnabled(on);
        m_hotKeyList->setEnabled(on);
    };
    enable(use->isChecked());
    connect(use, &QCheckBox::toggled, this, enable);
    connect(groups, &QComboBox::currentIndexChanged, this, &CConfigPropertySheet::fillHotKeyList);
    fillHotKeyList(0);
    return page;
}

void CConfigPropertySheet::fillHotKeyList(int group)
{
    m_hotKeyList->clear();
    for (const auto& [id, e] : hotkeys::GroupEntries(m_hotKeys.table, group)) {
        QString keys = q(hotkeys::KeyText(e));
        if (std::find(m_hotKeys.taken.begin(), m_hotKeys.taken.end(), id) != m_hotKeys.taken.end())
            keys += tr(" (held by another program)");
        new QTreeWidgetItem(
            m_hotKeyList, {LoadQString(hotkeys::kFirstCommandName + static_cast<UINT>(id)), keys});
    }
}

QWidget* CConfigPropertySheet::mpegPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(tr("Channels:"), choice(page, {tr("Stereo"), tr("Left"), tr("Right"), tr("Mono")},
                                         FIELD(mp3Channel)));
    form->addRow(tr("Quality:"),
                 choice(page, {tr("Full sample rate"), tr("At most 24 kHz"), tr("At most 12 kHz")},
                        FIELD(mp3Quality)));
    form->addRow(tr("Decoder:"), choice(page, {tr("mpg123"), tr("libavcodec")}, FIELD(mp3Engine)));
    form->addRow(tr("Decoding priority:"),
                 choice(page, {tr("Low"), tr("Normal"), tr("High")}, FIELD(mp3Priority)));
    bind(FIELD(mp3BufferCount));
    auto* buffers = new QSpinBox(page);
    buffers->setRange(2, 100);
    buffers->setValue(std::clamp(m_edited.mp3BufferCount, 2, 100));
    buffers->setSuffix(tr(" x 20 ms"));
    connect(buffers, &QSpinBox::valueChanged, this, [this](int v) { m_edited.mp3BufferCount = v; });
    form->addRow(tr("Output buffers:"), buffers);
    form->addRow(tr("Output:"),
                 choice(page, {tr("Sound card"), tr("WAVE file"), tr("Sound card and WAVE file")},
                        FIELD(mp3OutputType)));
    form->addRow(check(page, tr("Automatic gain control"), FIELD(outScaleAgc)));
    bind(FIELD(outScaleValue));
    auto* scale = new QSpinBox(page);
    scale->setRange(0, 65535);
    scale->setValue(m_edited.outScaleValue);
    connect(scale, &QSpinBox::valueChanged, this, [this](int v) { m_edited.outScaleValue = v; });
    form->addRow(tr("Output scale (32768 = as decoded):"), scale);
    form->addRow(
        check(page, tr("Name WAVE output files automatically"), FIELD(wavOutputAutomaticNaming)));
    bind(FIELD(wavOutputDir));
    form->addRow(tr("WAVE output folder:"), folderRow(page, m_edited, FIELD(wavOutputDir)));
    form->addRow(check(page, tr("Save played streams to the stream folder"), FIELD(saveStream)));
    bind(FIELD(streamOutputDir));
    form->addRow(tr("Stream folder:"), folderRow(page, m_edited, FIELD(streamOutputDir)));
    return page;
}

void CConfigPropertySheet::applyTo(AppSettings& s) const
{
    for (const Binding& b : m_bindings)
        if (!b.same(m_initial, m_edited))
            b.copy(m_edited, s);
}
