#pragma once
// The string-table ids of the CD database client's texts, by what they say. The numbers are
// the string table's and never change; each carries its English text.

#include "platform/messages.h"

namespace cddbtext {

// Server list
constexpr UINT kNameEmpty = 1045;         // Name can not be empty.
constexpr UINT kConfirm = 2032;           // Confirm
constexpr UINT kLastServerAddress = 2077; // Can not delete the last CDDB Address.
constexpr UINT kEditServerUrl = 33267;    // Edit CDDB Server URL

// Submission
// Do you want to submit current CD information to Internet CD database(CDDB) server ?\n
// Please confirm that CDDB server does not have your CD information, and entered CD
// information is correct.
constexpr UINT kSubmitConfirm = 1071;
// Submission was successful.\nThe CD information will be updated within 24 hours.\n
// If CDDB server reject your submission, you will be notified by e-mail.
constexpr UINT kSubmitSucceeded = 1072;
// Submission was failed.\nPlease check your mail server and internet connection.
constexpr UINT kSubmitFailed = 1073;
constexpr UINT kMinimumCharacters = 2055; // Please enter minimun %d characters.

// Checks of a record before it is sent
constexpr UINT kTrack = 2033; // Track
// Album Title or Genre information is not entered or appropriate. Please enter again.\n
// (You can use only ISO-8859-1 characters)
constexpr UINT kBadAlbumTitle = 1150;
// Time information of audio CD is not entered. Please insert this CD again.
constexpr UINT kNoDiscTime = 1151;
// Track Title information is not entered or appropriate. Please enter again.\n
// (You can use only ISO-8859-1 characters)
constexpr UINT kBadTrackTitle = 1152;
// Time information of track is not entered. Please insert this CD again.
constexpr UINT kNoTrackTime = 1153;
// Can't use '/' or ',' characters in Album Title or Artist.
constexpr UINT kSlashOrComma = 1154;
// Can't use "\\n" string in Text Information.
constexpr UINT kNewlineText = 1155;

// Connection failures
constexpr UINT kNoInternet = 2036;       // This computer is not configured for internet connection.
constexpr UINT kConnectionFailed = 2037; // Internet connection failed.
constexpr UINT kServerFailed = 2039;     // Connection to CDDB server failed.
constexpr UINT kDisconnected = 2040;     // Disconnected to internet.
constexpr UINT kTimedOut = 2041;         // Time out for internet connection.
constexpr UINT kNoMatch = 2086; // Can't find Audio CD information for this CD on CDDB server.

// Status lines
constexpr UINT kTitle = 2042;         // "Kolvo " (the program's title)
constexpr UINT kConnecting = 2087;    // Connecting...
constexpr UINT kSendingHello = 2088;  // Sending connecting information...
constexpr UINT kQuerying = 2089;      // Querying CD information...
constexpr UINT kReading = 2090;       // Reading CD information...
constexpr UINT kInitializing = 2091;  // Initializing...
constexpr UINT kSendingRecord = 2099; // Sending CD information...

// Albums
constexpr UINT kAlbumDatabaseUnwritable = 9302; // Can't write the album database %s.

} // namespace cddbtext
