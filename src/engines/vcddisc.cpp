#include "engines/vcddisc.h"

#include "engines/cuesheet.h"
#include "platform/paths.h"

#include <cdio/cdio.h>
#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <cdio/xa.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

namespace engines {
namespace {

constexpr int kRawSector = 2352;
constexpr int kMode2Sector = 2336; // what libcdio gives of a Form 2 read: subheader and data
constexpr int kSubheader = 8;
constexpr int kForm1Data = 2048;
constexpr int kBatchSectors = 32;
// The submode bits of a sector that carries something: video, audio or data.
constexpr std::uint8_t kCarriesPayload = 0x0E;
constexpr std::uint8_t kForm2Bit = 0x20;

void quietLibcdio()
{
    // libcdio reports every failed probe on stderr; the reasons that matter reach the user as
    // our own texts.
    static std::once_flag once;
    std::call_once(once, [] {
        cdio_log_set_handler([](cdio_log_level_t level, const char* message) {
            if (level >= CDIO_LOG_ERROR && std::getenv("KOLVO_CDIO_DEBUG"))
                std::fprintf(stderr, "libcdio: %s\n", message);
        });
    });
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// An ISO name without its version suffix (";1") and the trailing dot of a name without one.
std::string plainIsoName(std::string name)
{
    if (const size_t semi = name.find(';'); semi != std::string::npos)
        name.erase(semi);
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    return name;
}

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find_first_of("/\\", pos);
        if (end == std::string::npos)
            end = path.size();
        if (end > pos)
            parts.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

bool endsWithNoCase(const std::string& name, const std::string& suffix)
{
    return name.size() >= suffix.size() &&
           lower(name.substr(name.size() - suffix.size())) == lower(suffix);
}

bool isDir(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string realPathOf(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string s(resolved);
    std::free(resolved);
    return s;
}

struct CdioCloser
{
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

struct StatCloser
{
    void operator()(iso9660_stat_t* p) const { iso9660_stat_free(p); }
};
using StatPtr = std::unique_ptr<iso9660_stat_t, StatCloser>;

// The entries of an ISO directory in their order, each copied out of libcdio's list.
std::vector<StatPtr> readIsoDir(CdIo_t* cdio, const std::string& path)
{
    std::vector<StatPtr> out;
    CdioList_t* list = iso9660_fs_readdir(cdio, path.c_str());
    if (!list)
        return out;
    for (CdioListNode_t* node = _cdio_list_begin(list); node; node = _cdio_list_node_next(node)) {
        auto* st = static_cast<iso9660_stat_t*>(_cdio_list_node_data(node));
        if (!st)
            continue;
        // Take ownership of the entry: the list is freed below without its data.
        out.emplace_back(st);
    }
    _cdio_list_free(list, false, nullptr);
    return out;
}

// The file a cue sheet means, when libcdio would take another one (see cuesheet.h): the data
// file it names, or "" when libcdio's own choice is right.
std::string cueDataFile(const std::string& cue, std::string* problem)
{
    std::ifstream in(cue, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() > (1 << 20)) {
        *problem = "the cue sheet " + cue + " is too large to be one";
        return {};
    }
    const auto files = cueSheetFiles(text);
    if (files.size() != 1) {
        *problem = "the cue sheet " + cue + " names " + std::to_string(files.size()) +
                   " data files; a Video CD image has one";
        return {};
    }
    std::string data = files.front().name;
    if (data.empty() || data[0] != '/')
        data = folderOf(realPathOf(cue)) + "/" + data;
    if (!exists(data)) {
        *problem = "the cue sheet " + cue + " names " + files.front().name + ", which is missing";
        return {};
    }
    const std::string beside = cue.substr(0, cue.size() - 4) + ".bin";
    if (exists(beside) && realPathOf(beside) == realPathOf(data))
        return {};
    return data;
}

// ---- streams ----

// Form 2 sectors of a drive or image, from the first that carries something to the last.
class SectorStream : public VcdStream
{
public:
    SectorStream(CdioPtr cdio, lsn_t first, std::int64_t sectors)
        : m_cdio(std::move(cdio))
        , m_first(first)
        , m_sectors(sectors)
    {}
    std::int64_t size() const override { return m_sectors * kVcdForm2Payload; }
    std::int64_t read(std::int64_t offset, std::uint8_t* to, std::int64_t count) override
    {
        std::int64_t done = 0;
        while (done < count && offset + done < size()) {
            const std::int64_t at = offset + done;
            const std::int64_t sector = at / kVcdForm2Payload;
            const std::int64_t within = at % kVcdForm2Payload;
            if (!loadBatch(sector))
                break;
            const std::uint8_t* payload =
                m_batch.data() + (sector - m_batchStart) * kMode2Sector + kSubheader;
            const std::int64_t n = std::min<std::int64_t>(count - done, kVcdForm2Payload - within);
            std::memcpy(to + done, payload + within, static_cast<size_t>(n));
            done += n;
        }
        return done;
    }

private:
    bool loadBatch(std::int64_t sector)
    {
        if (sector >= m_batchStart && sector < m_batchStart + m_batchCount)
            return true;
        const int n = static_cast<int>(std::min<std::int64_t>(kBatchSectors, m_sectors - sector));
        m_batch.resize(static_cast<size_t>(n) * kMode2Sector);
        if (cdio_read_mode2_sectors(m_cdio.get(), m_batch.data(),
                                    static_cast<lsn_t>(m_first + sector), true,
                                    static_cast<uint32_t>(n)) != DRIVER_OP_SUCCESS) {
            m_batchCount = 0;
            return false;
        }
        m_batchStart = sector;
        m_batchCount = n;
        return true;
    }

    CdioPtr m_cdio;
    lsn_t m_first;
    std::int64_t m_sectors;
    std::vector<std::uint8_t> m_batch;
    std::int64_t m_batchStart = 0;
    int m_batchCount = 0;
};

// A file of a folder: as it is, or the payload of the raw sectors of a RIFF CDXA copy.
class FileStream : public VcdStream
{
public:
    bool open(const std::string& path)
    {
        m_file = std::fopen(path.c_str(), "rb");
        if (!m_file)
            return false;
        std::fseek(m_file, 0, SEEK_END);
        const long total = std::ftell(m_file);
        std::fseek(m_file, 0, SEEK_SET);
        std::uint8_t header[44] = {};
        const size_t got = std::fread(header, 1, sizeof header, m_file);
        if (got == sizeof header && std::memcmp(header, "RIFF", 4) == 0 &&
            std::memcmp(header + 8, "CDXA", 4) == 0) {
            m_raw = true;
            std::int64_t end = (total - 44) / kRawSector;
            // As on a disc, the margins of sectors that carry nothing are left out.
            while (m_first < end && !carries(m_first))
                ++m_first;
            while (end > m_first && !carries(end - 1))
                --end;
            m_sectors = end - m_first;
        }
        m_size = m_raw ? m_sectors * kVcdForm2Payload : std::max<long>(total, 0);
        return true;
    }
    ~FileStream() override
    {
        if (m_file)
            std::fclose(m_file);
    }
    std::int64_t size() const override { return m_size; }
    std::int64_t read(std::int64_t offset, std::uint8_t* to, std::int64_t count) override
    {
        if (offset >= m_size || count <= 0)
            return 0;
        count = std::min(count, m_size - offset);
        if (!m_raw) {
            if (fseeko(m_file, offset, SEEK_SET) != 0)
                return 0;
            return static_cast<std::int64_t>(std::fread(to, 1, static_cast<size_t>(count), m_file));
        }
        std::int64_t done = 0;
        while (done < count) {
            const std::int64_t at = offset + done;
            const std::int64_t sector = at / kVcdForm2Payload;
            const std::int64_t within = at % kVcdForm2Payload;
            // Sync (12), header (4) and subheader (8) come before the payload.
            if (fseeko(m_file, 44 + (m_first + sector) * kRawSector + 24 + within, SEEK_SET) != 0)
                break;
            const std::int64_t n = std::min<std::int64_t>(count - done, kVcdForm2Payload - within);
            const size_t got = std::fread(to + done, 1, static_cast<size_t>(n), m_file);
            done += static_cast<std::int64_t>(got);
            if (got != static_cast<size_t>(n))
                break;
        }
        return done;
    }

private:
    // Whether raw sector `i` carries video, audio or data (its subheader's submode).
    bool carries(std::int64_t i)
    {
        std::uint8_t submode = 0;
        return fseeko(m_file, 44 + i * kRawSector + 18, SEEK_SET) == 0 &&
               std::fread(&submode, 1, 1, m_file) == 1 && (submode & kCarriesPayload) != 0;
    }

    std::FILE* m_file = nullptr;
    bool m_raw = false;
    std::int64_t m_first = 0;
    std::int64_t m_sectors = 0;
    std::int64_t m_size = 0;
};

} // namespace

struct VcdDisc::Impl
{
    std::string drive;
    std::string openPath; // what libcdio is handed
    std::string privateDir;
    Kind kind = Kind::None;
    CdioPtr cdio;
    std::vector<VcdTrack> tracks;
    std::int32_t leadOut = 0;
    std::string failure;

    ~Impl() { removePrivateDir(); }

    void removePrivateDir()
    {
        if (privateDir.empty())
            return;
        ::unlink((privateDir + "/disc.cue").c_str());
        ::unlink((privateDir + "/disc.bin").c_str());
        ::rmdir(privateDir.c_str());
        privateDir.clear();
    }

    CdioPtr openCdio() const
    {
        quietLibcdio();
        return CdioPtr(
            cdio_open(openPath.c_str(), kind == Kind::Drive ? DRIVER_DEVICE : DRIVER_UNKNOWN));
    }

    // The path in the folder of a copied disc, matched without regard to case.
    std::string folderPath(const std::string& path) const
    {
        std::string at = drive;
        for (const std::string& part : splitPath(path)) {
            DIR* dir = opendir(at.c_str());
            if (!dir)
                return {};
            std::string found;
            while (const dirent* e = readdir(dir)) {
                if (lower(plainIsoName(e->d_name)) == lower(plainIsoName(part))) {
                    found = e->d_name;
                    break;
                }
            }
            closedir(dir);
            if (found.empty())
                return {};
            at += "/" + found;
        }
        return at;
    }

    // The directory entry of a path on the disc, matched without regard to case or version.
    StatPtr isoStat(const std::string& path) const
    {
        std::string dir = "/";
        StatPtr found;
        const std::vector<std::string> parts = splitPath(path);
        for (size_t i = 0; i < parts.size(); ++i) {
            found.reset();
            for (StatPtr& st : readIsoDir(cdio.get(), dir)) {
                const std::string name = plainIsoName(st->filename);
                if (name == "." || name == ".." || lower(name) != lower(plainIsoName(parts[i])))
                    continue;
                found = std::move(st);
                break;
            }
            if (!found)
                return nullptr;
            if (i + 1 < parts.size()) {
                if (found->type != iso9660_stat_s::_STAT_DIR)
                    return nullptr;
                dir += std::string(found->filename) + "/";
            }
        }
        return found;
    }

    bool readToc()
    {
        tracks.clear();
        const track_t first = cdio_get_first_track_num(cdio.get());
        const track_t count = cdio_get_num_tracks(cdio.get());
        if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
            return false;
        const lsn_t end = cdio_get_track_lsn(cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
        if (end == CDIO_INVALID_LSN)
            return false;
        leadOut = end + kVcdLeadInFrames;
        for (int n = first; n < first + count; ++n) {
            const lsn_t lsn = cdio_get_track_lsn(cdio.get(), static_cast<track_t>(n));
            if (lsn == CDIO_INVALID_LSN)
                return false;
            VcdTrack t;
            t.number = n;
            t.startFrame = lsn + kVcdLeadInFrames;
            tracks.push_back(t);
        }
        for (size_t i = 0; i < tracks.size(); ++i)
            tracks[i].endFrame = i + 1 < tracks.size() ? tracks[i + 1].startFrame : leadOut;
        return true;
    }
};

VcdDisc::VcdDisc()
    : d(std::make_unique<Impl>())
{}

VcdDisc::~VcdDisc() = default;

bool VcdDisc::open(const std::string& drive)
{
    close();
    d->drive = drive;
    d->failure.clear();
    if (drive.empty()) {
        d->failure = "no CD drive is set";
        return false;
    }
    if (isDir(drive)) {
        d->kind = Kind::Folder;
        return true;
    }
    if (!exists(drive)) {
        d->failure = "there is no drive, disc image or folder " + drive;
        return false;
    }
    quietLibcdio();
    d->openPath = drive;
    d->kind = cdio_is_device(drive.c_str(), DRIVER_DEVICE) ? Kind::Drive : Kind::Image;
    if (d->kind == Kind::Image && endsWithNoCase(drive, ".cue")) {
        std::string problem;
        const std::string data = cueDataFile(drive, &problem);
        if (!problem.empty()) {
            d->failure = problem;
            d->kind = Kind::None;
            return false;
        }
        if (!data.empty()) {
            // libcdio reads the .bin named like the sheet; give it a folder where that is the
            // file the sheet names.
            std::string base = paths::tempDir();
            if (base.empty() || !paths::ensureDir(base))
                base = "/tmp";
            std::string pattern = base + "/kolvo-vcd-XXXXXX";
            if (!mkdtemp(pattern.data()) ||
                ::symlink(realPathOf(drive).c_str(), (pattern + "/disc.cue").c_str()) != 0 ||
                ::symlink(realPathOf(data).c_str(), (pattern + "/disc.bin").c_str()) != 0) {
                d->privateDir = pattern;
                d->failure =
                    "cannot make a private folder for " + drive + ": " + std::strerror(errno);
                close();
                return false;
            }
            d->privateDir = pattern;
            d->openPath = pattern + "/disc.cue";
        }
    }
    d->cdio = d->openCdio();
    if (!d->cdio) {
        d->failure = d->kind == Kind::Drive ? "the drive " + drive + " cannot be opened"
                                            : "libcdio cannot read " + drive + " as a disc image";
        close();
        return false;
    }
    if (!d->readToc()) {
        d->failure = "no disc can be read in " + drive;
        close();
        return false;
    }
    return true;
}

void VcdDisc::close()
{
    d->cdio.reset();
    d->tracks.clear();
    d->leadOut = 0;
    d->kind = Kind::None;
    d->removePrivateDir();
}

bool VcdDisc::isOpen() const
{
    return d->kind != Kind::None;
}

VcdDisc::Kind VcdDisc::kind() const
{
    return d->kind;
}

const std::string& VcdDisc::drive() const
{
    return d->drive;
}

const std::string& VcdDisc::failureText() const
{
    return d->failure;
}

const std::vector<VcdTrack>& VcdDisc::tracks() const
{
    return d->tracks;
}

std::int32_t VcdDisc::leadOutFrame() const
{
    return d->leadOut;
}

std::optional<std::int64_t> VcdDisc::fileSize(const std::string& path)
{
    if (d->kind == Kind::Folder) {
        const std::string real = d->folderPath(path);
        struct stat st;
        if (real.empty() || ::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return static_cast<std::int64_t>(st.st_size);
    }
    if (!d->cdio)
        return std::nullopt;
    StatPtr st = d->isoStat(path);
    if (!st || st->type != iso9660_stat_s::_STAT_FILE)
        return std::nullopt;
    return static_cast<std::int64_t>(st->size);
}

std::optional<std::string> VcdDisc::readFile(const std::string& path, size_t limit)
{
    if (d->kind == Kind::Folder) {
        const std::string real = d->folderPath(path);
        if (real.empty() || !isDir(folderOf(real)) || isDir(real))
            return std::nullopt;
        std::ifstream in(real, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::string bytes(limit, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(limit));
        bytes.resize(static_cast<size_t>(in.gcount()));
        return bytes;
    }
    if (!d->cdio)
        return std::nullopt;
    StatPtr st = d->isoStat(path);
    if (!st || st->type != iso9660_stat_s::_STAT_FILE)
        return std::nullopt;
    const size_t size = std::min<size_t>(st->size, limit);
    std::string bytes;
    bytes.reserve(size);
    std::vector<std::uint8_t> sector(kMode2Sector);
    for (lsn_t lsn = st->lsn; bytes.size() < size; ++lsn) {
        if (cdio_read_mode2_sector(d->cdio.get(), sector.data(), lsn, true) != DRIVER_OP_SUCCESS)
            return std::nullopt;
        // Description files are Form 1 (2048 bytes a sector); a Form 2 file gives its payload.
        const size_t data = (sector[2] & kForm2Bit) ? kVcdForm2Payload : kForm1Data;
        const size_t n = std::min(data, size - bytes.size());
        bytes.append(reinterpret_cast<const char*>(sector.data() + kSubheader), n);
    }
    return bytes;
}

std::vector<std::string> VcdDisc::listFiles(const std::string& folder, const std::string& suffix)
{
    std::vector<std::string> out;
    if (d->kind == Kind::Folder) {
        const std::string real = d->folderPath(folder);
        if (real.empty())
            return out;
        DIR* dir = opendir(real.c_str());
        if (!dir)
            return out;
        // A folder's listing order is the file system's; a copied disc's files are numbered,
        // so they are taken in name order, which is the order on the disc.
        std::vector<std::string> names;
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && endsWithNoCase(plainIsoName(name), suffix) &&
                !isDir(real + "/" + name))
                names.push_back(name);
        }
        closedir(dir);
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
        const std::string relative =
            real.size() > d->drive.size() ? real.substr(d->drive.size() + 1) : folder;
        for (const std::string& name : names)
            out.push_back(relative + "/" + name);
        return out;
    }
    if (!d->cdio)
        return out;
    StatPtr dirStat = d->isoStat(folder);
    if (!dirStat || dirStat->type != iso9660_stat_s::_STAT_DIR)
        return out;
    for (StatPtr& st : readIsoDir(d->cdio.get(), "/" + std::string(dirStat->filename) + "/")) {
        const std::string name = plainIsoName(st->filename);
        if (st->type == iso9660_stat_s::_STAT_FILE && endsWithNoCase(name, suffix))
            out.push_back(std::string(dirStat->filename) + "/" + name);
    }
    return out;
}

std::unique_ptr<VcdStream> VcdDisc::openStream(const std::string& path)
{
    if (d->kind == Kind::Folder) {
        const std::string real = d->folderPath(path);
        auto stream = std::make_unique<FileStream>();
        if (real.empty() || isDir(real) || !stream->open(real)) {
            d->failure = "the disc has no file " + path;
            return nullptr;
        }
        return stream;
    }
    if (!d->cdio) {
        d->failure = "no disc is open";
        return nullptr;
    }
    StatPtr st = d->isoStat(path);
    if (!st || st->type != iso9660_stat_s::_STAT_FILE) {
        d->failure = "the disc has no file " + path;
        return nullptr;
    }
    // A stream reads on a thread of its own, so it takes a handle of its own.
    CdioPtr own = d->openCdio();
    if (!own) {
        d->failure = "the disc in " + d->drive + " cannot be opened again";
        return nullptr;
    }
    const lsn_t first = st->lsn;
    std::int64_t count = st->secsize ? st->secsize : (st->size + kForm1Data - 1) / kForm1Data;
    const std::int64_t discEnd = d->leadOut - kVcdLeadInFrames;
    count = std::max<std::int64_t>(0, std::min<std::int64_t>(count, discEnd - first));
    // The margins before and after the MPEG data are sectors that carry nothing.
    std::vector<std::uint8_t> sector(kMode2Sector);
    const auto carries = [&](std::int64_t i) {
        return cdio_read_mode2_sector(own.get(), sector.data(), static_cast<lsn_t>(first + i),
                                      true) == DRIVER_OP_SUCCESS &&
               (sector[2] & kCarriesPayload) != 0;
    };
    std::int64_t begin = 0, end = count;
    while (begin < end && !carries(begin))
        ++begin;
    while (end > begin && !carries(end - 1))
        --end;
    return std::make_unique<SectorStream>(std::move(own), static_cast<lsn_t>(first + begin),
                                          end - begin);
}

// ---- the description ----

std::string VcdDescription::trackFile(int track) const
{
    const int i = track - 2;
    return i >= 0 && i < static_cast<int>(trackFiles.size()) ? trackFiles[static_cast<size_t>(i)]
                                                             : std::string();
}

std::int64_t VcdDescription::trackLengthMs(int track) const
{
    const int i = track - 2;
    return i >= 0 && i < static_cast<int>(trackLengthsMs.size())
               ? trackLengthsMs[static_cast<size_t>(i)]
               : 0;
}

bool readVcdDescription(VcdDisc& disc, VcdDescription& out, std::string* why)
{
    out = VcdDescription();
    const auto refuse = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    out.trackFiles = disc.listFiles("MPEGAV", ".DAT");
    for (size_t i = 0; i < out.trackFiles.size(); ++i) {
        const int number = static_cast<int>(i) + 2;
        std::int64_t length = 0;
        const auto& toc = disc.tracks();
        const auto t = std::find_if(toc.begin(), toc.end(),
                                    [&](const VcdTrack& x) { return x.number == number; });
        if (t != toc.end()) {
            length = t->lengthMs();
        } else if (auto stream = disc.openStream(out.trackFiles[i])) {
            // A copied disc has no table of contents: the length its sectors would take.
            length = stream->size() / kVcdForm2Payload * 1000 / 75;
        }
        out.trackLengthsMs.push_back(length);
    }

    const auto info = disc.readFile("VCD/INFO.VCD", vcd::kInfoBytes);
    if (!info)
        return refuse("the disc has no VCD/INFO.VCD");
    std::string problem;
    if (!vcd::parseInfo(*info, out.info, &problem))
        return refuse(problem);

    const auto entries =
        disc.readFile("VCD/ENTRIES.VCD", 2048); // one sector: room for a few more than 500
    if (!entries)
        return refuse("the disc has no VCD/ENTRIES.VCD");
    if (!vcd::parseEntries(*entries, out.entries, &problem))
        return refuse(problem);
    if (out.entries.count > vcd::kMaxEntries)
        return refuse("ENTRIES.VCD announces " + std::to_string(out.entries.count) +
                      " entries; a disc has at most 500");
    const auto& toc = disc.tracks();
    for (size_t i = 0; i < out.entries.entries.size(); ++i) {
        const vcd::EntryRecord& e = out.entries.entries[i];
        char where[64];
        std::snprintf(where, sizeof where, "entry %zu (track %d at %02d:%02d:%02d)", i + 1, e.track,
                      e.minute, e.second, e.frame);
        VcdEntry entry;
        entry.record = e;
        entry.file = out.trackFile(e.track);
        if (entry.file.empty())
            return refuse(std::string(where) + " leads to a track the disc does not have");
        std::int64_t trackStart = 0;
        if (!toc.empty()) {
            const auto t = std::find_if(toc.begin(), toc.end(),
                                        [&](const VcdTrack& x) { return x.number == e.track; });
            if (t == toc.end())
                return refuse(std::string(where) + " leads to a track the disc does not have");
            if (e.msfFrames() >= disc.leadOutFrame())
                return refuse(std::string(where) + " lies past the end of the disc");
            trackStart = t->startMs();
        } else {
            // Without a table of contents the first entry of a track stands for its start.
            for (const vcd::EntryRecord& x : out.entries.entries) {
                if (x.track == e.track) {
                    trackStart = x.ms();
                    break;
                }
            }
        }
        entry.offsetMs = std::max<std::int64_t>(0, e.ms() - trackStart);
        out.entryTable.push_back(entry);
    }

    if (out.info.psdSize == 0)
        return true;
    // A PSD_X.VCD the size of the play sequence is taken for the plain one.
    bool extended = out.info.extendedPsd();
    if (extended) {
        const auto size = disc.fileSize("EXT/PSD_X.VCD");
        if (size && *size == static_cast<std::int64_t>(out.info.psdSize))
            extended = false;
    }
    out.extended = extended;
    out.psdPath = extended ? "EXT/PSD_X.VCD" : "VCD/PSD.VCD";
    if (auto psd = disc.readFile(out.psdPath, 4 << 20))
        out.psd = std::move(*psd);
    return true;
}

} // namespace engines
