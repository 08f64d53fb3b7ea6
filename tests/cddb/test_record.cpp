// Disc identifiers (against libdiscid), the submission record, the record reader and the
// checks before a submission.
#include "cddbtesting.h"

#include "cddb/discid.h"
#include "cddb/xmcd.h"
#include "platform/strings.h"
#include "support/discidpeer.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <tuple>

namespace {

constexpr auto album = &CddbAlbumFromToc;

std::uint32_t idOf(const CddbAlbum& a)
{
    CddbDiscInfo info;
    ComputeDiscId(a, info);
    return info.discId;
}

// Our test's own reading of the quoted-printable record: "=XX" back to the byte.
std::string unquote(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const bool escape = s[i] == '=' && i + 2 < s.size();
        out += escape ? static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)) : s[i];
        i += escape ? 2 : 0;
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

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
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
        if (digits == 9) {
            offsets.push_back(s * 75);
            sum += 9;
        }
    }
    offsets.push_back(1200 * 75); // digit sum 3
    ASSERT_EQ(sum + 3, 255);
    const std::uint32_t id = idOf(album(offsets, 1300 * 75));
    EXPECT_EQ(id, (1300u - 9u) << 8 | offsets.size());
    EXPECT_EQ(DiscIdText(id), libdiscidFreedbId(offsets, 1300 * 75));
}

TEST(DiscId, AgreesWithLibdiscidOverManyTablesOfContents)
{
    std::mt19937 random(20240611);
    int compared = 0;
    for (int tracks : {1, 2, 3, 5, 9, 10, 12, 15, 20, 33, 50, 75, 98, 99}) {
        for (int round = 0; round < 8; ++round) {
            // Short singles to discs near 80 minutes; a hidden first pre-gap now and then.
            const int maxTrackFrames = round % 2 ? 75 * 60 * 12 : 75 * 40;
            std::vector<int> offsets;
            int frame = round == 3 ? 150 + 75 * 33 : 150;
            for (int t = 0; t < tracks; ++t) {
                offsets.push_back(frame);
                const int room = (75 * 79 * 60 - frame) / (tracks - t);
                frame += std::uniform_int_distribution<int>(
                    76, std::max(77, std::min(room, maxTrackFrames)))(random);
            }
            ASSERT_EQ(DiscIdText(idOf(album(offsets, frame))), libdiscidFreedbId(offsets, frame))
                << tracks << " tracks, lead-out " << frame;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 14 * 8);
}

TEST(DiscId, QueryRecordAndCommand)
{
    CddbDiscInfo info;
    ComputeDiscId(album({150, 20000, 41000}, 60000), info);
    // 60000 / 75 = 800 s
    EXPECT_EQ(CddbQueryCommand(info),
              "cddb query " + DiscIdText(info.discId) + " 3 150 20000 41000 800");
    EXPECT_EQ(info.trackCount, 3);

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
    const auto field = [](const std::string& key, const std::string& value) {
        std::string record;
        AppendXmcdField(record, key, value);
        return record;
    };
    EXPECT_EQ(field("EXTD=3D", ""), "EXTD=3D\r\n");
    EXPECT_EQ(field("TTITLE0=3D", std::string(100, 'x')), "TTITLE0=3D" + std::string(61, 'x') +
                                                              "\r\nTTITLE0=3D" +
                                                              std::string(39, 'x') + "\r\n");
    // An escape that starts at column 70 keeps its digits on that line.
    EXPECT_EQ(field("TTITLE0=3D", std::string(59, 'a') + "=E9bc"),
              "TTITLE0=3D" + std::string(59, 'a') + "=E9\r\nTTITLE0=3Dbc\r\n");

    // Whatever the value, no line passes 73 characters, every line repeats the key, and the
    // pieces join back into the value.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string raw;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i)
            raw += static_cast<char>(random() % 3 == 0 ? 0xE9 : 'a' + random() % 26);
        const std::string value = EncodeXmcdValue(raw);
        const std::string record = field("EXTT12=3D", value);
        ASSERT_EQ(record.substr(record.size() - 2), "\r\n");
        std::string joined;
        for (const std::string& line : crlfLines(record)) {
            ASSERT_LE(line.size(), 73u);
            ASSERT_EQ(line.rfind("EXTT12=3D", 0), 0u);
            const std::string piece = line.substr(9);
            const size_t eq = piece.rfind('=');
            ASSERT_TRUE(eq == std::string::npos || eq + 3 <= piece.size()) << line;
            joined += piece;
        }
        ASSERT_EQ(joined, value);
    }
}

TEST(XmcdWriter, TheSubmissionRecordHasTheDesignedLinesInOrder)
{
    CddbAlbum a = submittable();
    a.revision = 4;
    a.tracks[1].title = "Two = Deux";
    a.tracks[2].extendedInfo = "first line\rsecond line";
    const std::string record = BuildSubmissionRecord(a, kCddbClientName, false);
    const std::string copyright = crlfLines(record)[1]; // ours, one comment line
    EXPECT_EQ(copyright.rfind("#", 0), 0u);
    EXPECT_LE(copyright.size(), 73u);
    EXPECT_EQ(record, "# xmcd CD database file\r\n" + copyright +
                          "\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t20000\r\n#\t41000\r\n"
                          "#\r\n# Disc length: 800 seconds\r\n#\r\n# Revision: 5\r\n"
                          "# Submitted via: Kolvo 4.0\r\n#\r\nDISCID=3D" +
                          DiscIdText(idOf(a)) +
                          "\r\nDTITLE=3DThe Examples / Night Songs\r\nTTITLE0=3DOne\r\n"
                          "TTITLE1=3DTwo =3D Deux\r\nTTITLE2=3DThree\r\nEXTD=3D\r\nEXTT0=3D\r\n"
                          "EXTT1=3D\r\nEXTT2=3Dfirst line\\nsecond line\r\nPLAYORDER=3D");

    // Without an artist the disc title is the album title alone; the client name is the one
    // given.
    a.artist.clear();
    const std::string korean = BuildSubmissionRecord(a, kCddbKoreanClientName, false);
    EXPECT_TRUE(contains(korean, "\r\nDTITLE=3DNight Songs\r\n"));
    EXPECT_TRUE(contains(korean, "# Submitted via: NotifyCDPlayer(CDDB) 1.51.3\r\n"));

    // A revision read as the largest number stays there instead of wrapping around.
    a.revision = INT32_MAX;
    EXPECT_TRUE(contains(BuildSubmissionRecord(a, kCddbClientName, false),
                         "\r\n# Revision: 2147483647\r\n"));
}

TEST(XmcdWriter, TextTravelsInTheRecordEncoding)
{
    CddbAlbum a = submittable();
    a.tracks[0].title = "Caf\xc3\xa9";              // é: one byte in ISO-8859-1
    a.tracks[1].title = "\xed\x95\x9c\xea\xb8\x80"; // 한글
    const std::string latin = BuildSubmissionRecord(a, kCddbClientName, false);
    EXPECT_TRUE(contains(latin, "TTITLE0=3DCaf=E9\r\n"));
    EXPECT_TRUE(contains(latin, "TTITLE1=3D??\r\n")) << "no place in ISO-8859-1";
    EXPECT_TRUE(
        contains(BuildSubmissionRecord(a, kCddbClientName, true), "TTITLE1=3D=C7=D1=B1=DB\r\n"));
}

TEST(XmcdReader, DiscTitleContinuationAndTheSlash)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"DTITLE=Artist / Title"}, "Artist / Title"},
        {{"DTITLE=Collection"}, "Collection / Collection"},
        {{"DTITLE=Long Ar", "DTITLE=tist / X"}, "Long Artist / X"},
        {{"DTITLE=Long ", "DTITLE=Artist / X"}, "LongArtist / X"},
        {{"DTITLE=  A/B / C  "}, "A / B / C"},
    };
    for (const auto& [lines, artistTitle] : cases) {
        const XmcdRecord r = ParseXmcdRecord(lines, "rock");
        EXPECT_EQ(r.artist + " / " + r.title + " " + r.category, artistTitle + " rock");
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
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"# Revision: 7"}, 7},
        {{"# revision:   12  ", "# Submitted via: x"}, 12},
        {{"# Revision: 3x"}, 3},
        {{"# Revision: none"}, 0},
        {{"#Revision: 9"}, 0},
        {{"# Revision: 99999999999999"}, 2147483647},
        {{}, 0}};
    for (const auto& [lines, revision] : cases)
        EXPECT_EQ(ParseXmcdRecord(lines, "").revision, revision) << testing::PrintToString(lines);
}

TEST(XmcdReader, WhatTheWriterWritesReadsBackAndIsStored)
{
    CddbAlbum a = submittable();
    a.title = std::string(150, 'L') + " = end";
    a.tracks[0].title = std::string(150, 'T');
    a.tracks[1].extendedInfo = "line one\rline two";
    a.extendedInfo = "about\rthe disc";
    std::vector<std::string> lines;
    for (const std::string& line : crlfLines(BuildSubmissionRecord(a, kCddbClientName, false)))
        lines.push_back(unquote(line));
    const XmcdRecord r = ParseXmcdRecord(lines, "rock");
    CddbAlbum read = album({150, 20000, 41000}, 60000);
    read.tracks[2].extendedInfo = "old";
    StoreXmcdRecord(read, r);
    // Only the first line of a track counts: a folded track title comes back cut. Storing fills
    // every track; timing is not the record's business.
    a.tracks[0].title.resize(61);
    a.revision = 1;
    a.genre = "rock";
    EXPECT_EQ(describe(read), describe(a));

    XmcdRecord shorter = r;
    shorter.trackTitles = {"first"};
    shorter.trackExtendedInfo.clear();
    StoreXmcdRecord(read, shorter);
    EXPECT_EQ(read.tracks[1].title + "|" + read.tracks[1].extendedInfo, "|");
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
    EXPECT_EQ(latin.trackTitles,
              (std::vector<std::string>{"\xe2\x80\x9cquoted\xe2\x80\x9d", "\xc2\x81"}));

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
         [](CddbAlbum& a) { a.tracks[0].title = a.tracks[1].title = a.tracks[2].title = ""; },
         LoadString(1152)},
        {"a track at frame 0", [](CddbAlbum& a) { a.tracks[2].startFrame = 0; },
         "Track 3 :\n" + LoadString(1153)},
        // The order: a bad title is reported before bad timing.
        {"bad title and timing", [](CddbAlbum& a) { a.title = "A/B", a.discLengthMs = 0; },
         LoadString(1154)},
        // High bytes in an extended text are not judged.
        {"extended text", [](CddbAlbum& a) { a.tracks[0].extendedInfo = "caf\xc3\xa9"; }, ""},
    };
    for (const auto& [what, change, message] : cases) {
        CddbAlbum a = submittable();
        change(a);
        const SubmissionCheck check = CheckSubmission(a, false);
        EXPECT_EQ(check.message, message) << what;
        EXPECT_EQ(check.passed, message.empty()) << what;
    }
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
    EXPECT_TRUE(check.passed && check.highBytes);
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
