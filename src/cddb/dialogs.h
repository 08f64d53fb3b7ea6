#pragma once
// The modal dialogs of the CD database client: the lookup and submission status dialogs
// (an animation, a status line and Cancel, driven by the sessions' tick), the list of
// inexact matches, and the e-mail settings dialog.

#include "cddb/sessions.h"

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;

// What the two status dialogs share: the session begins when the dialog first shows, its status
// lines show as they come, Cancel stops it (the dialog then ends through the session's end),
// and the end's message is shown before the dialog closes, Accepted when the session succeeded.
class CddbStatusDialog : public QDialog
{
    Q_OBJECT
public:
    QString statusText() const;

    void reject() override;

protected:
    explicit CddbStatusDialog(QWidget* parent);
    // Called by the dialog's constructor once its session exists.
    void watch(CddbTickedSession& session);
    void showEvent(QShowEvent* event) override;

private:
    void onFinished(bool ok, UINT messageId);

    CddbTickedSession* m_session = nullptr;
    QLabel* m_status = nullptr;
    bool m_begun = false;
};

class CddbQueryDialog : public CddbStatusDialog
{
    Q_OBJECT
public:
    CddbQueryDialog(const std::string& server, const CddbDiscInfo& info, QWidget* parent = nullptr);

    void setEmail(const std::string& email) { m_session.setEmail(email); }
    // The record read, once the dialog has ended with Accepted.
    const XmcdRecord& record() const { return m_session.record(); }
    CddbQuerySession& session() { return m_session; }

private:
    CddbQuerySession m_session;
};

// Lists the inexact matches by their text after category and disc id.
class CddbMatchDialog : public QDialog
{
    Q_OBJECT
public:
    CddbMatchDialog(const std::vector<std::string>& matchLines, QWidget* parent = nullptr);

    // The chosen line's index, -1 before OK.
    int chosenIndex() const { return m_chosen; }
    QListWidget* list() const { return m_list; }

    void accept() override;

private:
    QListWidget* m_list = nullptr;
    int m_chosen = -1;
};

class CddbSubmitDialog : public CddbStatusDialog
{
    Q_OBJECT
public:
    CddbSubmitDialog(const std::string& mailServer, const std::string& sender,
                     const std::string& mail, const std::string& recipient = kCddbSubmitMailbox,
                     QWidget* parent = nullptr);

    SmtpSubmitSession& session() { return m_session; }

private:
    SmtpSubmitSession m_session;
};

// The sender address and the SMTP server, each at least four characters.
class CddbEmailDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kMinimumLength = 4;

    CddbEmailDialog(const std::string& email, const std::string& mailServer,
                    QWidget* parent = nullptr);

    std::string email() const;
    std::string mailServer() const;
    QLineEdit* emailEdit() const { return m_email; }
    QLineEdit* mailServerEdit() const { return m_server; }

    void accept() override;

private:
    QLineEdit* m_email = nullptr;
    QLineEdit* m_server = nullptr;
};
