// kolvo-cli cddb: the CD database client without windows. The same sessions as the dialogs
// run under a plain event loop; a failure prints the message the dialog would show.
#include "albums/album.h"
#include "cddb/cdalbum.h"
#include "cddb/cddbconnection.h"
#include "cddb/cddbprotocol.h"
#include "cddb/serverlist.h"
#include "cddb/sessions.h"
#include "cddb/xmcd.h"
#include "cli/commands.h"
#include "platform/profile.h"
#include "platform/strings.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QUrl>

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace {

// The connection failures a lookup ends with.
constexpr UINT kConnectionFailed = 2037;
constexpr UINT kServerFailed = 2039;
constexpr UINT kDisconnected = 2040;
constexpr UINT kTimedOut = 2041;
// The port a server named without one is asked on, as the sessions do.
constexpr int kCddbPort = 888;

// The album with every letter beyond ASCII that the record's encoding holds put as "x": what
// is left wrong with it once such letters are out of the question.
CddbAlbum asciiStandIn(CddbAlbum album, bool korean)
{
    const auto standIn = [korean](std::string& text) {
        const auto bytes = ToRecordEncoding(text, korean);
        if (!bytes)
            return;
        text = *bytes;
        for (char& c : text)
            if (static_cast<unsigned char>(c) >= 0x80)
                c = 'x';
    };
    standIn(album.title);
    standIn(album.artist);
    for (CddbTrack& track : album.tracks)
        standIn(track.title);
    return album;
}

constexpr const char* kUsage =
    "cddb discid (--offsets F1,F2,... --leadout F | --album KEY)\n"
    "       cddb query [--server S] [--first | --match N] (--offsets F1,F2,... --leadout F "
    "[--save KEY] | --album KEY)\n"
    "       cddb read --album KEY [--server S] [--first | --match N]\n"
    "       cddb submit --album KEY --mail-server HOST[:PORT] --from ADDRESS [--to ADDRESS]\n"
    "       cddb record --album KEY\n"
    "       (S: HOST, HOST:PORT or an http:// address; the servers chosen in Kolvo when absent.\n"
    "        Several close matches are listed; --first or --match N takes one of them)";

struct Options
{
    std::map<std::string, std::string> values;
    bool first = false;
    std::string error;

    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::string get(const std::string& name) const
    {
        const auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

Options parseOptions(const CliArgs& args, size_t from, const std::set<std::string>& allowed)
{
    Options o;
    for (size_t i = from; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--first" && allowed.count(a)) {
            o.first = true;
            continue;
        }
        if (!allowed.count(a) || a == "--first") {
            o.error = "unknown cddb option " + a;
            return o;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            o.error = a + " needs a value";
            return o;
        }
        o.values[a] = args[++i];
    }
    return o;
}

std::optional<std::int32_t> frameNumber(const std::string& text)
{
    // Seven digits reach far past any disc and keep the milliseconds inside 32 bits.
    if (text.empty() || text.size() > 7)
        return std::nullopt;
    std::int32_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// The disc from --offsets/--leadout; "" or the usage error.
std::string discFromToc(const Options& o, CddbAlbum& album)
{
    if (!o.has("--offsets") || !o.has("--leadout"))
        return "give --offsets and --leadout together, or --album";
    std::vector<std::int32_t> offsets;
    const std::string list = o.get("--offsets");
    size_t pos = 0;
    for (;;) {
        const size_t comma = list.find(',', pos);
        const auto frame = frameNumber(list.substr(pos, comma - pos));
        if (!frame)
            return "--offsets takes frame numbers separated by commas, got " + list;
        if (!offsets.empty() && *frame <= offsets.back())
            return "track offsets must grow from track to track";
        offsets.push_back(*frame);
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    if (offsets.size() > static_cast<size_t>(CddbDiscInfo::kMaxTracks))
        return "a CD holds at most 99 tracks";
    const auto leadOut = frameNumber(o.get("--leadout"));
    if (!leadOut || *leadOut <= offsets.back())
        return "--leadout must be a frame number after the last track's offset";
    album = CddbAlbumFromToc(offsets, *leadOut);
    return {};
}

// The CD album of --album KEY, which must have a table of contents; kCliOk, or the exit status
// after saying what is wrong.
int loadAlbum(const Options& o, Album& album)
{
    const std::string key = o.get("--album");
    if (!album.LoadForReading(key))
        return cliFail("no CD album " + key);
    if (album.songCount() == 0 || album.discEndFrame() == 0)
        return cliFail("CD album " + key + " has no table of contents");
    return kCliOk;
}

// Runs a server session until it finishes: whether it succeeded, and the id of the message it
// ended with.
template <typename Session>
std::pair<bool, UINT> runSession(Session& session)
{
    QEventLoop loop;
    bool ok = false;
    UINT message = 0;
    QObject::connect(&session, &Session::finished, &loop, [&](bool done, UINT id) {
        ok = done;
        message = id;
        loop.quit();
    });
    session.begin();
    loop.exec();
    return {ok, message};
}

std::string oneLine(std::string text)
{
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

std::string shown(const std::string& text)
{
    std::string out;
    for (const char c : text)
        out += c == '\r' ? std::string("\\n") : std::string(1, c);
    return out;
}

void printAlbum(const CddbAlbum& a)
{
    std::printf("genre: %s\nrevision: %d\nartist: %s\ntitle: %s\nextended: %s\n", a.genre.c_str(),
                a.revision, shown(a.artist).c_str(), shown(a.title).c_str(),
                shown(a.extendedInfo).c_str());
    for (size_t i = 0; i < a.tracks.size(); ++i) {
        std::printf("track %zu: %s\n", i + 1, shown(a.tracks[i].title).c_str());
        if (!a.tracks[i].extendedInfo.empty())
            std::printf("track %zu extended: %s\n", i + 1, shown(a.tracks[i].extendedInfo).c_str());
    }
}

// What the record says beside what an album keeps: the year and its own genre name.
void printYearAndGenre(const XmcdRecord& record)
{
    std::printf("year: %s\ngenre name: %s\n", record.year.c_str(), shown(record.genre).c_str());
}

// "server HOST, port PORT: REASON" for a lookup that could not talk to its server. The session
// keeps no socket once it gave up, so the reason is what one more try is told.
std::string serverAndReason(const std::string& server)
{
    const CddbServerAddress address = ParseCddbServer(server, kCddbPort);
    std::string host = address.host;
    int port = address.port;
    if (address.http) {
        const QUrl url(QString::fromStdString(address.url));
        host = url.host().toStdString();
        port = url.port(80);
    }
    std::string text = "server " + host + ", port " + std::to_string(port);
    QTcpSocket probe;
    probe.connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    if (!probe.waitForConnected(5000))
        text += ": " + probe.errorString().toStdString();
    return text;
}

// Runs a lookup without windows. 1 with the record (UTF-8); 0 with the message printed, or
// with the matches printed when several came and --first was not given.
int lookUp(const CddbAlbum& album, const Options& o, XmcdRecord& record, bool& listedMatches)
{
    listedMatches = false;
    if (!CddbSocketsAvailable()) {
        cliFail(LoadString(2036));
        return 0;
    }
    const std::string server = o.has("--server") ? o.get("--server") : CurrentCddbServer();
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    CddbQuerySession session(server, info);
    session.setEmail(CddbUserEmail());
    const bool first = o.first;
    const std::optional<std::int32_t> match =
        o.has("--match") ? frameNumber(o.get("--match")) : std::nullopt;
    session.setChooser([first, match, &listedMatches](const std::vector<std::string>& lines) {
        if (first)
            return 0;
        if (match && static_cast<size_t>(*match) <= lines.size())
            return *match - 1;
        if (match)
            std::fprintf(stderr, "kolvo-cli: there is no match %d; the matches are:\n", *match);
        for (const std::string& line : lines) {
            const CddbMatch m = SplitMatchLine(line);
            std::printf("%s %s %s\n", m.category.c_str(), m.discId.c_str(),
                        FromRecordEncoding(m.text, CddbKoreanMode()).c_str());
        }
        listedMatches = true;
        return -1;
    });
    const auto [ok, message] = runSession(session);
    if (!ok) {
        if (message != 0) {
            // Which server it was matters when the cause is the connection.
            std::string text = oneLine(LoadString(message));
            if (message == kConnectionFailed || message == kServerFailed ||
                message == kDisconnected || message == kTimedOut) {
                text += " (" + serverAndReason(server) + ")";
            }
            cliFail(text);
        }
        return 0;
    }
    record = DecodeXmcdRecord(session.record(), CddbKoreanMode());
    return 1;
}

// The disc of --album KEY, or of a table of contents given on the command line; kCliOk, or
// the exit status after saying what is wrong.
int discFromOptions(const Options& o, CddbAlbum& album)
{
    if (o.has("--album")) {
        Album cd(AlbumKindCd);
        if (const int status = loadAlbum(o, cd); status != kCliOk)
            return status;
        album = CddbAlbumOf(cd);
        return kCliOk;
    }
    const std::string error = discFromToc(o, album);
    return error.empty() ? kCliOk : cliUsage(error);
}

int runDiscId(const Options& o)
{
    CddbAlbum album;
    if (const int status = discFromOptions(o, album); status != kCliOk)
        return status;
    CddbDiscInfo info;
    ComputeDiscId(album, info);
    std::printf("%s\n%s\n", DiscIdText(info.discId).c_str(), CddbQueryCommand(info).c_str());
    return kCliOk;
}

// A new CD album KEY holding the disc of a table of contents and what was read about it.
int saveNewAlbum(const std::string& key, const CddbAlbum& disc, const XmcdRecord& record)
{
    Album cd(AlbumKindCd);
    std::string why;
    if (!Album::IsValidKey(key, &why))
        return cliFail("cannot use " + key + " as an album key: " + why);
    if (cd.Exists(key))
        return cliFail("CD album " + key + " exists already; cddb read --album " + key +
                       " reads into it");
    if (!cd.Open(key, 0))
        return cliFail("cannot make CD album " + key + ": " + cd.lastError());
    for (const CddbTrack& track : disc.tracks)
        cd.AddSong("", "", track.lengthMs, track.startFrame);
    cd.setDiscEndFrame(disc.discEndFrame);
    cd.setDiscLengthMs(disc.discLengthMs);
    StoreXmcdRecord(cd, record);
    if (!cd.Save())
        return cliFail("cannot save CD album " + key + ": " + cd.lastError());
    return kCliOk;
}

int runQuery(const Options& o)
{
    if (o.has("--save") && o.has("--album"))
        return cliUsage("--save makes a new album from --offsets and --leadout; for an album "
                        "there is cddb read --album KEY");
    CddbAlbum album;
    if (const int status = discFromOptions(o, album); status != kCliOk)
        return status;
    XmcdRecord record;
    bool listed = false;
    if (!lookUp(album, o, record, listed)) {
        if (listed && o.has("--save"))
            return cliFail("several discs match; nothing saved (--first or --match N takes one)");
        return listed ? kCliOk : kCliFailed;
    }
    if (o.has("--save"))
        if (const int status = saveNewAlbum(o.get("--save"), album, record); status != kCliOk)
            return status;
    StoreXmcdRecord(album, record);
    printAlbum(album);
    printYearAndGenre(record);
    return kCliOk;
}

int runRead(const Options& o)
{
    if (!o.has("--album"))
        return cliUsage("cddb read needs --album KEY");
    Album cd(AlbumKindCd);
    if (const int status = loadAlbum(o, cd); status != kCliOk)
        return status;
    XmcdRecord record;
    bool listed = false;
    if (!lookUp(CddbAlbumOf(cd), o, record, listed)) {
        if (listed)
            return cliFail("several discs match; nothing stored (--first or --match N reads one)");
        return kCliFailed;
    }
    StoreXmcdRecord(cd, record);
    if (!cd.Save())
        return cliFail("cannot save CD album " + cd.key() + ": " + cd.lastError());
    printAlbum(CddbAlbumOf(cd));
    printYearAndGenre(record);
    return kCliOk;
}

int runSubmit(const Options& o)
{
    if (!o.has("--album") || !o.has("--mail-server") || !o.has("--from"))
        return cliUsage("cddb submit needs --album, --mail-server and --from");
    Album cd(AlbumKindCd);
    if (const int status = loadAlbum(o, cd); status != kCliOk)
        return status;
    const bool korean = CddbKoreanMode();
    const SubmissionCheck check = CheckSubmission(cd, korean);
    if (!check.passed)
        return cliFail(oneLine(check.message));
    if (!CddbSocketsAvailable())
        return cliFail(LoadString(2036));

    CddbDiscInfo info;
    ComputeDiscId(cd, info);
    const std::string to = o.has("--to") ? o.get("--to") : kCddbSubmitMailbox;
    const std::string mail =
        BuildSubmissionMail(o.get("--from"), cd.genre(), info.discId, to,
                            BuildSubmissionRecord(cd, SubmissionClientName(check), korean));
    SmtpSubmitSession session(o.get("--mail-server"), o.get("--from"), to, mail);
    const auto [ok, message] = runSession(session);
    if (!ok)
        return cliFail(oneLine(LoadString(message)) + " " + oneLine(LoadString(1073)));
    cd.setRevision(NextRevision(cd.revision()));
    if (!cd.Save())
        return cliFail("sent, but cannot save CD album " + cd.key() + ": " + cd.lastError());
    std::printf("submitted cddb %s %s, revision %d\n", cd.genre().c_str(),
                DiscIdText(info.discId).c_str(), cd.revision());
    return kCliOk;
}

int runRecord(const Options& o)
{
    if (!o.has("--album"))
        return cliUsage("cddb record needs --album KEY");
    Album cd(AlbumKindCd);
    if (const int status = loadAlbum(o, cd); status != kCliOk)
        return status;
    const bool korean = CddbKoreanMode();
    const SubmissionCheck check = CheckSubmission(cd, korean);
    if (!check.passed) {
        // The submission check lets no letter beyond ASCII through, though its message speaks
        // of ISO-8859-1: "Café" is written into the record as it is, and only submitting it
        // is refused.
        const SubmissionCheck rest = CheckSubmission(asciiStandIn(CddbAlbumOf(cd), korean), korean);
        if (rest.passed)
            std::fprintf(stderr, "kolvo-cli: note: the record holds letters beyond ASCII, which "
                                 "cddb submit does not send\n");
        else
            std::fprintf(stderr, "kolvo-cli: note: %s\n", oneLine(rest.message).c_str());
    }
    const std::string record = BuildSubmissionRecord(cd, SubmissionClientName(check), korean);
    std::fwrite(record.data(), 1, record.size(), stdout);
    std::printf("\r\n");
    return kCliOk;
}

bool badMatch(const Options& o)
{
    const auto n = o.has("--match") ? frameNumber(o.get("--match")) : std::optional<int>(1);
    return !n || *n < 1;
}

int matchUsage()
{
    return cliUsage("--match takes the number of a match, from 1");
}

} // namespace

int runCddb(const CliArgs& args)
{
    Profile::SetRegistryKey(LoadString(1016));
    if (args.empty())
        return cliUsage(std::string("usage: ") + kUsage);
    const std::string& sub = args[0];
    const std::set<std::string> toc = {"--offsets", "--leadout", "--album"};
    if (sub == "discid") {
        const Options o = parseOptions(args, 1, toc);
        return o.error.empty() ? runDiscId(o) : cliUsage(o.error);
    }
    if (sub == "query") {
        const Options o = parseOptions(
            args, 1,
            {"--offsets", "--leadout", "--album", "--server", "--first", "--match", "--save"});
        return !o.error.empty() ? cliUsage(o.error) : badMatch(o) ? matchUsage() : runQuery(o);
    }
    if (sub == "read") {
        const Options o = parseOptions(args, 1, {"--album", "--server", "--first", "--match"});
        return !o.error.empty() ? cliUsage(o.error) : badMatch(o) ? matchUsage() : runRead(o);
    }
    if (sub == "submit") {
        const Options o = parseOptions(args, 1, {"--album", "--mail-server", "--from", "--to"});
        return o.error.empty() ? runSubmit(o) : cliUsage(o.error);
    }
    if (sub == "record") {
        const Options o = parseOptions(args, 1, {"--album"});
        return o.error.empty() ? runRecord(o) : cliUsage(o.error);
    }
    return cliUsage("unknown cddb command " + sub);
}
