// kolvo-cli cd copy DRIVE TRACKS OUTDIR [--type wav|mp3|ra] [--bitrate K]: the digital copy of
// CD tracks without its window. Names come from the disc's CD album as the copy window makes
// them (with the recording settings' choice of parts), WAVE files are written in the recording
// format, MP3s with the MPEG profile or the bit rate given, RealAudio 1.0 files (8 kHz mono)
// titled by track. On a terminal a progress line follows the track being copied; each copied
// file is printed on stdout.

#include "record/cdcopy.h"
#include "albums/album.h"
#include "cli/commands.h"
#include "cli/recordoptions.h"
#include "engines/cdreader.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/strings.h"
#include "record/kcddaengine.h"
#include "record/kmpencengine.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "1,3,5-7" or "all" over the disc's audio tracks; empty when it does not read.
std::vector<std::uint32_t> parseTracks(const std::string& text, const engines::CdToc& toc)
{
    std::vector<std::uint32_t> tracks;
    if (text == "all") {
        for (const engines::CdTrack& t : toc.tracks) {
            if (t.audio)
                tracks.push_back(static_cast<std::uint32_t>(t.number));
        }
        return tracks;
    }
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t comma = text.find(',', pos);
        const std::string item =
            text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        int from = 0, to = 0;
        char dash = 0;
        char rest = 0;
        const int n = std::sscanf(item.c_str(), "%d%c%d%c", &from, &dash, &to, &rest);
        if (n == 1)
            to = from;
        else if (n != 3 || dash != '-')
            return {};
        if (from < 1 || to < from || to > 99)
            return {};
        for (int t = from; t <= to; ++t) {
            const engines::CdTrack* track = toc.track(t);
            if (!track || !track->audio)
                return {};
            tracks.push_back(static_cast<std::uint32_t>(t));
        }
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return tracks;
}

class Progress : public record::CdCopier::Listener
{
public:
    void rowIcon(int, record::CdCopier::RowIcon) override {}
    void rowFile(int row, const std::string& path) override { m_files[row] = path; }
    void rowStatus(int row, const std::string& text) override
    {
        if (text == LoadString(2098)) {
            m_status.clear();
            std::printf("%s\n", m_files[row].c_str());
            std::fflush(stdout);
            return;
        }
        m_status.show("copying " + m_files[row].substr(m_files[row].find_last_of('/') + 1) + "  " +
                      text);
    }
    void bars(int, int) override {}
    void message(const std::string& text) override
    {
        m_status.clear();
        std::string line = text;
        std::replace(line.begin(), line.end(), '\n', ' ');
        std::fprintf(stderr, "kolvo-cli: %s\n", line.c_str());
    }
    void ended(bool allDone) override
    {
        m_status.clear();
        m_ended = true;
        m_allDone = allDone;
    }
    bool isEnded() const { return m_ended; }
    bool allDone() const { return m_allDone; }

private:
    StatusLine m_status;
    bool m_ended = false;
    bool m_allDone = false;
    std::map<int, std::string> m_files;
};

} // namespace

int runCdCopy(const CliArgs& args)
{
    std::vector<std::string> words;
    RecordOptions options;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (isRecordOption(a)) {
            if (i + 1 >= args.size())
                return cliUsage(a + " needs a value");
            if (const int status = readRecordOption(a, args[++i], options,
                                                    "--bitrate is one of 32, 40, 48, 56, 64, 80, "
                                                    "96, 112, 128, 160, 192, 224, 256, 320");
                status != kCliOk)
                return status;
        } else if (a.rfind("--", 0) == 0) {
            return cliUsage("unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    if (words.size() != 3)
        return cliUsage("cd copy takes DRIVE TRACKS OUTDIR");
    const std::string& drive = words[0];
    const std::string& outDir = words[2];
    struct stat st
    {};
    if (::stat(outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return cliFail(outDir + " is not a folder");
    if (::access(outDir.c_str(), W_OK) != 0)
        return cliFail("cannot write into " + outDir);

    engines::CdReader reader;
    if (!reader.open(drive))
        return cliFail("cannot open " + drive + ": " + reader.failureText());
    const engines::CdToc toc = reader.toc();
    if (toc.empty())
        return cliFail(drive + " holds no audio disc");
    const std::vector<std::uint32_t> tracks = parseTracks(words[1], toc);
    if (tracks.empty())
        return cliUsage("TRACKS is \"all\" or audio track numbers such as 1,3,5-7");
    std::vector<std::int32_t> frames;
    for (const engines::CdTrack& t : toc.tracks)
        frames.push_back(t.frame());
    const std::string key = record::cdAlbumKey(frames, toc.leadOutFrame());
    reader.close();

    Profile::SetRegistryKey(LoadString(1016));
    AppSettings settings;
    {
        const Profile profile;
        LoadSettingsFrom(profile, settings);
    }
    record::RecordJob job;
    job.recordType = options.type;
    job.drive = drive;
    job.directory = outDir;
    job.selectedTracks = tracks;
    job.useSongInfo = settings.recordCdUseSongInfo != 0;
    job.useSongInfoAlbumTitle = settings.recordCdUseSongInfoAlbumTitle != 0;
    job.useSongInfoSinger = settings.recordCdUseSongInfoAlbumSinger != 0;
    job.useSongInfoTrackNumber = settings.recordCdUseSongInfoTrackNumber != 0;
    job.mpegProfile = settings.recordMpegProfile;
    job.mpegBitRate = options.bitRate;
    job.raProfile = settings.recordRaProfile;
    record::WAVEFORMATEX format;
    if (record::WAVEFORMATEX::fromBytes(settings.recordFormat, format))
        job.recordFormat = format;
    Album album(AlbumKindCd);
    if (album.LoadForReading(key)) {
        job.albumTitle = album.title();
        job.artist = album.artist();
        for (int n = 1; n <= album.songCount(); ++n) {
            const SongEntry* song = album.GetSong(n);
            job.trackTitles.push_back(song ? song->title : std::string());
        }
    } else if (const auto text = engines::readCdText(drive)) {
        // A disc the CD Player has not filed yet: the names its CD-Text gives the new album.
        job.albumTitle = text->albumTitle;
        job.artist = text->albumArtist;
        job.trackTitles = text->trackTitles;
    }

    Progress progress;
    record::CdCopier copier(job, progress);
    copier.start();
    while (!progress.isEnded())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return progress.allDone() ? kCliOk : kCliFailed;
}
