#include "cddb/dialogs.h"

#include "cddb/cddbtext.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

// ---------------------------------------------------------------------------------------------
// The status dialogs

CddbStatusDialog::CddbStatusDialog(QWidget* parent)
    : QDialog(parent)
{
    // The animation: a busy bar that runs while the exchange goes on.
    auto* layout = new QVBoxLayout(this);
    auto* busy = new QProgressBar(this);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedHeight(12);
    layout->addWidget(busy);
    m_status = new QLabel(LoadQString(cddbtext::kInitializing), this);
    m_status->setMinimumWidth(260);
    layout->addWidget(m_status);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setWindowTitle(LoadQString(cddbtext::kTitle).trimmed());
}

void CddbStatusDialog::watch(CddbTickedSession& session)
{
    m_session = &session;
    connect(&session, &CddbTickedSession::statusChanged, this,
            [this](UINT id) { m_status->setText(LoadQString(id)); });
    connect(&session, &CddbTickedSession::finished, this, &CddbStatusDialog::onFinished);
}

QString CddbStatusDialog::statusText() const
{
    return m_status->text();
}

void CddbStatusDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_begun) {
        m_begun = true;
        m_session->begin();
    }
}

void CddbStatusDialog::reject()
{
    if (m_session->running())
        m_session->cancel(); // ends through onFinished
    else
        QDialog::reject();
}

void CddbStatusDialog::onFinished(bool ok, UINT messageId)
{
    if (messageId != 0)
        KolvoMessageBox(this, LoadQString(messageId), MessageIcon::Information);
    done(ok ? Accepted : Rejected);
}

CddbQueryDialog::CddbQueryDialog(const std::string& server, const CddbDiscInfo& info,
                                 QWidget* parent)
    : CddbStatusDialog(parent)
    , m_session(server, info)
{
    watch(m_session);
    m_session.setChooser([this](const std::vector<std::string>& lines) {
        CddbMatchDialog choice(lines, this);
        return choice.exec() == QDialog::Accepted ? choice.chosenIndex() : -1;
    });
}

CddbSubmitDialog::CddbSubmitDialog(const std::string& mailServer, const std::string& sender,
                                   const std::string& mail, const std::string& recipient,
                                   QWidget* parent)
    : CddbStatusDialog(parent)
    , m_session(mailServer, sender, recipient, mail)
{
    watch(m_session);
}

// ---------------------------------------------------------------------------------------------
// The match list and the e-mail settings

CddbMatchDialog::CddbMatchDialog(const std::vector<std::string>& matchLines, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadQString(cddbtext::kTitle).trimmed());
    auto* layout = new QVBoxLayout(this);
    m_list = new QListWidget(this);
    for (const std::string& line : matchLines)
        m_list->addItem(QString::fromStdString(
            FromRecordEncoding(SplitMatchLine(line).text, CddbKoreanMode())));
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CddbMatchDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CddbMatchDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CddbMatchDialog::accept);
    layout->addWidget(buttons);
    resize(420, 240);
}

void CddbMatchDialog::accept()
{
    const int row = m_list->currentRow();
    if (row < 0 || m_list->selectedItems().isEmpty())
        return;
    m_chosen = row;
    QDialog::accept();
}

CddbEmailDialog::CddbEmailDialog(const std::string& email, const std::string& mailServer,
                                 QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadQString(cddbtext::kTitle).trimmed());
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_email = new QLineEdit(QString::fromStdString(email), this);
    m_server = new QLineEdit(QString::fromStdString(mailServer), this);
    form->addRow(tr("E-mail address:"), m_email);
    form->addRow(tr("Mail server (SMTP):"), m_server);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CddbEmailDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CddbEmailDialog::reject);
    layout->addWidget(buttons);
}

std::string CddbEmailDialog::email() const
{
    return m_email->text().trimmed().toStdString();
}

std::string CddbEmailDialog::mailServer() const
{
    return m_server->text().trimmed().toStdString();
}

void CddbEmailDialog::accept()
{
    for (QLineEdit* edit : {m_email, m_server}) {
        if (edit->text().trimmed().size() < kMinimumLength) {
            KolvoMessageBox(this,
                            LoadQString(cddbtext::kMinimumCharacters)
                                .replace(QLatin1String("%d"), QString::number(kMinimumLength)),
                            MessageIcon::Information);
            edit->setFocus();
            return;
        }
    }
    QDialog::accept();
}
