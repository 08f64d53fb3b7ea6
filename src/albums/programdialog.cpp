#include "albums/programdialog.h"

#include "albums/album.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QGridLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr UINT kAddId = 1008;
constexpr UINT kDeleteId = 1009;
constexpr UINT kShuffleId = 1137;
constexpr UINT kErrorCaptionId = 2038;
constexpr UINT kNoSelectedSongId = 39217;

QListWidgetItem* songItem(const Album& album, int n)
{
    auto* item = new QListWidgetItem(
        QStringLiteral("[%1] %2").arg(n).arg(QString::fromStdString(album.GetSong(n)->title)));
    item->setData(Qt::UserRole, n);
    return item;
}

// The program list takes songs dragged from the song list (copies, at the drop position) and
// moves its own rows.
class ProgramList : public QListWidget
{
public:
    ProgramList(QListWidget* songs, const Album& album, QWidget* parent)
        : QListWidget(parent)
        , m_songs(songs)
        , m_album(album)
    {
        setSelectionMode(ExtendedSelection);
        setDragDropMode(DragDrop);
        setDefaultDropAction(Qt::MoveAction);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* e) override
    {
        if (e->source() == m_songs) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
            return;
        }
        QListWidget::dragEnterEvent(e);
    }
    void dragMoveEvent(QDragMoveEvent* e) override
    {
        if (e->source() == m_songs) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
            return;
        }
        QListWidget::dragMoveEvent(e);
    }
    void dropEvent(QDropEvent* e) override
    {
        if (e->source() != m_songs) {
            QListWidget::dropEvent(e);
            return;
        }
        QListWidgetItem* at = itemAt(e->position().toPoint());
        int row = at ? this->row(at) : count();
        for (QListWidgetItem* selected : m_songs->selectedItems())
            insertItem(row++, songItem(m_album, selected->data(Qt::UserRole).toInt()));
        e->setDropAction(Qt::CopyAction);
        e->accept();
    }

private:
    QListWidget* m_songs;
    const Album& m_album;
};

} // namespace

ProgramDialog::ProgramDialog(Album& album, QWidget* parent)
    : QDialog(parent)
    , m_album(album)
{
    setWindowTitle(LoadQString(5120));
    m_songs = new QListWidget(this);
    m_songs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_songs->setDragDropMode(QAbstractItemView::DragOnly);
    m_songs->setDefaultDropAction(Qt::CopyAction);
    for (int n = 1; n <= album.songCount(); ++n)
        m_songs->addItem(songItem(album, n));
    m_program = new ProgramList(m_songs, album, this);
    for (int n : album.program())
        if (n >= 1 && n <= album.songCount())
            m_program->addItem(songItem(album, n));

    auto* add = new QPushButton(LoadQString(kAddId), this);
    auto* remove = new QPushButton(LoadQString(kDeleteId), this);
    auto* shuffleButton = new QPushButton(LoadQString(kShuffleId), this);
    connect(add, &QPushButton::clicked, this, &ProgramDialog::addSelected);
    connect(remove, &QPushButton::clicked, this, &ProgramDialog::deleteSelected);
    connect(shuffleButton, &QPushButton::clicked, this, &ProgramDialog::shuffle);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProgramDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addWidget(shuffleButton);
    middle->addStretch();
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_songs, 0, 0);
    grid->addLayout(middle, 0, 1);
    grid->addWidget(m_program, 0, 2);
    grid->addWidget(buttons, 1, 0, 1, 3);
    resize(560, 360);
}

std::vector<int> ProgramDialog::programRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < m_program->count(); ++i)
        rows.push_back(m_program->item(i)->data(Qt::UserRole).toInt());
    return rows;
}

void ProgramDialog::addSelected()
{
    const QList<QListWidgetItem*> selected = m_songs->selectedItems();
    if (selected.isEmpty()) {
        KolvoMessageBox(this, LoadQString(kNoSelectedSongId), MessageIcon::Error,
                        MessageButtons::Ok, LoadQString(kErrorCaptionId));
        return;
    }
    // In list order, whatever order they were clicked in.
    std::vector<int> numbers;
    for (QListWidgetItem* item : selected)
        numbers.push_back(item->data(Qt::UserRole).toInt());
    std::sort(numbers.begin(), numbers.end());
    for (int n : numbers)
        m_program->addItem(songItem(m_album, n));
}

void ProgramDialog::deleteSelected()
{
    QList<QListWidgetItem*> selected = m_program->selectedItems();
    if (selected.isEmpty()) {
        KolvoMessageBox(this, LoadQString(kNoSelectedSongId), MessageIcon::Error,
                        MessageButtons::Ok, LoadQString(kErrorCaptionId));
        return;
    }
    int first = m_program->count();
    for (QListWidgetItem* item : selected)
        first = std::min(first, m_program->row(item));
    qDeleteAll(selected);
    if (m_program->count() > 0) {
        m_program->clearSelection();
        m_program->setCurrentRow(std::min(first, m_program->count() - 1));
    }
}

void ProgramDialog::shuffle()
{
    const std::vector<int> rows = programRows();
    RandomPicker picker;
    picker.resize(static_cast<int>(rows.size()));
    m_program->clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        const int pick = picker.draw(static_cast<int>(rows.size()));
        if (pick >= 0)
            m_program->addItem(songItem(m_album, rows[static_cast<size_t>(pick)]));
    }
}

void ProgramDialog::accept()
{
    const std::vector<int> rows = programRows();
    m_album.setProgram(std::vector<int32_t>(rows.begin(), rows.end()));
    m_album.Save();
    QDialog::accept();
}
