#include "cddb/serverdialog.h"

#include "cddb/cddbtext.h"
#include "cddb/serverlist.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kStateIconRole = Qt::UserRole;
constexpr int kTextRole = Qt::UserRole + 1; // the text before an in-place edit

// Our own 16-pixel art: a bright disc for the current server, a dim ring for the others, and
// the four toolbar glyphs.
QIcon stateIcon(int which)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (which == CddbServerDialog::CurrentIcon) {
        p.setPen(QPen(QColor(0x1B, 0x6E, 0x2A), 1.2));
        p.setBrush(QColor(0x3C, 0xC4, 0x52));
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6.5, 6.5, 3, 3));
    } else {
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
    }
    return QIcon(pixmap);
}

QIcon commandIcon(int command)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x20, 0x40, 0x80), 2, Qt::SolidLine, Qt::RoundCap));
    switch (command) {
    case CddbServerDialog::AddCommand:
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case CddbServerDialog::RemoveCommand:
        p.setPen(QPen(QColor(0xA0, 0x20, 0x20), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case CddbServerDialog::PropertiesCommand:
        p.drawLine(QPointF(4, 12), QPointF(12, 4));
        p.drawLine(QPointF(3, 13), QPointF(6, 13));
        break;
    default: {
        p.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 280 * 16);
        QPainterPath head;
        head.moveTo(13, 2);
        head.lineTo(13, 7);
        head.lineTo(9, 5);
        head.closeSubpath();
        p.fillPath(head, QColor(0x20, 0x40, 0x80));
        break;
    }
    }
    return QIcon(pixmap);
}

} // namespace

CddbAddressDialog::CddbAddressDialog(const QString& title, const QString& text, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    m_edit = new QLineEdit(text, this);
    m_edit->setMinimumWidth(320);
    layout->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CddbAddressDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CddbAddressDialog::reject);
    layout->addWidget(buttons);
}

QString CddbAddressDialog::text() const
{
    return m_edit->text().trimmed();
}

void CddbAddressDialog::accept()
{
    if (text().isEmpty()) {
        KolvoMessageBox(this, LoadQString(cddbtext::kNameEmpty), MessageIcon::Information);
        return;
    }
    QDialog::accept();
}

CddbServerDialog::CddbServerDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadQString(cddbtext::kEditServerUrl));
    auto* layout = new QVBoxLayout(this);

    auto* toolbar = new QToolBar(this);
    toolbar->setIconSize(QSize(16, 16));
    const auto makeAction = [&](int command) {
        QAction* a = toolbar->addAction(commandIcon(command), LoadQString(command));
        a->setToolTip(LoadQString(command));
        connect(a, &QAction::triggered, this, [this, command] { runCommand(command); });
        return a;
    };
    m_add = makeAction(AddCommand);
    m_remove = makeAction(RemoveCommand);
    m_properties = makeAction(PropertiesCommand);
    toolbar->addSeparator();
    m_restore = makeAction(RestoreCommand);
    layout->addWidget(toolbar);

    m_list = new QTreeWidget(this);
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({QStringLiteral("URL")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setIconSize(QSize(16, 16));
    m_list->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    m_list->installEventFilter(this);
    layout->addWidget(m_list);

    m_current = new QLineEdit(this);
    layout->addWidget(m_current);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_list, &QTreeWidget::currentItemChanged, this,
            &CddbServerDialog::onCurrentItemChanged);
    connect(m_list, &QTreeWidget::itemChanged, this, &CddbServerDialog::onItemChanged);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CddbServerDialog::updateActions);
    resize(460, 360);
    load();
}

void CddbServerDialog::setStateIcon(QTreeWidgetItem* item, int icon)
{
    const bool wasLoading = m_loading;
    m_loading = true; // icon changes are not edits
    item->setIcon(0, stateIcon(icon));
    item->setData(0, kStateIconRole, icon);
    m_loading = wasLoading;
}

void CddbServerDialog::appendEntry(const QString& text)
{
    const bool wasLoading = m_loading;
    m_loading = true;
    auto* item = new QTreeWidgetItem(m_list, {text});
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setData(0, kTextRole, text);
    setStateIcon(item, OtherIcon);
    m_loading = wasLoading;
}

void CddbServerDialog::load()
{
    m_loading = true;
    std::vector<std::string> servers = LoadCddbServerList();
    const std::string current = CurrentCddbServer();
    if (servers.empty()) {
        servers = DefaultCddbServers();
        SaveCddbServerList(servers, current);
    }
    int row = -1;
    for (size_t i = 0; i < servers.size(); ++i) {
        appendEntry(QString::fromStdString(servers[i]));
        if (row < 0 && servers[i] == current)
            row = static_cast<int>(i);
    }
    if (row < 0) {
        appendEntry(QString::fromStdString(current));
        row = m_list->topLevelItemCount() - 1;
    }
    m_loading = false;
    selectRow(row);
    updateActions();
}

void CddbServerDialog::save()
{
    SaveCddbServerList(entries(), currentServer());
}

std::vector<std::string> CddbServerDialog::entries() const
{
    std::vector<std::string> out;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        out.push_back(m_list->topLevelItem(i)->text(0).toStdString());
    return out;
}

std::string CddbServerDialog::currentServer() const
{
    return m_current->text().trimmed().toStdString();
}

int CddbServerDialog::selectedRow() const
{
    const auto selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.front());
}

void CddbServerDialog::selectRow(int row)
{
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item)
        return;
    m_list->setCurrentItem(item);
    item->setSelected(true);
    m_list->scrollToItem(item);
}

int CddbServerDialog::stateIconOf(int row) const
{
    const QTreeWidgetItem* item = m_list->topLevelItem(row);
    return item ? item->data(0, kStateIconRole).toInt() : 0;
}

QAction* CddbServerDialog::action(int command) const
{
    switch (command) {
    case AddCommand:
        return m_add;
    case RemoveCommand:
        return m_remove;
    case PropertiesCommand:
        return m_properties;
    case RestoreCommand:
        return m_restore;
    default:
        return nullptr;
    }
}

void CddbServerDialog::runCommand(int command)
{
    switch (command) {
    case AddCommand:
        add();
        break;
    case RemoveCommand:
        remove();
        break;
    case PropertiesCommand:
        properties();
        break;
    case RestoreCommand:
        restore();
        break;
    default:
        break;
    }
}

void CddbServerDialog::onCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    if (previous)
        setStateIcon(previous, OtherIcon);
    if (current) {
        setStateIcon(current, CurrentIcon);
        m_current->setText(current->text(0));
    }
    updateActions();
}

void CddbServerDialog::onItemChanged(QTreeWidgetItem* item, int)
{
    if (m_loading)
        return;
    const QString before = item->data(0, kTextRole).toString();
    const QString after = item->text(0).trimmed();
    if (after.isEmpty()) {
        KolvoMessageBox(this, LoadQString(cddbtext::kNameEmpty), MessageIcon::Information);
        m_loading = true;
        item->setText(0, before);
        m_loading = false;
        return;
    }
    m_loading = true;
    item->setText(0, after);
    item->setData(0, kTextRole, after);
    m_loading = false;
    if (item == m_list->currentItem())
        m_current->setText(after);
}

void CddbServerDialog::updateActions()
{
    const bool selected = selectedRow() >= 0;
    m_remove->setEnabled(selected);
    m_properties->setEnabled(selected);
}

void CddbServerDialog::add()
{
    CddbAddressDialog ask(LoadQString(AddCommand), QString(), this);
    if (ask.exec() != QDialog::Accepted)
        return;
    appendEntry(ask.text());
    selectRow(m_list->topLevelItemCount() - 1);
}

void CddbServerDialog::remove()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    if (m_list->topLevelItemCount() <= 1) {
        KolvoMessageBox(this, LoadQString(cddbtext::kLastServerAddress), MessageIcon::Information,
                        MessageButtons::Ok, LoadQString(cddbtext::kConfirm));
        return;
    }
    // The next entry becomes current through the selection, not through the removal.
    m_list->blockSignals(true);
    delete m_list->takeTopLevelItem(row);
    m_list->blockSignals(false);
    selectRow(std::min(row, m_list->topLevelItemCount() - 1));
    if (QTreeWidgetItem* item = m_list->currentItem()) {
        setStateIcon(item, CurrentIcon);
        m_current->setText(item->text(0));
    }
    updateActions();
}

void CddbServerDialog::properties()
{
    QTreeWidgetItem* item = m_list->topLevelItem(selectedRow());
    if (!item)
        return;
    CddbAddressDialog ask(LoadQString(PropertiesCommand), m_current->text(), this);
    if (ask.exec() != QDialog::Accepted)
        return;
    m_loading = true;
    item->setText(0, ask.text());
    item->setData(0, kTextRole, ask.text());
    m_loading = false;
    if (item == m_list->currentItem())
        m_current->setText(ask.text());
}

void CddbServerDialog::restore()
{
    m_loading = true;
    m_list->blockSignals(true);
    m_list->clear();
    m_list->blockSignals(false);
    for (const std::string& server : DefaultCddbServers())
        appendEntry(QString::fromStdString(server));
    m_loading = false;
    selectRow(0);
    if (QTreeWidgetItem* item = m_list->currentItem()) {
        setStateIcon(item, CurrentIcon);
        m_current->setText(item->text(0));
    }
    save();
    updateActions();
}

bool CddbServerDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        remove();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CddbServerDialog::done(int result)
{
    save();
    QDialog::done(result);
}

int RunCddbServerDialog(QWidget* parent)
{
    CddbServerDialog dialog(parent);
    return dialog.exec();
}
