#include "cddb/cddbclient.h"

#include "cddb/cddbconnection.h"
#include "cddb/cddbtext.h"
#include "cddb/dialogs.h"
#include "cddb/serverlist.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace {

bool g_busy = false;

class BusyGuard
{
public:
    BusyGuard() { g_busy = true; }
    ~BusyGuard() { g_busy = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
};

void information(QWidget* parent, UINT id)
{
    KolvoMessageBox(parent, LoadQString(id), MessageIcon::Information);
}

} // namespace

std::string CddbUserEmail()
{
    const Profile profile;
    return profile.GetProfileString("CD", "EMail", "");
}

int CddbLookupRecord(QWidget* parent, const std::string& serverIn, const CddbAlbum& album,
                     XmcdRecord& record)
{
    if (g_busy)
        return 0;
    BusyGuard busy;
    std::string server = serverIn.empty() ? CurrentCddbServer() : serverIn;
    if (server.empty())
        server = DefaultCddbServers().front();
    if (!CddbSocketsAvailable()) {
        information(parent, cddbtext::kNoInternet);
        return 0;
    }
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    CddbQueryDialog dialog(server, info, parent);
    dialog.setEmail(CddbUserEmail());
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    record = DecodeXmcdRecord(dialog.record(), CddbKoreanMode());
    return 1;
}

int CddbLookup(QWidget* parent, const std::string& server, CddbAlbum& album)
{
    XmcdRecord record;
    if (!CddbLookupRecord(parent, server, album, record))
        return 0;
    StoreXmcdRecord(album, record);
    return 1;
}

int CddbSubmit(QWidget* parent, CddbAlbum& album, const std::function<void()>& save,
               const CddbMailSettingsListener& settingsChanged)
{
    if (g_busy)
        return 0;
    BusyGuard busy;
    const bool korean = CddbKoreanMode();

    std::string email;
    std::string mailServer;
    {
        const Profile profile;
        email = profile.GetProfileString("CD", "EMail", "");
        mailServer = profile.GetProfileString("CD", "MailServer", "");
    }
    if (email.empty() || mailServer.empty()) {
        CddbEmailDialog ask(email, mailServer, parent);
        if (ask.exec() != QDialog::Accepted)
            return 0;
        email = ask.email();
        mailServer = ask.mailServer();
        paths::ensureDir(paths::configDir() + "/" + paths::kOrganization);
        Profile profile;
        profile.WriteProfileString("CD", "EMail", email);
        profile.WriteProfileString("CD", "MailServer", mailServer);
        profile.sync();
        if (settingsChanged)
            settingsChanged(email, mailServer);
    }

    const SubmissionCheck check = CheckSubmission(album, korean);
    if (!check.passed) {
        KolvoMessageBox(parent, QString::fromStdString(check.message), MessageIcon::Information);
        return 0;
    }
    if (KolvoMessageBox(parent, LoadQString(cddbtext::kSubmitConfirm), MessageIcon::Question,
                        MessageButtons::YesNo) != IDYES)
        return 0;
    if (!CddbSocketsAvailable()) {
        information(parent, cddbtext::kNoInternet);
        return 0;
    }

    CddbDiscInfo info;
    ComputeDiscId(album, info);
    const std::string body = BuildSubmissionRecord(album, SubmissionClientName(check), korean);
    const std::string mail =
        BuildSubmissionMail(email, album.genre, info.discId, kCddbSubmitMailbox, body);
    CddbSubmitDialog dialog(mailServer, email, mail, kCddbSubmitMailbox, parent);
    if (dialog.exec() != QDialog::Accepted) {
        information(parent, cddbtext::kSubmitFailed);
        return 0;
    }
    album.revision = NextRevision(album.revision);
    if (save)
        save();
    information(parent, cddbtext::kSubmitSucceeded);
    return 1;
}
