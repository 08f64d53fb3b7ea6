#include "app/associationdialog.h"

#include "platform/associations.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr UINT kTitle = 39524;
constexpr UINT kApply = 39525;

QString mnemonicText(UINT id)
{
    return QString::fromStdString(LoadString(id));
}

void tell(QWidget* parent, const associations::Outcome& outcome)
{
    KolvoMessageBox(parent, QString::fromStdString(outcome.message),
                    outcome.ok ? MessageIcon::Information : MessageIcon::Warning);
}

} // namespace

CFileAssociationDialog::CFileAssociationDialog(int component, QWidget* parent)
    : QDialog(parent)
    , m_family(associations::familyOfComponent(component))
{
    setWindowTitle(mnemonicText(kTitle));
    auto* layout = new QVBoxLayout(this);
    m_list = new QListWidget(this);
    for (const associations::Extension& e : associations::familyExtensions(m_family)) {
        auto* item = new QListWidgetItem(
            QStringLiteral("%1  (%2)").arg(QLatin1String(e.extension), QLatin1String(e.mimeType)),
            m_list);
        item->setData(Qt::UserRole, QString::fromLatin1(e.extension));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsUserTristate);
        item->setCheckState(Qt::PartiallyChecked);
    }
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* apply = buttons->addButton(mnemonicText(kApply), QDialogButtonBox::ApplyRole);
    apply->setObjectName(QStringLiteral("control%1").arg(kApplyId));
    connect(apply, &QPushButton::clicked, this, &CFileAssociationDialog::OnApply);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CFileAssociationDialog::OnApply()
{
    std::vector<std::string> reg, restore;
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem* item = m_list->item(i);
        const std::string ext = item->data(Qt::UserRole).toString().toStdString();
        if (item->checkState() == Qt::Checked)
            reg.push_back(ext);
        else if (item->checkState() == Qt::Unchecked)
            restore.push_back(ext);
    }
    tell(this, associations::Apply(m_family, reg, restore));
}

void RegisterCdPlayerWithMessage(QWidget* parent)
{
    tell(parent, associations::RegisterCdPlayer());
}

void RestoreCdPlayerWithMessage(QWidget* parent)
{
    tell(parent, associations::RestoreCdPlayer());
}
