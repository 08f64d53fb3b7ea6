#include "albums/quickselect.h"

#include "albums/drawnicon.h"

#include "platform/placement.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QCollator>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kListId = 1002;

// The row icons: a disc for albums, a note for songs. They are drawn on a transparent
// ground: a colour key applied through a mask was lost when the list painted the icon
// selected or scaled, and the key colour showed as a square.
QIcon rowIcon(bool album)
{
    return drawnIcon([album](QPainter& p) {
        // The icons are drawn on the 20 x 20 grid of the toolbar pictures and shown at 16.
        if (album) {
            p.setBrush(QColor(0xd8, 0xb0, 0x50));
            p.setPen(QColor(0x60, 0x48, 0x10));
            p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
            p.setCompositionMode(QPainter::CompositionMode_Clear);
            p.drawEllipse(QRectF(7.5, 7.5, 5, 5));
        } else {
            p.setPen(QPen(QColor(0x30, 0x30, 0x60), 1.2));
            p.setBrush(QColor(0x40, 0x50, 0xa0));
            p.drawEllipse(QRectF(3.5, 12.5, 6.5, 5));
            p.drawLine(QPointF(9.5, 14), QPointF(9.5, 2.5));
            p.drawLine(QPointF(9.5, 2.5), QPointF(16, 5));
        }
    });
}

// Digit runs compare by value and the text between them through the collator. The collator's
// own numeric mode is not used: under the C locale (a bare session, the tests) it is ignored.
bool naturalLess(const QString& a, const QString& b)
{
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = a[i].isDigit(), digitB = b[j].isDigit();
        qsizetype endA = i, endB = j;
        while (endA < a.size() && a[endA].isDigit() == digitA)
            ++endA;
        while (endB < b.size() && b[endB].isDigit() == digitB)
            ++endB;
        const QStringView runA = QStringView(a).mid(i, endA - i);
        const QStringView runB = QStringView(b).mid(j, endB - j);
        if (digitA && digitB) {
            // Leading zeros aside, a longer run of digits is the larger number.
            const auto value = [](QStringView run) {
                while (run.size() > 1 && run.front() == u'0')
                    run = run.mid(1);
                return run;
            };
            const QStringView valueA = value(runA), valueB = value(runB);
            if (valueA.size() != valueB.size())
                return valueA.size() < valueB.size();
            if (const int c = valueA.compare(valueB); c != 0)
                return c < 0;
        } else if (const int c = collator.compare(runA, runB); c != 0) {
            return c < 0;
        }
        i = endA;
        j = endB;
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();
    return a < b;
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
    resize(300, 320);
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
    // The database lists its albums in its storage order, which means nothing to a person
    // looking for one: show them as a file manager would, case and accents folded, numbers
    // by value.
    std::vector<std::string> keys = albumKeys;
    std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
        return naturalLess(QString::fromStdString(a), QString::fromStdString(b));
    });
    for (const std::string& key : keys) {
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
        // The number column is a sixth of the list: with the icon beside it the number was
        // elided to an ellipsis, so the icon goes with the name.
        item->setIcon(1, icon);
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
