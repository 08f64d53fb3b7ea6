#pragma once
// The xmcd record: the submission record writer (already quoted-printable, the body of the
// submission mail), the reader of a server's read reply, and the checks an album must pass
// before it may be submitted.
//
// Album text is UTF-8. The record travels in ISO-8859-1, or in code page 949 when the
// interface is Korean ("Korean mode"); the checks judge the text in that encoding.

#include "cddb/discid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kCddbClientName = "Kolvo 4.0";
// Named in records holding Korean text, as the database's Korean users expect.
inline constexpr const char* kCddbKoreanClientName = "NotifyCDPlayer(CDDB) 1.51.3";

// Korean mode: the interface speaks Korean (its legacy code page is 949).
bool CddbKoreanMode();

// UTF-8 to the record's encoding; nullopt when a character has no place in it.
std::optional<std::string> ToRecordEncoding(std::string_view utf8, bool korean);
// The same, with '?' for each character the encoding lacks (records built without checks).
std::string ToRecordEncodingLossy(std::string_view utf8, bool korean);
// Bytes of a received record to UTF-8: valid UTF-8 stays, anything else is read as CP1252
// (the superset of ISO-8859-1 senders really use) or, in Korean mode, as code page 949.
std::string FromRecordEncoding(std::string_view bytes, bool korean);

// Judges text already in the record's encoding. An empty text passes. In Korean mode bytes
// 0x80-0x9F fail and bytes from 0xA0 set highBytes; otherwise any byte from 0x80 fails.
bool IsSubmittableText(std::string_view text, bool korean, bool& highBytes);

// "=" and bytes from 0x7F become "=XX", CR becomes backslash-n, the rest is copied.
std::string EncodeXmcdValue(std::string_view text);

// Appends key and value, folding after 70 columns onto lines that repeat the key; an escape
// is never split. An empty value gives the key alone on its line.
void AppendXmcdField(std::string& record, std::string_view key, std::string_view encodedValue);

// The revision a submission gives: one more than the album's (the largest stays the largest).
inline std::int32_t NextRevision(std::int32_t revision)
{
    return revision < INT32_MAX ? revision + 1 : revision;
}

// The submission record of the album, quoted-printable, every line ended by CR LF but the
// last ("PLAYORDER=3D"). The revision written is the album's plus 1.
std::string BuildSubmissionRecord(const CddbAlbum& album, const std::string& clientName,
                                  bool korean);

// What a read reply yields. Texts are the record's bytes with backslash-n turned into CR.
struct XmcdRecord
{
    std::string title;
    std::string artist;
    std::string extendedInfo;
    std::vector<std::string> trackTitles;
    std::vector<std::string> trackExtendedInfo;
    std::string category;
    int revision = 0;
    std::string year;  // DYEAR, as given ("" when the record has none)
    std::string genre; // DGENRE, the record's own genre name beside its category
};

// lines: the reply's lines in order, without line ends, status line and "." excluded.
XmcdRecord ParseXmcdRecord(const std::vector<std::string>& lines, const std::string& category);

// The record's texts turned to UTF-8 (see FromRecordEncoding).
XmcdRecord DecodeXmcdRecord(const XmcdRecord& raw, bool korean);

// Writes a read record into the album: one title and extended text per track the album
// has (empty where the record has none), album texts, genre := category, revision.
void StoreXmcdRecord(CddbAlbum& album, const XmcdRecord& record);

// The checks before a submission, in order; the first failure ends them.
struct SubmissionCheck
{
    bool passed = false;
    std::string message;    // the text to show (UTF-8) when it failed
    bool highBytes = false; // accepted text held bytes from 0xA0 (Korean mode)
};
SubmissionCheck CheckSubmission(const CddbAlbum& album, bool korean);

// The client name the record names after "# Submitted via:".
inline const char* SubmissionClientName(const SubmissionCheck& check)
{
    return check.highBytes ? kCddbKoreanClientName : kCddbClientName;
}
