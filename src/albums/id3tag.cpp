#include "albums/id3tag.h"

#include "albums/profilefile.h"
#include "platform/text.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::array<const char*, 126> kGenres = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Sca",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "Alternative Rock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native US",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "Acapella",
    "Euro-House",
    "Dance Hall",
};

constexpr size_t kTagSize = 128;
constexpr size_t kBodySize = 125;

// A descriptor closed when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

bool readAt(int fd, off_t offset, void* buf, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, static_cast<char*>(buf) + done, n - done,
                                  offset + static_cast<off_t>(done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

bool writeAt(int fd, off_t offset, const void* buf, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pwrite(fd, static_cast<const char*>(buf) + done, n - done,
                                   offset + static_cast<off_t>(done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

bool isMarker(const char* p)
{
    return (p[0] == 'T' || p[0] == 't') && (p[1] == 'A' || p[1] == 'a') &&
           (p[2] == 'G' || p[2] == 'g');
}

// A regular file's size; -1 for anything else.
off_t regularSize(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size;
}

std::string field(const char* p, size_t max)
{
    return std::string(p, strnlen(p, max));
}

void put(std::string& body, size_t at, std::string_view value, size_t max)
{
    body.replace(at, std::min(value.size(), max), value.substr(0, max));
}

} // namespace

std::string GenreName(int number)
{
    if (number < 0 || number >= static_cast<int>(kGenres.size()))
        return {};
    return kGenres[static_cast<size_t>(number)];
}

bool ParseId3Tag(std::string_view last128, Id3Tag& tag)
{
    if (last128.size() != kTagSize || !isMarker(last128.data()))
        return false;
    const char* p = last128.data() + 3;
    tag.title = field(p, 30);
    tag.artist = field(p + 30, 30);
    tag.album = field(p + 60, 30);
    tag.year = field(p + 90, 4);
    tag.comment = field(p + 94, 30);
    tag.genre = static_cast<signed char>(p[124]);
    return true;
}

std::string FormatId3Tag(const Id3Tag& tag)
{
    std::string body(kBodySize, '\0');
    put(body, 0, tag.title, 30);
    put(body, 30, tag.artist, 30);
    put(body, 60, tag.album, 30);
    put(body, 90, tag.year, 4);
    put(body, 94, tag.comment, 30);
    body[124] = static_cast<char>(tag.genre & 0xFF);
    return body;
}

bool ReadId3Tag(const std::string& fileName, Id3Tag& tag)
{
    Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return false;
    const off_t size = regularSize(fd.get());
    if (size < static_cast<off_t>(kTagSize))
        return false;
    char buf[kTagSize];
    if (!readAt(fd.get(), size - static_cast<off_t>(kTagSize), buf, kTagSize))
        return false;
    Id3Tag read;
    if (!ParseId3Tag(std::string_view(buf, kTagSize), read))
        return false;
    tag = std::move(read);
    return true;
}

namespace {

// Where a file's last 128 bytes start and whether they hold a tag; nullopt for a file too short
// to have one, or that cannot be read.
struct TagSite
{
    off_t at = 0;
    bool tagged = false;
};

std::optional<TagSite> findTagSite(int fd)
{
    const off_t size = regularSize(fd);
    if (size < static_cast<off_t>(kTagSize))
        return std::nullopt;
    const off_t at = size - static_cast<off_t>(kTagSize);
    char marker[3];
    if (!readAt(fd, at, marker, 3))
        return std::nullopt;
    return TagSite{at, isMarker(marker)};
}

} // namespace

bool WriteId3Tag(const std::string& fileName, const Id3Tag& tag)
{
    Fd fd(::open(fileName.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return false;
    const std::optional<TagSite> site = findTagSite(fd.get());
    if (!site)
        return false;
    // A tagged file has its body rewritten in place; any other gets a tag after its end.
    off_t bodyAt = site->at + 3;
    if (!site->tagged) {
        const off_t end = site->at + static_cast<off_t>(kTagSize);
        if (!writeAt(fd.get(), end, "TAG", 3))
            return false;
        bodyAt = end + 3;
    }
    const std::string body = FormatId3Tag(tag);
    return writeAt(fd.get(), bodyAt, body.data(), body.size());
}

bool RemoveId3Tag(const std::string& fileName)
{
    Fd fd(::open(fileName.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.valid())
        return false;
    const std::optional<TagSite> site = findTagSite(fd.get());
    if (!site)
        return false;
    return !site->tagged || ::ftruncate(fd.get(), site->at) == 0;
}

std::string Id3FieldFromText(std::string_view utf8, size_t maxBytes)
{
    if (auto legacy = text::encodeLegacy(utf8, text::legacyCodePage())) {
        std::string cut = legacy->substr(0, maxBytes);
        // A lead byte of a two-byte code page character left alone at the end goes too.
        if (cut.size() < legacy->size() && !cut.empty() &&
            text::decodeLegacy(cut).find("\xEF\xBF\xBD") != std::string::npos)
            cut.pop_back();
        return cut;
    }
    return cutText(utf8, maxBytes);
}

std::string Id3FieldText(std::string_view bytes)
{
    return text::decodeLegacy(bytes);
}
