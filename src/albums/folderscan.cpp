#include "albums/folderscan.h"

#include "platform/strings.h"
#include "platform/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr UINT IDS_NAME_NOT_STORABLE = 39258;

char foldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// -1, 0 or 1 as a orders before, with or after b, ignoring ASCII case and reading digit runs
// as numbers.
int compareNames(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // Leading zeros do not count towards the value.
            size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            if (const int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj)); c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const auto ca = static_cast<unsigned char>(foldAscii(a[i]));
        const auto cb = static_cast<unsigned char>(foldAscii(b[j]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}

struct Entry
{
    std::string name;
    unsigned char type; // DT_*
};

class Scanner
{
public:
    Scanner(AlbumKind kind, bool recurse, FolderScanControl* control)
        : m_kind(kind)
        , m_recurse(recurse)
        , m_control(control)
    {}

    FolderScanResult run(std::string folder)
    {
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (IsStorableSongPath(folder))
            scan(folder);
        else
            problem(folder, LoadString(IDS_NAME_NOT_STORABLE));
        m_result.cancelled = cancelled();
        return std::move(m_result);
    }

private:
    bool cancelled() const { return m_control && m_control->cancelled(); }

    void problem(const std::string& path, std::string reason)
    {
        m_result.problems.push_back({path, std::move(reason)});
    }

    void problem(const std::string& path, int error) { problem(path, std::strerror(error)); }

    void found(std::string path)
    {
        m_result.files.push_back(std::move(path));
        if (m_control)
            m_control->addFound();
    }

    static std::string join(const std::string& folder, const std::string& name)
    {
        return folder == "/" ? "/" + name : folder + "/" + name;
    }

    // Reads the folder's entries and closes it again before anything below it is opened, so a
    // deep tree never holds more than one folder open.
    bool read(const std::string& folder, std::vector<Entry>& entries)
    {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            problem(folder, errno);
            return false;
        }
        struct stat st;
        if (::fstat(::dirfd(dir), &st) == 0 && !m_visited.insert({st.st_dev, st.st_ino}).second) {
            ::closedir(dir); // reached before, through a link: its files are in already
            return false;
        }
        errno = 0;
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') // ".", ".." and hidden entries
                continue;
            entries.push_back({e->d_name, e->d_type});
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0)
            problem(folder, error); // what was read before the failure is kept
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return FileNameLess(a.name, b.name); });
        return true;
    }

    void scan(const std::string& folder)
    {
        std::vector<Entry> entries;
        if (!read(folder, entries))
            return;
        for (const Entry& e : entries) {
            if (cancelled())
                return;
            const std::string path = join(folder, e.name);
            const bool media = MediaKindOf(m_kind, e.name) != MediaKindNone;
            unsigned char type = e.type;
            if (type == DT_LNK || type == DT_UNKNOWN) {
                if (!media && !m_recurse)
                    continue;
                struct stat st;
                if (::stat(path.c_str(), &st) != 0) {
                    if (media || type == DT_UNKNOWN)
                        problem(path, errno); // a dangling link to a song, say, is told
                    continue;
                }
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                if (!m_recurse)
                    continue;
                if (!IsStorableSongPath(e.name)) {
                    problem(path, LoadString(IDS_NAME_NOT_STORABLE));
                    continue;
                }
                scan(path);
            } else if (type == DT_REG && media) {
                if (!IsStorableSongPath(path)) {
                    problem(path, LoadString(IDS_NAME_NOT_STORABLE));
                    continue;
                }
                found(path);
            }
        }
    }

    AlbumKind m_kind;
    bool m_recurse;
    FolderScanControl* m_control;
    std::set<std::pair<dev_t, ino_t>> m_visited;
    FolderScanResult m_result;
};

} // namespace

bool IsStorableSongPath(std::string_view path)
{
    if (!text::isValidUtf8(path))
        return false;
    return path.find_first_of("\n\r\f", 0) == std::string_view::npos &&
           path.find('\0') == std::string_view::npos;
}

bool FileNameLess(std::string_view a, std::string_view b)
{
    const int c = compareNames(a, b);
    return c != 0 ? c < 0 : a < b;
}

FolderScanResult ScanFolder(AlbumKind kind, const std::string& folder, bool recurse,
                            FolderScanControl* control)
{
    return Scanner(kind, recurse, control).run(folder);
}
