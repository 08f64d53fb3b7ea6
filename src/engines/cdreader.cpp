#include "engines/cdreader.h"

#include "engines/cuesheet.h"
#include "platform/log.h"
#include "platform/paths.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/cdrom.h>
#include <mutex>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engines {

// ---- the table of contents ----

const CdTrack* CdToc::track(int number) const
{
    const int index = number - firstTrack();
    if (tracks.empty() || index < 0 || index >= static_cast<int>(tracks.size()))
        return nullptr;
    return &tracks[static_cast<size_t>(index)];
}

std::int32_t CdToc::endLsn(int number) const
{
    const CdTrack* next = track(number + 1);
    return next ? next->lsn : leadOutLsn;
}

int CdToc::trackAt(std::int32_t lsn) const
{
    if (tracks.empty())
        return 0;
    int found = tracks.front().number;
    for (const CdTrack& t : tracks) {
        if (t.lsn <= lsn)
            found = t.number;
    }
    return found;
}

bool CdText::empty() const
{
    const auto blank = [](const std::vector<std::string>& v) {
        return std::all_of(v.begin(), v.end(), [](const std::string& s) { return s.empty(); });
    };
    return albumTitle.empty() && albumArtist.empty() && blank(trackTitles) && blank(trackArtists);
}

namespace {

// libcdio and paranoia report every failed probe; a missing disc is an ordinary state here,
// so their words go to the log at debug level.
void routeLibcdioLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler([](cdio_log_level_t level, const char* message) {
            if (level >= CDIO_LOG_WARN)
                KLOG_DEBUG("engines", "libcdio: %s", message);
        });
    });
}

std::string lowerSuffix(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    return std::string(cwd) + "/" + path;
}

std::string realPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return {};
    std::string out = resolved;
    std::free(resolved);
    return out;
}

bool exists(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0;
}

// A name a sheet gives, found in its folder: as written, else without regard to case (sheets
// made on other systems often differ from the file's spelling only in case).
std::string findBeside(const std::string& folder, std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::string direct = name[0] == '/' ? name : folder + "/" + name;
    if (exists(direct))
        return direct;
    const std::string dir = folderOf(direct);
    const std::string base = direct.substr(direct.find_last_of('/') + 1);
    DIR* listing = opendir(dir.c_str());
    if (!listing)
        return {};
    std::string found;
    while (const dirent* e = readdir(listing)) {
        if (strcasecmp(e->d_name, base.c_str()) == 0) {
            found = dir + "/" + e->d_name;
            break;
        }
    }
    closedir(listing);
    return found;
}

bool readSmallFile(const std::string& path, std::string& text)
{
    // Sheets are a few kilobytes; anything far larger is not one.
    constexpr std::streamoff kLimit = 1 << 20;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kLimit)
        return false;
    in.seekg(0);
    text.assign(static_cast<size_t>(size), '\0');
    in.read(text.data(), size);
    return static_cast<bool>(in);
}

struct FileStamp
{
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    bool operator==(const FileStamp& o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

bool stampOf(const std::string& path, FileStamp& stamp)
{
    struct stat st
    {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtime = st.st_mtim;
    return true;
}

// Counts what paranoia reports while reading one sector (it calls back without a context).
thread_local int t_paranoiaTrouble = 0;

void paranoiaCallback(long, paranoia_cb_mode_t mode)
{
    if (mode == PARANOIA_CB_READERR || mode == PARANOIA_CB_SKIP || mode == PARANOIA_CB_DRIFT ||
        mode == PARANOIA_CB_FIXUP_DROPPED || mode == PARANOIA_CB_FIXUP_DUPED)
        ++t_paranoiaTrouble;
}

} // namespace

struct CdReader::Impl
{
    // Looking at the disc (discState, open, close) is serialised by stateMutex and reading by
    // mutex, taken in that order; a look that finds nothing changed takes only stateMutex, so a
    // long read (paranoia retrying a scratch) does not hold it up.
    std::mutex stateMutex;
    mutable std::mutex mutex; // the libcdio handles and the table of contents
    std::string drive;
    std::atomic<Kind> kind{Kind::None};
    Method method = Method::Auto;
    Failure failure = Failure::None;
    std::string failureText;

    CdIo_t* cdio = nullptr;
    cdrom_drive_t* cdda = nullptr;
    cdrom_paranoia_t* paranoia = nullptr;
    bool paranoiaFailed = false;
    std::int32_t paranoiaNext = -1;
    CdToc toc;
    std::atomic<bool> tocPresent{false};

    // Images: what libcdio is handed (the image itself or the sheet in the private folder),
    // the private folder of links and rewritten sheets, and the files watched for changes.
    std::string openPath;
    std::string privateDir;
    std::vector<std::string> watched;
    std::vector<FileStamp> stamps;
    bool imageGone = false;

    // Drives: a descriptor of our own for the drive's status.
    std::atomic<int> fd{-1};
    std::atomic<DiscState> lastState{DiscState::NoDisc};

    void fail(Failure f, const std::string& text)
    {
        failure = f;
        failureText = text;
    }

    void releaseReadersLocked()
    {
        if (paranoia)
            cdio_paranoia_free(paranoia);
        paranoia = nullptr;
        if (cdda)
            cdio_cddap_close_no_free_cdio(cdda);
        cdda = nullptr;
        if (cdio)
            cdio_destroy(cdio);
        cdio = nullptr;
        paranoiaFailed = false;
        paranoiaNext = -1;
        toc = CdToc();
        tocPresent = false;
    }

    void removePrivateDir()
    {
        if (privateDir.empty())
            return;
        if (DIR* listing = opendir(privateDir.c_str())) {
            while (const dirent* e = readdir(listing)) {
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    ::unlink((privateDir + "/" + e->d_name).c_str());
            }
            closedir(listing);
        }
        ::rmdir(privateDir.c_str());
        privateDir.clear();
    }

    bool makePrivateDir()
    {
        if (!privateDir.empty())
            return true;
        std::string base = paths::tempDir();
        if (base.empty() || !paths::ensureDir(base))
            base = "/tmp";
        std::string pattern = base + "/kolvo-cd-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return false;
        privateDir = pattern;
        return true;
    }

    // Reads libcdio's table of contents into `toc`; false when there is none.
    bool readTocLocked()
    {
        toc = CdToc();
        const track_t first = cdio_get_first_track_num(cdio);
        const track_t count = cdio_get_num_tracks(cdio);
        if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
            return false;
        for (int n = first; n < first + count; ++n) {
            const lsn_t lsn = cdio_get_track_lsn(cdio, static_cast<track_t>(n));
            if (lsn == CDIO_INVALID_LSN)
                return false;
            CdTrack t;
            t.number = n;
            t.lsn = lsn;
            t.audio = cdio_get_track_format(cdio, static_cast<track_t>(n)) == TRACK_FORMAT_AUDIO;
            toc.tracks.push_back(t);
        }
        const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
        if (leadOut == CDIO_INVALID_LSN) {
            toc = CdToc();
            return false;
        }
        toc.leadOutLsn = leadOut;
        tocPresent = true;
        return true;
    }

    // A table of contents whose tracks do not rise, or whose data ends before a track starts,
    // comes from a damaged image (a .bin cut short): "" when it is sound, else why not.
    std::string tocProblem() const
    {
        for (size_t i = 0; i < toc.tracks.size(); ++i) {
            const CdTrack& t = toc.tracks[i];
            const std::int32_t end =
                i + 1 < toc.tracks.size() ? toc.tracks[i + 1].lsn : toc.leadOutLsn;
            if (t.lsn < 0 || end <= t.lsn) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "its data ends at sector %d, before the end of track %d "
                              "(which starts at sector %d)",
                              static_cast<int>(toc.leadOutLsn), t.number, static_cast<int>(t.lsn));
                return text;
            }
        }
        return {};
    }

    // ---- images ----

    // Works out what libcdio is to open for an image; false with the failure set.
    bool prepareImageLocked()
    {
        openPath = drive;
        watched = {drive};
        const std::string ext = lowerSuffix(drive);
        if (ext == "cue")
            return prepareCueLocked();
        if (ext == "toc")
            return prepareTocLocked();
        return true;
    }

    bool prepareCueLocked()
    {
        std::string text;
        if (!readSmallFile(drive, text)) {
            fail(Failure::BadImage, drive + " cannot be read as a cue sheet");
            return false;
        }
        const std::vector<CueFileEntry> files = cueSheetFiles(text);
        if (files.empty()) {
            fail(Failure::BadImage, "the cue sheet " + drive + " names no data file");
            return false;
        }
        if (files.size() > 1) {
            fail(Failure::BadImage, "the cue sheet " + drive + " names " +
                                        std::to_string(files.size()) +
                                        " data files; sheets of one data file are read");
            return false;
        }
        const CueFileEntry& file = files.front();
        if (!file.type.empty() && file.type != "BINARY") {
            fail(Failure::BadImage, "the cue sheet " + drive + " names a data file of type " +
                                        file.type + "; raw BINARY data files are read");
            return false;
        }
        const std::string folder = folderOf(absolute(drive));
        const std::string data = findBeside(folder, file.name);
        if (data.empty()) {
            fail(Failure::NotFound,
                 "the cue sheet " + drive + " names " + file.name + ", which is missing");
            return false;
        }
        watched.push_back(data);
        // libcdio reads the .bin that shares the sheet's name; when that is not the file the
        // sheet names, it is given a private folder where it is.
        const std::string stem = drive.substr(0, drive.size() - 4);
        const bool plainName = drive.compare(drive.size() - 4, 4, ".cue") == 0;
        if (plainName && realPath(stem + ".bin") == realPath(data))
            return true;
        if (!makePrivateDir() ||
            ::symlink(realPath(drive).c_str(), (privateDir + "/disc.cue").c_str()) != 0 ||
            ::symlink(realPath(data).c_str(), (privateDir + "/disc.bin").c_str()) != 0) {
            fail(Failure::BadImage,
                 "cannot make a private folder for " + drive + ": " + std::strerror(errno));
            return false;
        }
        openPath = privateDir + "/disc.cue";
        return true;
    }

    bool prepareTocLocked()
    {
        std::string text;
        if (!readSmallFile(drive, text)) {
            fail(Failure::BadImage, drive + " cannot be read as a .toc sheet");
            return false;
        }
        const std::string rewritten = tocSheetUnderFolder(text, folderOf(absolute(drive)));
        if (rewritten == text)
            return true;
        if (!makePrivateDir()) {
            fail(Failure::BadImage, "cannot make a private folder for " + drive);
            return false;
        }
        std::ofstream out(privateDir + "/disc.toc", std::ios::binary | std::ios::trunc);
        out << rewritten;
        if (!out.flush()) {
            fail(Failure::BadImage, "cannot write a private copy of " + drive);
            return false;
        }
        openPath = privateDir + "/disc.toc";
        return true;
    }

    bool openImageLocked()
    {
        if (!prepareImageLocked())
            return false;
        cdio = cdio_open(openPath.c_str(), DRIVER_UNKNOWN);
        if (!cdio) {
            fail(Failure::BadImage, "libcdio cannot read the disc image " + drive);
            return false;
        }
        if (!readTocLocked()) {
            fail(Failure::BadImage, "the disc image " + drive + " holds no tracks");
            return false;
        }
        if (const std::string problem = tocProblem(); !problem.empty()) {
            fail(Failure::BadImage, "the disc image " + drive + " is damaged: " + problem);
            return false;
        }
        stamps.clear();
        for (const std::string& w : watched) {
            FileStamp s;
            stampOf(w, s);
            stamps.push_back(s);
        }
        return true;
    }

    // ---- drives ----

    void loadDiscLocked()
    {
        releaseReadersLocked();
        cdio = cdio_open(drive.c_str(), DRIVER_DEVICE);
        if (cdio && !readTocLocked())
            KLOG_DEBUG("engines", "no table of contents on %s", drive.c_str());
    }

    DiscState driveStatus() const
    {
        const int status = ::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT);
        switch (status) {
        case CDS_NO_DISC:
            return DiscState::NoDisc;
        case CDS_TRAY_OPEN:
            return DiscState::TrayOpen;
        case CDS_DRIVE_NOT_READY:
            return DiscState::NotReady;
        case CDS_DISC_OK:
            return DiscState::Ready;
        default:
            // A drive that cannot tell: a disc is there while it has a table of contents.
            return tocPresent ? DiscState::Ready : DiscState::NoDisc;
        }
    }

    // ---- reading ----

    bool ensureParanoiaLocked()
    {
        if (paranoia)
            return true;
        if (paranoiaFailed || !cdio)
            return false;
        cdda = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
        if (!cdda || cdio_cddap_open(cdda) != 0) {
            KLOG_INFO("engines", "paranoia cannot read %s; reading it plainly", drive.c_str());
            if (cdda)
                cdio_cddap_close_no_free_cdio(cdda);
            cdda = nullptr;
            paranoiaFailed = true;
            return false;
        }
        paranoia = cdio_paranoia_init(cdda);
        // Verified overlapping reads, but a sector that cannot be read after the retries is
        // skipped rather than read for ever: the sound goes on.
        cdio_paranoia_modeset(paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        paranoiaNext = -1;
        return true;
    }

    bool useParanoia() const
    {
        return method == Method::Paranoia || (method == Method::Auto && kind == Kind::Drive);
    }

    int readParanoiaLocked(std::int32_t lsn, int count, std::int16_t* samples)
    {
        if (lsn != paranoiaNext)
            cdio_paranoia_seek(paranoia, lsn, SEEK_SET);
        int got = 0;
        for (; got < count; ++got) {
            t_paranoiaTrouble = 0;
            const std::int16_t* sector = cdio_paranoia_read_limited(paranoia, paranoiaCallback, 10);
            if (!sector) {
                paranoiaNext = -1;
                fail(Failure::ReadError,
                     "sector " + std::to_string(lsn + got) + " of " + drive + " cannot be read");
                break;
            }
            if (t_paranoiaTrouble)
                KLOG_DEBUG("engines", "paranoia had trouble with sector %d of %s",
                           static_cast<int>(lsn + got), drive.c_str());
            std::memcpy(samples + static_cast<size_t>(got) * (kCdSectorBytes / 2), sector,
                        kCdSectorBytes);
        }
        if (got == count)
            paranoiaNext = lsn + got;
        return got;
    }

    int readPlainLocked(std::int32_t lsn, int count, std::int16_t* samples)
    {
        if (cdio_read_audio_sectors(cdio, samples, lsn, static_cast<std::uint32_t>(count)) ==
            DRIVER_OP_SUCCESS)
            return count;
        // Find how far it reads.
        int got = 0;
        while (got < count &&
               cdio_read_audio_sectors(cdio, samples + static_cast<size_t>(got) * 1176, lsn + got,
                                       1) == DRIVER_OP_SUCCESS)
            ++got;
        fail(Failure::ReadError,
             "sector " + std::to_string(lsn + got) + " of " + drive + " cannot be read");
        return got;
    }
};

CdReader::CdReader()
    : d(std::make_unique<Impl>())
{
    routeLibcdioLog();
}

CdReader::~CdReader()
{
    close();
}

bool CdReader::open(const std::string& drive, Method method)
{
    close();
    std::lock_guard state(d->stateMutex);
    std::lock_guard lock(d->mutex);
    d->drive = drive;
    d->method = method;
    d->failure = Failure::None;
    d->failureText.clear();
    struct stat st
    {};
    if (drive.empty() || ::stat(drive.c_str(), &st) != 0) {
        d->fail(Failure::NotFound,
                (drive.empty() ? std::string("no drive") : drive) + " does not exist");
    } else if (S_ISDIR(st.st_mode)) {
        d->kind = Kind::Folder;
    } else if (S_ISREG(st.st_mode)) {
        d->kind = Kind::Image;
        if (!d->openImageLocked()) {
            d->releaseReadersLocked();
            d->removePrivateDir();
            d->kind = Kind::None;
        }
    } else if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)) {
        d->fd = ::open(drive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (d->fd < 0) {
            d->fail(errno == EBUSY ? Failure::Busy : Failure::NotADisc,
                    errno == EBUSY ? drive + " is held by another program"
                                   : "cannot open " + drive + ": " + std::strerror(errno));
        } else if (::ioctl(d->fd, CDROM_GET_CAPABILITY, 0) < 0) {
            d->fail(Failure::NotADisc, drive + " is not a CD drive");
            ::close(d->fd);
            d->fd = -1;
        } else {
            d->kind = Kind::Drive;
            d->lastState = d->driveStatus();
            if (d->lastState == DiscState::Ready)
                d->loadDiscLocked();
        }
    } else {
        d->fail(Failure::NotADisc, drive + " is neither a CD drive, a disc image nor a folder");
    }
    if (d->kind == Kind::None) {
        KLOG_INFO("engines", "cannot open the CD %s: %s", drive.c_str(), d->failureText.c_str());
        return false;
    }
    return true;
}

void CdReader::close()
{
    std::lock_guard state(d->stateMutex);
    std::lock_guard lock(d->mutex);
    d->releaseReadersLocked();
    d->removePrivateDir();
    if (d->fd >= 0)
        ::close(d->fd);
    d->fd = -1;
    d->kind = Kind::None;
    d->watched.clear();
    d->stamps.clear();
    d->imageGone = false;
}

bool CdReader::isOpen() const
{
    return d->kind != Kind::None;
}

CdReader::Kind CdReader::kind() const
{
    return d->kind;
}

const std::string& CdReader::drive() const
{
    return d->drive;
}

CdToc CdReader::toc() const
{
    std::lock_guard lock(d->mutex);
    return d->toc;
}

std::optional<CdText> CdReader::cdText() const
{
    std::lock_guard lock(d->mutex);
    if (!d->cdio || d->toc.empty())
        return std::nullopt;
    cdtext_t* text = cdio_get_cdtext(d->cdio); // owned by the libcdio handle
    if (!text)
        return std::nullopt;
    const auto field = [&](cdtext_field_t f, int track) {
        const char* value = cdtext_get_const(text, f, static_cast<track_t>(track));
        return std::string(value ? value : "");
    };
    CdText out;
    out.albumTitle = field(CDTEXT_FIELD_TITLE, 0);
    out.albumArtist = field(CDTEXT_FIELD_PERFORMER, 0);
    for (const CdTrack& t : d->toc.tracks) {
        out.trackTitles.push_back(field(CDTEXT_FIELD_TITLE, t.number));
        out.trackArtists.push_back(field(CDTEXT_FIELD_PERFORMER, t.number));
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

int CdReader::read(std::int32_t lsn, int count, std::int16_t* samples)
{
    std::lock_guard lock(d->mutex);
    if (!d->cdio || d->toc.empty()) {
        d->fail(Failure::NoDisc, "there is no disc in " + d->drive);
        return 0;
    }
    if (lsn < 0 || count <= 0 || !samples)
        return 0;
    count = std::min<std::int32_t>(count, d->toc.leadOutLsn - lsn);
    if (count <= 0)
        return 0;
    if (d->useParanoia() && d->ensureParanoiaLocked())
        return d->readParanoiaLocked(lsn, count, samples);
    return d->readPlainLocked(lsn, count, samples);
}

CdReader::DiscState CdReader::discState(bool* changed)
{
    if (changed)
        *changed = false;
    std::lock_guard state(d->stateMutex);
    switch (d->kind.load()) {
    case Kind::None:
        return DiscState::NoDisc;
    case Kind::Folder: {
        struct stat st
        {};
        return ::stat(d->drive.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? DiscState::Ready
                                                                         : DiscState::NoDisc;
    }
    case Kind::Image: {
        bool same = d->stamps.size() == d->watched.size();
        bool there = true;
        for (size_t i = 0; i < d->watched.size(); ++i) {
            FileStamp s;
            if (!stampOf(d->watched[i], s))
                there = false;
            else if (same && !(s == d->stamps[i]))
                same = false;
        }
        if (!there) {
            if (!d->imageGone) {
                KLOG_INFO("engines", "the disc image %s has gone", d->drive.c_str());
                d->imageGone = true;
                std::lock_guard lock(d->mutex);
                d->releaseReadersLocked();
                if (changed)
                    *changed = true;
            }
            // Whatever comes back in its place is read anew.
            d->stamps.clear();
            return DiscState::NoDisc;
        }
        if (same)
            return d->imageGone ? DiscState::NoDisc : DiscState::Ready;
        // A new or rewritten image: read it anew.
        std::lock_guard lock(d->mutex);
        const CdToc before = d->toc;
        d->releaseReadersLocked();
        d->removePrivateDir();
        d->failure = Failure::None;
        const bool ok = d->openImageLocked();
        d->imageGone = !ok;
        if (!ok) {
            d->releaseReadersLocked();
            KLOG_INFO("engines", "%s", d->failureText.c_str());
            // Remember the files as they are now, so the same damage is not reported again.
            d->stamps.clear();
            for (const std::string& w : d->watched) {
                FileStamp s;
                stampOf(w, s);
                d->stamps.push_back(s);
            }
        }
        if (changed)
            *changed = !(before == d->toc);
        return ok ? DiscState::Ready : DiscState::NoDisc;
    }
    case Kind::Drive: {
        const DiscState now = d->driveStatus();
        if (now != d->lastState) {
            std::lock_guard lock(d->mutex);
            const CdToc before = d->toc;
            if (now == DiscState::Ready)
                d->loadDiscLocked();
            else
                d->releaseReadersLocked();
            if (changed)
                *changed = !(before == d->toc);
            d->lastState = now;
        }
        return now;
    }
    }
    return DiscState::NoDisc;
}

bool CdReader::setTray(bool open)
{
    std::lock_guard state(d->stateMutex);
    std::lock_guard lock(d->mutex);
    if (d->kind != Kind::Drive)
        return false;
    d->releaseReadersLocked();
    bool ok;
    if (open) {
        ok = cdio_eject_media_drive(d->drive.c_str()) == DRIVER_OP_SUCCESS;
    } else {
        driver_id_t driver = DRIVER_DEVICE;
        ok = cdio_close_tray(d->drive.c_str(), &driver) == DRIVER_OP_SUCCESS;
    }
    if (!ok)
        KLOG_INFO("engines", "the tray of %s cannot be %s", d->drive.c_str(),
                  open ? "opened" : "closed");
    // The next look at the drive reads the disc anew.
    d->lastState = DiscState::NotReady;
    return ok;
}

CdReader::Failure CdReader::failure() const
{
    std::lock_guard lock(d->mutex);
    return d->failure;
}

std::string CdReader::failureText() const
{
    std::lock_guard lock(d->mutex);
    return d->failureText;
}

std::optional<CdText> readCdText(const std::string& drive)
{
    CdReader reader;
    if (!reader.open(drive))
        return std::nullopt;
    return reader.cdText();
}

} // namespace engines
