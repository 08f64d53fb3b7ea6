#pragma once
// The CD database commands as the windows call them: look a disc up and store what the
// server knows, and submit a disc's titles by mail.

#include "cddb/discid.h"
#include "cddb/xmcd.h"

#include <functional>
#include <string>

class QWidget;

// Looks the album's disc up on server (the current server when empty, the built-in default
// when that is empty too) through the modal status dialog. 1 with the record read, its
// texts in UTF-8; 0 after a failure (its message shown) or a cancel.
int CddbLookupRecord(QWidget* parent, const std::string& server, const CddbAlbum& album,
                     XmcdRecord& record);

// The same, storing the record into the album on success (the caller saves it).
int CddbLookup(QWidget* parent, const std::string& server, CddbAlbum& album);

// The e-mail address whose halves the hello names ("EMail", section "CD").
std::string CddbUserEmail();

// Called when the e-mail settings dialog has stored new "EMail" and "MailServer" values, so
// that whoever holds the settings in memory takes them over.
using CddbMailSettingsListener =
    std::function<void(const std::string& email, const std::string& mailServer)>;

// The submit command: asks for the e-mail settings when they are missing, runs the checks,
// asks for confirmation, mails the record through the modal status dialog and tells the
// outcome. On success the album's revision grows by 1 and save is called; 1 then, else 0.
int CddbSubmit(QWidget* parent, CddbAlbum& album, const std::function<void()>& save,
               const CddbMailSettingsListener& settingsChanged = {});
