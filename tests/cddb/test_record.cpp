// Disc identifiers (against libdiscid), the submission record, the record reader and the
// checks before a submission.
#include "cddb/discid.h"
#include "cddb/xmcd.h"
#include "platform/strings.h"

#include <gtest/gtest.h>

#include <discid/discid.h>

#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <tuple>

namespace {

CddbAlbum album(const std::vector<int>& offsets, int leadOut)
{
    return CddbAlbumFromToc(offsets, leadOut);
}

std::uint32_t idOf(const CddbAlbum& a)
{
    CddbDiscInfo info;
    ComputeDiscId(a, info);
    return info.discId;
}

std::string libdiscidFreedbId(const std::vector<int>& offsets, int leadOut)
{
    std::unique_ptr<DiscId, void (*)(DiscId*)> d(discid_new(), discid_free);
    int table[100] = {};
    table[0] = leadOut;
    for (size_t i = 0; i < offsets.size(); ++i)
        table[i + 1] = offsets[i];
    if (!discid_put(d.get(), 1, static_cast<int>(offsets.size()), table))
        return "refused: " + std::string(discid_get_error_msg(d.get()));
    return discid_get_freedb_id(d.get());
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    for (;;) {
        const size_t end = text.find("\r\n", pos);
        lines.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos)
            return lines;
        pos = end + 2;
    }
}

// Our test's own reading of the quoted-printable record: "=XX" back to the byte.
std::string unquote(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '=' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

CddbAlbum submittable()
{
    CddbAlbum a = album({150, 20000, 41000}, 60000);
    a.title = "Night Songs";
    a.artist = "The Examples";
    a.genre = "Rock";
    a.tracks[0].title = "One";
    a.tracks[1].title = "Two";
    a.tracks[2].title = "Three";
    return a;
}

} // namespace

TEST(DiscId, TheDesignedExampleAndTheSumsEdges)
{
    EXPECT_EQ(idOf(album({150}, 15150)), 0x0200C801u);

    // Start seconds 0 add nothing to the digit sum.
    EXPECT_EQ(idOf(album({0, 74}, 15000)) >> 24, 0u);

    // Start seconds whose digit sums add up to exactly 255 leave the top byte 0.
    std::vector<int> offsets;
    int sum = 0;
    for (int s = 9; sum + 9 <= 252; s += 9) {
        int digits = 0;
        for (int v = s; v; v /= 10)
            digits += v % 10;
        if (digits != 9)
            continue;
        offsets.push_back(s * 75);
        sum += 9;
    }
    offsets.push_back(1200 * 75); // digit sum 3
    sum += 3;
    ASSERT_EQ(sum, 255);
    const int leadOut = 1300 * 75;
    const std::uint32_t id = idOf(album(offsets, leadOut));
    EXPECT_EQ(id >> 24, 0u);
    EXPECT_EQ((id >> 8) & 0xFFFF, 1300u - 9u);
    EXPECT_EQ(id & 0xFF, offsets.size());
    EXPECT_EQ(DiscIdText(id), libdiscidFreedbId(offsets, leadOut));
}

TEST(DiscId, AgreesWithLibdiscidOverManyTablesOfContents)
{
    std::mt19937 random(20240611);
    int compared = 0;
    for (int tracks : {1, 2, 3, 5, 9, 10, 12, 15, 20, 33, 50, 75, 98, 99}) {
        for (int round = 0; round < 8; ++round) {
            // Short singles to discs near 80 minutes; a hidden first pre-gap now and then.
            const int maxTrackFrames = round % 2 ? 75 * 60 * 12 : 75 * 40;
            const int totalFrames = 75 * 79 * 60;
            std::vector<int> offsets;
            int frame = round == 3 ? 150 + 75 * 33 : 150;
            for (int t = 0; t < tracks; ++t) {
                offsets.push_back(frame);
                const int room = (totalFrames - frame) / (tracks - t);
                std::uniform_int_distribution<int> length(
                    76, std::max(77, std::min(room, maxTrackFrames)));
                frame += length(random);
            }
            const int leadOut = frame;
            const std::string expected = libdiscidFreedbId(offsets, leadOut);
            ASSERT_EQ(DiscIdText(idOf(album(offsets, leadOut))), expected)
                << tracks << " tracks, lead-out " << leadOut;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 14 * 8);
}

TEST(DiscId, QueryRecordAndCommand)
{
    const CddbAlbum a = album({150, 20000, 41000}, 60000);
    CddbDiscInfo info;
    ComputeDiscId(a, info);
    EXPECT_EQ(info.trackCount, 3);
    EXPECT_EQ(info.discLength, 800); // 60000 / 75 = 800 s
    EXPECT_EQ(CddbQueryCommand(info),
              "cddb query " + DiscIdText(info.discId) + " 3 150 20000 41000 800");

    // A table longer than a CD can hold does not run past the record.
    std::vector<int> many;
    for (int i = 0; i < 140; ++i)
        many.push_back(150 + i * 1000);
    ComputeDiscId(album(many, 150 + 140 * 1000), info);
    EXPECT_EQ(info.trackCount, 99);
}

TEST(XmcdWriter, ValuesAreEscapedByteByByte)
{
    EXPECT_EQ(EncodeXmcdValue("a=b"), "a=3Db");
    EXPECT_EQ(EncodeXmcdValue("caf\xe9"), "caf=E9");
    EXPECT_EQ(EncodeXmcdValue("one\rtwo"), "one\\ntwo");
    EXPECT_EQ(EncodeXmcdValue("tab\there\nlf\x7f"), "tab\there\nlf=7F");
    EXPECT_EQ(EncodeXmcdValue(""), "");
}

TEST(XmcdWriter, FieldsFoldAfterSeventyColumnsAndNeverSplitAnEscape)
{
    std::string record;
    AppendXmcdField(record, "EXTD=3D", "");
    EXPECT_EQ(record, "EXTD=3D\r\n");

    record.clear();
    AppendXmcdField(record, "TTITLE0=3D", std::string(100, 'x'));
    auto lines = splitLines(record);
    ASSERT_EQ(lines.size(), 3u); // two lines and the empty rest after the last CR LF
    EXPECT_EQ(lines[0], "TTITLE0=3D" + std::string(61, 'x'));
    EXPECT_EQ(lines[1], "TTITLE0=3D" + std::string(39, 'x'));
    EXPECT_EQ(lines[2], "");

    // An escape that starts at column 70 keeps its digits on that line.
    record.clear();
    AppendXmcdField(record, "TTITLE0=3D", std::string(59, 'a') + "=E9" + "bc");
    lines = splitLines(record);
    EXPECT_EQ(lines[0], "TTITLE0=3D" + std::string(59, 'a') + "=E9");
    EXPECT_EQ(lines[1], "TTITLE0=3Dbc");

    // Whatever the value, no line passes 73 characters, every line repeats the key, and the
    // pieces join back into the value.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string raw;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i)
            raw += static_cast<char>(random() % 3 == 0 ? 0xE9 : 'a' + random() % 26);
        const std::string value = EncodeXmcdValue(raw);
        record.clear();
        AppendXmcdField(record, "EXTT12=3D", value);
        ASSERT_EQ(record.substr(record.size() - 2), "\r\n");
        std::string joined;
        for (const std::string& line : splitLines(record.substr(0, record.size() - 2))) {
            ASSERT_LE(line.size(), 73u);
            ASSERT_EQ(line.rfind("EXTT12=3D", 0), 0u);
            const std::string piece = line.substr(9);
            const size_t eq = piece.rfind('=');
            ASSERT_TRUE(eq == std::string::npos || eq + 3 <= piece.size()) << line;
            joined += piece;
        }
        if (!value.empty()) {
            ASSERT_EQ(joined, value);
        }
    }
}

TEST(XmcdWriter, TheSubmissionRecordHasTheDesignedLinesInOrder)
{
    CddbAlbum a = submittable();
    a.revision = 4;
    a.tracks[1].title = "Two = Deux";
    a.tracks[2].extendedInfo = "first line\rsecond line";
    a.extendedInfo = "";
    const std::string record = BuildSubmissionRecord(a, kCddbClientName, false);
    const std::string id = DiscIdText(idOf(a));
    const auto lines = splitLines(record);
    const std::vector<std::string> expected = {
        "# xmcd CD database file",
        lines[1], // our copyright comment
        "#",
        "# Track frame offsets:",
        "#\t150",
        "#\t20000",
        "#\t41000",
        "#",
        "# Disc length: 800 seconds",
        "#",
        "# Revision: 5",
        "# Submitted via: Kolvo 4.0",
        "#",
        "DISCID=3D" + id,
        "DTITLE=3DThe Examples / Night Songs",
        "TTITLE0=3DOne",
        "TTITLE1=3DTwo =3D Deux",
        "TTITLE2=3DThree",
        "EXTD=3D",
        "EXTT0=3D",
        "EXTT1=3D",
        "EXTT2=3Dfirst line\\nsecond line",
        "PLAYORDER=3D",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(lines[1].rfind("#", 0), 0u);
    EXPECT_LE(lines[1].size(), 73u);

    // Without an artist the disc title is the album title alone; the client name is the one
    // given.
    a.artist.clear();
    const std::string korean = BuildSubmissionRecord(a, kCddbKoreanClientName, false);
    EXPECT_NE(korean.find("\r\nDTITLE=3DNight Songs\r\n"), std::string::npos);
    EXPECT_NE(korean.find("# Submitted via: NotifyCDPlayer(CDDB) 1.51.3\r\n"), std::string::npos);

    // A revision read as the largest number stays there instead of wrapping around.
    a.revision = INT32_MAX;
    EXPECT_NE(
        BuildSubmissionRecord(a, kCddbClientName, false).find("\r\n# Revision: 2147483647\r\n"),
        std::string::npos);
}

TEST(XmcdWriter, TextTravelsInTheRecordEncoding)
{
    CddbAlbum a = submittable();
    a.tracks[0].title = "Caf\xc3\xa9";              // é: one byte in ISO-8859-1
    a.tracks[1].title = "\xed\x95\x9c\xea\xb8\x80"; // 한글
    const std::string latin = BuildSubmissionRecord(a, kCddbClientName, false);
    EXPECT_NE(latin.find("TTITLE0=3DCaf=E9\r\n"), std::string::npos);
    EXPECT_NE(latin.find("TTITLE1=3D??\r\n"), std::string::npos) << "no place in ISO-8859-1";
    const std::string korean = BuildSubmissionRecord(a, kCddbClientName, true);
    EXPECT_NE(korean.find("TTITLE1=3D=C7=D1=B1=DB\r\n"), std::string::npos);
}

TEST(XmcdReader, DiscTitleContinuationAndTheSlash)
{
    const struct
    {
        std::vector<std::string> lines;
        const char* artist;
        const char* title;
    } cases[] = {
        {{"DTITLE=Artist / Title"}, "Artist", "Title"},
        {{"DTITLE=Collection"}, "Collection", "Collection"},
        {{"DTITLE=Long Ar", "DTITLE=tist / X"}, "Long Artist", "X"},
        {{"DTITLE=Long ", "DTITLE=Artist / X"}, "LongArtist", "X"},
        {{"DTITLE=  A/B / C  "}, "A", "B / C"},
    };
    for (const auto& c : cases) {
        const XmcdRecord r = ParseXmcdRecord(c.lines, "rock");
        EXPECT_EQ(r.artist, c.artist) << c.lines.back();
        EXPECT_EQ(r.title, c.title) << c.lines.back();
        EXPECT_EQ(r.category, "rock");
    }
    EXPECT_EQ(ParseXmcdRecord({"EXTD=  first ", "EXTD=second\\nthird"}, "").extendedInfo,
              "firstsecond\rthird");
}

TEST(XmcdReader, TracksAreTakenInStrictOrder)
{
    XmcdRecord r = ParseXmcdRecord({"TTITLE0=Zero ", "TTITLE0=again", "TTITLE1=One\\nmore",
                                    "TTITLE3=Three", "TTITLE2=Two", "EXTT0=x", "EXTT1= y ",
                                    "PLAYORDER=1,2", "NOTAKEY", "TTITLE=odd"},
                                   "misc");
    EXPECT_EQ(r.trackTitles, (std::vector<std::string>{"Zero ", "One\rmore", "Two"}));
    EXPECT_EQ(r.trackExtendedInfo, (std::vector<std::string>{"x", " y "}));

    // A missing number stops the collection of all later tracks.
    r = ParseXmcdRecord({"TTITLE0=a", "TTITLE2=c", "TTITLE3=d"}, "misc");
    EXPECT_EQ(r.trackTitles, (std::vector<std::string>{"a"}));
}

TEST(XmcdReader, RevisionFromItsCommentLine)
{
    EXPECT_EQ(ParseXmcdRecord({"# Revision: 7"}, "").revision, 7);
    EXPECT_EQ(ParseXmcdRecord({"# revision:   12  ", "# Submitted via: x"}, "").revision, 12);
    EXPECT_EQ(ParseXmcdRecord({"# Revision: 3x"}, "").revision, 3);
    EXPECT_EQ(ParseXmcdRecord({"# Revision: none"}, "").revision, 0);
    EXPECT_EQ(ParseXmcdRecord({"#Revision: 9"}, "").revision, 0);
    EXPECT_EQ(ParseXmcdRecord({"# Revision: 99999999999999"}, "").revision, 2147483647);
    EXPECT_EQ(ParseXmcdRecord({}, "").revision, 0);
}

TEST(XmcdReader, WhatTheWriterWritesReadsBack)
{
    CddbAlbum a = submittable();
    a.title = std::string(150, 'L') + " = end";
    a.tracks[0].title = std::string(150, 'T');
    a.tracks[1].extendedInfo = "line one\rline two";
    a.extendedInfo = "about\rthe disc";
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(BuildSubmissionRecord(a, kCddbClientName, false)))
        lines.push_back(unquote(line));
    const XmcdRecord r = ParseXmcdRecord(lines, "rock");
    EXPECT_EQ(r.revision, 1);
    EXPECT_EQ(r.artist, a.artist);
    EXPECT_EQ(r.title, a.title);
    EXPECT_EQ(r.extendedInfo, a.extendedInfo);
    ASSERT_EQ(r.trackTitles.size(), 3u);
    // Only the first line of a track counts: a folded track title comes back cut.
    EXPECT_EQ(r.trackTitles[0], std::string(61, 'T'));
    EXPECT_EQ(r.trackTitles[2], "Three");
    EXPECT_EQ(r.trackExtendedInfo[1], a.tracks[1].extendedInfo);
}

TEST(XmcdReader, StoringFillsEveryTrackOfTheAlbum)
{
    CddbAlbum a = submittable();
    a.tracks[2].extendedInfo = "old";
    XmcdRecord r;
    r.title = "T";
    r.artist = "A";
    r.extendedInfo = "E";
    r.category = "jazz";
    r.revision = 3;
    r.trackTitles = {"first", "second"};
    r.trackExtendedInfo = {"x"};
    StoreXmcdRecord(a, r);
    EXPECT_EQ(a.title, "T");
    EXPECT_EQ(a.artist, "A");
    EXPECT_EQ(a.extendedInfo, "E");
    EXPECT_EQ(a.genre, "jazz");
    EXPECT_EQ(a.revision, 3);
    EXPECT_EQ(a.tracks[0].title, "first");
    EXPECT_EQ(a.tracks[1].title, "second");
    EXPECT_EQ(a.tracks[2].title, "");
    EXPECT_EQ(a.tracks[0].extendedInfo, "x");
    EXPECT_EQ(a.tracks[2].extendedInfo, "");
    EXPECT_EQ(a.tracks[1].startFrame, 20000) << "timing is not the record's business";
}

TEST(XmcdReader, ReceivedBytesBecomeUtf8)
{
    XmcdRecord raw;
    raw.title = "Caf\xe9";
    raw.artist = "Caf\xc3\xa9";
    raw.trackTitles = {"\x93quoted\x94", "\x81"};
    const XmcdRecord latin = DecodeXmcdRecord(raw, false);
    EXPECT_EQ(latin.title, "Caf\xc3\xa9");
    EXPECT_EQ(latin.artist, "Caf\xc3\xa9") << "valid UTF-8 stays as it is";
    EXPECT_EQ(latin.trackTitles[0], "\xe2\x80\x9cquoted\xe2\x80\x9d");
    EXPECT_EQ(latin.trackTitles[1], "\xc2\x81");

    raw.title = "\xc7\xd1\xb1\xdb";
    EXPECT_EQ(DecodeXmcdRecord(raw, true).title, "\xed\x95\x9c\xea\xb8\x80");
}

TEST(SubmissionChecks, TheFirstFailingCheckGivesItsMessage)
{
    setInterfaceLanguage("en");
    EXPECT_TRUE(CheckSubmission(submittable(), false).passed);
    using Change = std::function<void(CddbAlbum&)>;
    const std::vector<std::tuple<const char*, Change, std::string>> cases = {
        {"no genre", [](CddbAlbum& a) { a.genre.clear(); }, LoadString(1150)},
        // 0xE9 in ISO-8859-1; then a character not even there.
        {"title beyond ASCII", [](CddbAlbum& a) { a.title = "Caf\xc3\xa9"; }, LoadString(1150)},
        {"artist in Hangul", [](CddbAlbum& a) { a.artist = "\xed\x95\x9c"; }, LoadString(1150)},
        {"comma", [](CddbAlbum& a) { a.title = "A, B"; }, LoadString(1154)},
        {"slash", [](CddbAlbum& a) { a.artist = "AC/DC"; }, LoadString(1154)},
        {"escape in the artist", [](CddbAlbum& a) { a.artist = "New\\nLine"; }, LoadString(1155)},
        {"escape in the text", [](CddbAlbum& a) { a.extendedInfo = "a\\nb"; }, LoadString(1155)},
        {"no lead-out", [](CddbAlbum& a) { a.discEndFrame = 0; }, LoadString(1151)},
        {"no tracks", [](CddbAlbum& a) { a.tracks.clear(); }, LoadString(1151)},
        {"track title beyond ASCII", [](CddbAlbum& a) { a.tracks[1].title = "Na\xc3\xafve"; },
         "Track 2 :\n" + LoadString(1152)},
        {"escape in a track's text", [](CddbAlbum& a) { a.tracks[2].extendedInfo = "x\\ny"; },
         LoadString(1155)},
        {"no track titles",
         [](CddbAlbum& a) {
             for (CddbTrack& t : a.tracks)
                 t.title.clear();
         },
         LoadString(1152)},
        {"a track at frame 0", [](CddbAlbum& a) { a.tracks[2].startFrame = 0; },
         "Track 3 :\n" + LoadString(1153)},
        // The order: a bad title is reported before bad timing.
        {"bad title and timing",
         [](CddbAlbum& a) {
             a.title = "A/B";
             a.discLengthMs = 0;
         },
         LoadString(1154)},
    };
    for (const auto& [what, change, message] : cases) {
        CddbAlbum a = submittable();
        change(a);
        EXPECT_EQ(CheckSubmission(a, false).message, message) << what;
    }
    // High bytes in an extended text are not judged.
    CddbAlbum a = submittable();
    a.tracks[0].extendedInfo = "caf\xc3\xa9";
    EXPECT_TRUE(CheckSubmission(a, false).passed);
}

TEST(SubmissionChecks, KoreanModeAcceptsHangulAndFlagsIt)
{
    bool high = false;
    EXPECT_TRUE(IsSubmittableText("", false, high));
    EXPECT_TRUE(IsSubmittableText("plain", false, high));
    EXPECT_FALSE(IsSubmittableText("caf\xe9", false, high));
    EXPECT_FALSE(high);
    EXPECT_FALSE(IsSubmittableText("\x8c\x63", true, high));
    EXPECT_FALSE(high);
    EXPECT_TRUE(IsSubmittableText("\xc7\xd1", true, high));
    EXPECT_TRUE(high);

    CddbAlbum a = submittable();
    a.title = "\xed\x95\x9c\xea\xb8\x80"; // 한글
    SubmissionCheck check = CheckSubmission(a, true);
    EXPECT_TRUE(check.passed);
    EXPECT_TRUE(check.highBytes);
    EXPECT_STREQ(SubmissionClientName(check), kCddbKoreanClientName);
    EXPECT_FALSE(CheckSubmission(a, false).passed);
    EXPECT_STREQ(SubmissionClientName(CheckSubmission(submittable(), true)), kCddbClientName);

    // A syllable of the extended Korean range starts with a byte below 0xA0.
    a.title = "\xeb\x98\xa0"; // 똠
    const auto bytes = ToRecordEncoding(a.title, true);
    ASSERT_TRUE(bytes.has_value());
    ASSERT_LT(static_cast<unsigned char>((*bytes)[0]), 0xA0);
    EXPECT_EQ(CheckSubmission(a, true).message, LoadString(1150));
}
