#pragma once
// The CD database client over the CD album record: the same operations as on CddbAlbum, with
// what they change written back into the album and the album saved where that is designed.

#include "cddb/cddbclient.h"
#include "cddb/discid.h"
#include "cddb/xmcd.h"

#include <string>

class Album;
class QWidget;

// A copy of the CD fields of the album (its songs as tracks, in order).
CddbAlbum CddbAlbumOf(const Album& album);

void ComputeDiscId(const Album& album, CddbDiscInfo& info);
std::string BuildSubmissionRecord(const Album& album, const std::string& clientName, bool korean);
SubmissionCheck CheckSubmission(const Album& album, bool korean);

// Writes a read record into the album's fields (it is not saved).
void StoreXmcdRecord(Album& album, const XmcdRecord& record);

// The lookup entry point: 1 when the album was updated and saved, 0 otherwise (the album
// then stays as it was; a save that fails is told to the user).
int CddbLookup(QWidget* parent, const std::string& server, Album& album);

// The submit command: on success the revision grows by 1 and the album is saved (a save that
// fails is told to the user; the mail has gone out all the same, so the result stays 1).
int CddbSubmit(QWidget* parent, Album& album, const CddbMailSettingsListener& settingsChanged = {});
