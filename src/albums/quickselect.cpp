#include "albums/quickselect.h"

#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QBitmap>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kListId = 1002;

// The row icons: a disc for albums, a note for songs, drawn on a magenta key that is then made
// transparent, as the strip they stand for was.
QIcon rowIcon(bool album)
{
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (album) {
        p.setBrush(QColor(0xd8, 0xb0, 0x50));
        p.setPen(QColor(0x60, 0x48, 0x10));
        p.drawEllipse(1, 1, 13, 13);
        p.setBrush(QColor(255, 0, 255));
        p.drawEllipse(6, 6, 3, 3);
    } else {
        p.setPen(QColor(0x30, 0x30, 0x60));
        p.setBrush(QColor(0x40, 0x50, 0xa0));
        p.drawEllipse(3, 10, 5, 4);
        p.drawLine(7, 11, 7, 2);
        p.drawLine(7, 2, 12, 4);
    }
    p.end();
    const QImage mask = img.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskOutColor);
    QPixmap pm = QPixmap::fromImage(img);
    pm.setMask(QBitmap::fromImage(mask));
    return QIcon(pm);
}

} // namespace

QRect QuickSelectPlacement(const QRect& saved, const QRect& workArea)
{
    const QRect visible = saved.intersected(workArea);
    if (visible.width() > 100 && visible.height() > 100 && visible == saved)
        return saved;
    return {};
}

QuickSelectDialog::QuickSelectDialog(const char* section, unsigned titleId, QWidget* parent)
    : QDialog(parent)
    , m_section(section)
{
    setWindowTitle(LoadQString(titleId));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(kListId));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize(QSize(16, 16));
    m_list->setUniformRowHeights(true);
    m_list->header()->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    resize(260, 320);
    connect(m_list, &QTreeWidget::itemClicked, this, [this] { choose(); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { choose(); });
    connect(m_list, &QTreeWidget::itemActivated, this, [this] { choose(); });
    m_list->viewport()->installEventFilter(this);
}

QuickSelectDialog::~QuickSelectDialog()
{
    Profile profile;
    WriteWindowRect(profile, m_section, geometry());
    profile.sync();
}

void QuickSelectDialog::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (m_placed)
        return;
    m_placed = true;
    const QRect place =
        QuickSelectPlacement(ReadWindowRect(Profile(), m_section), DesktopWorkArea());
    if (!place.isEmpty())
        setGeometry(place);
    layoutColumns();
}

void QuickSelectDialog::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    layoutColumns();
}

void QuickSelectDialog::keyPressEvent(QKeyEvent* e)
{
    // Enter chooses; with no row chosen the album list stays open, the track list does not.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        choose();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool QuickSelectDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Rows report their own clicks; a click (press and release) on the list's empty area is a
    // click on the list with no row selected.
    if (watched == m_list->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                          event->type() == QEvent::MouseButtonRelease)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const bool outsideRows =
            mouse->button() == Qt::LeftButton && !m_list->itemAt(mouse->position().toPoint());
        if (event->type() == QEvent::MouseButtonPress) {
            m_pressedOutsideRows = outsideRows;
        } else if (m_pressedOutsideRows && outsideRows) {
            m_pressedOutsideRows = false;
            m_list->clearSelection();
            choose();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QuickAlbumSelect::QuickAlbumSelect(const std::vector<std::string>& albumKeys, QWidget* parent)
    : QuickSelectDialog("QuickAlbumSelect", 5156, parent)
{
    const QIcon icon = rowIcon(true);
    setWindowIcon(icon);
    m_list->setColumnCount(1);
    for (const std::string& key : albumKeys) {
        auto* item = new QTreeWidgetItem(m_list, {QString::fromStdString(key)});
        item->setIcon(0, icon);
    }
}

void QuickAlbumSelect::layoutColumns()
{
    m_list->setColumnWidth(0, m_list->viewport()->width());
}

void QuickAlbumSelect::choose()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    m_chosen = selected.first()->text(0).toStdString();
    accept();
}

QuickTrackSelect::QuickTrackSelect(const std::vector<std::string>& songNames, QWidget* parent)
    : QuickSelectDialog("QuickTrackSelect", 5176, parent)
{
    const QIcon icon = rowIcon(false);
    setWindowIcon(icon);
    m_list->setColumnCount(2);
    int number = 1;
    for (const std::string& name : songNames) {
        auto* item = new QTreeWidgetItem(
            m_list, {QStringLiteral("[%1]").arg(number++), QString::fromStdString(name)});
        item->setIcon(0, icon);
    }
}

void QuickTrackSelect::layoutColumns()
{
    const int width = m_list->width();
    const int scroll = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    m_list->setColumnWidth(0, width / 6);
    m_list->setColumnWidth(1, width * 5 / 6 - scroll);
}

void QuickTrackSelect::choose()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    m_chosen = selected.isEmpty() ? 0 : m_list->indexOfTopLevelItem(selected.first()) + 1;
    accept();
}
