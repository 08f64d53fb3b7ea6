#include "albums/id3dialog.h"
#include "albums/filetags.h"

#include "albums/profilefile.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "platform/text.h"

#include <QCollator>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr UINT IDS_ID3_TAG_EDIT = 1057;
constexpr UINT IDS_FILE = 2029;
constexpr UINT IDS_TITLE = 2021;
constexpr UINT IDS_ALBUM = 2023;
constexpr UINT IDS_ARTIST = 2024;
constexpr UINT IDS_GENRE = 2075;
constexpr UINT IDS_ERROR = 2038;
constexpr UINT IDS_NO_GENRE = 39236;
constexpr UINT IDS_REMOTE_FILE = 39249;
constexpr UINT IDS_TAG_REMOVED = 39250;
constexpr UINT IDS_CANT_REMOVE_TAG = 39251;
constexpr UINT IDS_CANT_WRITE_TAG = 39252;
constexpr UINT IDS_YEAR = 39253;
constexpr UINT IDS_COMMENT = 39254;
constexpr UINT IDS_REMOVE_TAG = 39255;

constexpr int kTextBytes = 30;
constexpr int kYearBytes = 4;

// The bytes a text takes in the tag, uncut: legacy code page when it can hold the text.
size_t tagBytes(const QString& text)
{
    const std::string utf8 = text.toStdString();
    if (const auto legacy = text::encodeLegacy(utf8, text::legacyCodePage()))
        return legacy->size();
    return utf8.size();
}

// Refuses input that would not fit the field; a 31st character cannot be typed.
class TagFieldValidator : public QValidator
{
public:
    TagFieldValidator(size_t maxBytes, QObject* parent)
        : QValidator(parent)
        , m_maxBytes(maxBytes)
    {}
    State validate(QString& input, int&) const override
    {
        return tagBytes(input) <= m_maxBytes ? Acceptable : Invalid;
    }

private:
    size_t m_maxBytes;
};

QString label(UINT id)
{
    return LoadQString(id) + QLatin1Char(':');
}

QString fieldText(const std::string& bytes)
{
    return QString::fromStdString(Id3FieldText(bytes));
}

std::string fieldBytes(const QLineEdit* edit, size_t maxBytes)
{
    return Id3FieldFromText(std::string(trimText(edit->text().toStdString())), maxBytes);
}

QString baseName(const std::string& path)
{
    return QFileInfo(QString::fromStdString(path)).fileName();
}

// The designed message, then the system's reason on a line of its own when there is one.
QString withReason(const QString& message, int error)
{
    if (error == 0)
        return message;
    return message + QLatin1Char('\n') + QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Id3TagDialog::Id3TagDialog(const std::string& path, QWidget* parent)
    : QDialog(parent)
    , m_path(path)
{
    setWindowTitle(LoadQString(IDS_ID3_TAG_EDIT));
    m_file = new QLabel(baseName(path), this);
    m_file->setToolTip(QString::fromStdString(path));
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto textEdit = [this](size_t maxBytes) {
        auto* edit = new QLineEdit(this);
        edit->setValidator(new TagFieldValidator(maxBytes, edit));
        return edit;
    };
    m_title = textEdit(kTextBytes);
    m_artist = textEdit(kTextBytes);
    m_album = textEdit(kTextBytes);
    m_year = textEdit(kYearBytes);
    m_year->setMaximumWidth(m_year->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    m_comment = textEdit(kTextBytes);

    // "(No Genre)", then the named genres in alphabetical order, each carrying its number.
    m_genre = new QComboBox(this);
    m_genre->addItem(LoadQString(IDS_NO_GENRE), -1);
    std::vector<std::pair<QString, int>> genres;
    for (int n = 0; n < 256; ++n) {
        const std::string name = GenreName(n);
        if (!name.empty())
            genres.emplace_back(QString::fromStdString(name), n);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(genres.begin(), genres.end(), [&collator](const auto& a, const auto& b) {
        return collator.compare(a.first, b.first) < 0;
    });
    for (const auto& [name, number] : genres)
        m_genre->addItem(name, number);
    m_genre->setMaxVisibleItems(20);

    m_remove = new QPushButton(LoadQString(IDS_REMOVE_TAG), this);
    m_remove->setAutoDefault(false);
    connect(m_remove, &QPushButton::clicked, this, &Id3TagDialog::removeTag);

    auto* form = new QFormLayout;
    form->addRow(label(IDS_FILE), m_file);
    form->addRow(label(IDS_TITLE), m_title);
    form->addRow(label(IDS_ARTIST), m_artist);
    form->addRow(label(IDS_ALBUM), m_album);
    form->addRow(label(IDS_YEAR), m_year);
    form->addRow(label(IDS_COMMENT), m_comment);
    form->addRow(label(IDS_GENRE), m_genre);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->addButton(m_remove, QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &Id3TagDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    Id3Tag tag;
    m_hadTag = ReadId3Tag(path, tag);
    m_before = tag;
    showTag(tag);
    resize(std::max(420, sizeHint().width()), sizeHint().height());
}

void Id3TagDialog::showTag(const Id3Tag& tag)
{
    m_title->setText(fieldText(tag.title));
    m_artist->setText(fieldText(tag.artist));
    m_album->setText(fieldText(tag.album));
    m_year->setText(fieldText(tag.year));
    m_comment->setText(fieldText(tag.comment));
    selectGenre(tag.genre);
}

void Id3TagDialog::selectGenre(int number)
{
    int index = m_genre->findData(number);
    if (index < 0) {
        // A number the table does not name stays what it is.
        m_genre->addItem(QStringLiteral("(%1)").arg(number & 0xFF), number);
        index = m_genre->count() - 1;
    }
    m_genre->setCurrentIndex(index);
}

Id3Tag Id3TagDialog::tag() const
{
    Id3Tag tag;
    tag.title = fieldBytes(m_title, kTextBytes);
    tag.artist = fieldBytes(m_artist, kTextBytes);
    tag.album = fieldBytes(m_album, kTextBytes);
    tag.year = fieldBytes(m_year, kYearBytes);
    tag.comment = fieldBytes(m_comment, kTextBytes);
    const QVariant genre = m_genre->currentData();
    tag.genre = genre.isValid() ? genre.toInt() : -1;
    return tag;
}

void Id3TagDialog::removeTag()
{
    errno = 0;
    if (!RemoveId3Tag(m_path)) {
        const int error = errno;
        KolvoMessageBox(
            this,
            withReason(
                LoadQString(IDS_CANT_REMOVE_TAG).replace(QLatin1String("%s"), baseName(m_path)),
                error),
            MessageIcon::Information);
        return;
    }
    KolvoMessageBox(this,
                    LoadQString(IDS_TAG_REMOVED).replace(QLatin1String("%s"), baseName(m_path)),
                    MessageIcon::Information);
    m_before = Id3Tag{};
    showTag(Id3Tag{});
}

void Id3TagDialog::accept()
{
    const Id3Tag t = tag();
    const bool empty = t.title.empty() && t.artist.empty() && t.album.empty() && t.year.empty() &&
                       t.comment.empty() && t.genre == -1;
    if (!empty) {
        errno = 0;
        std::string why;
        const TagWrite written = WriteSongTag(m_path, m_before, t, &why);
        if (written == TagWrite::NotMpegAudio) {
            KolvoMessageBox(this,
                            tr("Kolvo does not write an ID3 tag into %1: %2.")
                                .arg(baseName(m_path), QString::fromStdString(why)),
                            MessageIcon::Information);
            return;
        }
        if (written == TagWrite::Failed) {
            const int error = errno;
            KolvoMessageBox(this, withReason(LoadQString(IDS_CANT_WRITE_TAG), error),
                            MessageIcon::Error, MessageButtons::Ok, LoadQString(IDS_ERROR));
            return;
        }
    }
    QDialog::accept();
}

void EditId3Tag(QWidget* parent, const std::string& path)
{
    if (path.find("://") != std::string::npos) {
        KolvoMessageBox(parent, LoadQString(IDS_REMOTE_FILE), MessageIcon::Information);
        return;
    }
    Id3TagDialog dialog(path, parent);
    dialog.exec();
}
