#include "albums/albumdialogs.h"

#include "albums/album.h"
#include "albums/profilefile.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

constexpr UINT IDS_PROPERTIES = 33240;
constexpr UINT IDS_FIND = 33285;
constexpr UINT IDS_FILE = 2029;
constexpr UINT IDS_TITLE = 2021;
constexpr UINT IDS_ALBUM = 2023;
constexpr UINT IDS_ARTIST = 2024;
constexpr UINT IDS_NUMBER = 2034;
constexpr UINT IDS_DESCRIPTION = 2047;
constexpr UINT IDS_GENRE = 2075;
constexpr UINT IDS_NEXT = 1055;
constexpr UINT IDS_PREVIOUS = 1056;
constexpr UINT IDS_MINIMUM_CHARACTERS = 2055;
constexpr UINT IDS_EDIT_SERVERS = 33267;
constexpr UINT IDS_READ_FROM_CDDB = 33265;
constexpr UINT IDS_UNTITLED = 39235;
constexpr UINT IDS_NO_GENRE = 39236;
constexpr UINT IDS_NAME_TOO_LONG = 39237;

std::string trimmed(const QString& text)
{
    const std::string utf8 = text.toStdString();
    return std::string(trimText(utf8));
}

QString label(UINT id)
{
    return LoadQString(id) + QLatin1Char(':');
}

void tellMinimumLength(QWidget* parent, int characters)
{
    KolvoMessageBox(parent,
                    LoadQString(IDS_MINIMUM_CHARACTERS)
                        .replace(QLatin1String("%d"), QString::number(characters)),
                    MessageIcon::Information);
}

} // namespace

QString AlbumTreeText(std::string_view title, std::string_view artist)
{
    const QString t = title.empty() ? LoadQString(IDS_UNTITLED)
                                    : QString::fromUtf8(title.data(), qsizetype(title.size()));
    if (artist.empty())
        return t;
    return QString::fromUtf8(artist.data(), qsizetype(artist.size())) + QStringLiteral(" / ") + t;
}

QString EditTextOf(std::string_view stored)
{
    QString text = QString::fromUtf8(stored.data(), qsizetype(stored.size()));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

std::string StoredTextOf(const QString& edited)
{
    QString text = edited;
    text.replace(QLatin1String("\r\n"), QLatin1String("\r"));
    text.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    return text.toStdString();
}

// ---------------------------------------------------------------------------------------------

const std::vector<std::string>& AlbumPropertiesDialog::Genres()
{
    static const std::vector<std::string> genres = {"Blues",  "Classical", "Country",   "Data",
                                                    "Folk",   "Jazz",      "Misc",      "Newage",
                                                    "Reggae", "Rock",      "SoundTrack"};
    return genres;
}

AlbumPropertiesDialog::AlbumPropertiesDialog(AlbumForm form, const AlbumProperties& values,
                                             std::function<void(QWidget*)> editServers,
                                             QWidget* parent)
    : QDialog(parent)
    , m_form(form)
    , m_editServers(std::move(editServers))
{
    setWindowTitle(LoadQString(IDS_PROPERTIES));
    m_title = new QLineEdit(QString::fromStdString(values.title), this);
    m_artist = new QLineEdit(QString::fromStdString(values.artist), this);
    m_description = new QPlainTextEdit(EditTextOf(values.description), this);
    m_description->setTabChangesFocus(true);
    m_genre = new QComboBox(this);
    m_genre->addItem(LoadQString(IDS_NO_GENRE));
    int chosen = 0;
    for (const std::string& genre : Genres()) {
        m_genre->addItem(QString::fromStdString(genre));
        // A category read from a CD database comes in lower case.
        if (equalsNoCase(genre, values.genre))
            chosen = m_genre->count() - 1;
    }
    m_genre->setCurrentIndex(chosen);

    auto* form_ = new QFormLayout;
    form_->addRow(label(form == AlbumForm::Cd ? IDS_TITLE : IDS_ALBUM), m_title);
    form_->addRow(label(IDS_ARTIST), m_artist);
    form_->addRow(label(IDS_GENRE), m_genre);
    form_->addRow(label(IDS_DESCRIPTION), m_description);

    m_server = new QPushButton(LoadQString(IDS_EDIT_SERVERS), this);
    m_server->setObjectName(QString::number(kServerButtonId));
    m_read = new QPushButton(LoadQString(IDS_READ_FROM_CDDB), this);
    m_read->setObjectName(QString::number(kReadButtonId));
    const bool cd = form == AlbumForm::Cd;
    m_server->setEnabled(cd && m_editServers);
    m_read->setEnabled(cd);
    m_server->setAutoDefault(false);
    m_read->setAutoDefault(false);
    connect(m_server, &QPushButton::clicked, this, [this] {
        if (m_editServers)
            m_editServers(this);
    });
    connect(m_read, &QPushButton::clicked, this, [this] { done(ReadFromCddb); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AlbumPropertiesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* cddb = new QHBoxLayout;
    cddb->addWidget(m_server);
    cddb->addWidget(m_read);
    cddb->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form_);
    layout->addLayout(cddb);
    layout->addWidget(buttons);
    resize(420, 320);
}

AlbumProperties AlbumPropertiesDialog::values() const
{
    AlbumProperties v;
    v.title = trimmed(m_title->text());
    v.artist = trimmed(m_artist->text());
    v.description = std::string(trimText(StoredTextOf(m_description->toPlainText())));
    const int genre = m_genre->currentIndex();
    if (genre >= 1)
        v.genre = Genres()[static_cast<size_t>(genre - 1)];
    return v;
}

void AlbumPropertiesDialog::accept()
{
    const QString name = QString::fromStdString(values().title);
    if (name.isEmpty()) {
        tellMinimumLength(this, 1);
        m_title->setFocus();
        return;
    }
    if (m_form == AlbumForm::File && name.toUcs4().size() > kFileNameLimit) {
        KolvoMessageBox(this, LoadQString(IDS_NAME_TOO_LONG), MessageIcon::Information);
        m_title->setFocus();
        return;
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

SongPropertiesDialog::SongPropertiesDialog(AlbumForm form, Album& album, int song, QWidget* parent)
    : QDialog(parent)
    , m_album(album)
{
    setWindowTitle(LoadQString(IDS_PROPERTIES));
    m_number = new QLabel(this);
    m_title = new QLineEdit(this);
    m_description = new QPlainTextEdit(this);
    m_description->setTabChangesFocus(true);
    m_next = new QPushButton(LoadQString(IDS_NEXT), this);
    m_previous = new QPushButton(LoadQString(IDS_PREVIOUS), this);
    m_next->setShortcut(QKeySequence(Qt::Key_PageDown));
    m_previous->setShortcut(QKeySequence(Qt::Key_PageUp));
    m_next->setAutoDefault(false);
    m_previous->setAutoDefault(false);
    connect(m_next, &QPushButton::clicked, this, &SongPropertiesDialog::next);
    connect(m_previous, &QPushButton::clicked, this, &SongPropertiesDialog::previous);

    auto* fields = new QFormLayout;
    fields->addRow(label(IDS_NUMBER), m_number);
    fields->addRow(label(form == AlbumForm::Cd ? IDS_TITLE : IDS_FILE), m_title);
    fields->addRow(label(IDS_DESCRIPTION), m_description);
    auto* steps = new QHBoxLayout;
    steps->addWidget(m_previous);
    steps->addWidget(m_next);
    steps->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SongPropertiesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(steps);
    layout->addWidget(buttons);
    resize(420, 280);
    showSong(song);
}

void SongPropertiesDialog::showSong(int song)
{
    m_song = song;
    const SongEntry* entry = m_album.GetSong(song);
    m_number->setText(QString::number(song));
    m_title->setText(entry ? QString::fromStdString(entry->title) : QString());
    m_description->setPlainText(entry ? EditTextOf(entry->extendedInfo) : QString());
    m_title->setFocus();
    m_title->selectAll();
}

void SongPropertiesDialog::store()
{
    SongEntry* entry = m_album.GetSong(m_song);
    if (!entry)
        return;
    entry->title = trimmed(m_title->text());
    entry->extendedInfo = std::string(trimText(StoredTextOf(m_description->toPlainText())));
}

void SongPropertiesDialog::next()
{
    store();
    const int count = m_album.songCount();
    if (count > 0)
        showSong(m_song >= count ? 1 : m_song + 1);
}

void SongPropertiesDialog::previous()
{
    store();
    const int count = m_album.songCount();
    if (count > 0)
        showSong(m_song <= 1 ? count : m_song - 1);
}

void SongPropertiesDialog::accept()
{
    store();
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

FindTextDialog::FindTextDialog(const std::string& text, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadQString(IDS_FIND));
    m_edit = new QLineEdit(QString::fromStdString(text), this);
    m_edit->selectAll();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &FindTextDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    resize(320, layout->sizeHint().height());
}

std::string FindTextDialog::text() const
{
    return m_edit->text().toStdString();
}

void FindTextDialog::accept()
{
    if (m_edit->text().isEmpty()) {
        tellMinimumLength(this, 1);
        return;
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

QStringList FileDialogFilters(const QString& classicFilter)
{
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    const QStringList parts = classicFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString description = parts[i];
        description.remove(trailingPatterns);
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters.push_back(description + QStringLiteral(" (") + patterns.simplified() +
                          QLatin1Char(')'));
    }
    return filters;
}

std::string ChooseFileWithDialog(QWidget* parent, const FileChoice& choice)
{
    QFileDialog dialog(parent);
    dialog.setNameFilters(FileDialogFilters(choice.filter));
    dialog.setDefaultSuffix(choice.defaultSuffix);
    if (choice.mode == FileChoice::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first().toStdString();
}
