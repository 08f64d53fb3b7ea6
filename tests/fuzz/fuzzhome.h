#pragma once
// An empty KOLVO_HOME for every input of a fuzz target whose reader takes a file by its path.
// The same folders serve every input, so that caches keyed by file name (QSettings keeps one)
// do not grow: a growing heap makes libFuzzer look for leaks after every input, which costs
// more than the input. Instead every file written gets a modification time of its own, later
// than any before, so that no such cache takes an earlier input's content for this one. The
// folders live in /dev/shm when there is one: the readers then cost no disk writes.

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzzhome {

inline const std::string& base()
{
    static const std::string dir = [] {
        const std::string parent = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        // Homes of targets that ended without cleaning up (a crash, libFuzzer's quick exits)
        // go now: their names carry the process id.
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(parent, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("kolvo-fuzz-", 0) != 0)
                continue;
            const std::string pid = name.substr(11, name.find('-', 11) - 11);
            if (!pid.empty() && ::access(("/proc/" + pid).c_str(), F_OK) != 0)
                std::filesystem::remove_all(entry.path(), ec);
        }
        std::string pattern = parent + "/kolvo-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        // Removed when the fuzzer ends normally.
        static const struct Cleanup
        {
            std::string path;
            ~Cleanup()
            {
                std::error_code ec;
                std::filesystem::remove_all(path, ec);
            }
        } cleanup{pattern};
        return pattern;
    }();
    return dir;
}

// Empties the home of that name and makes KOLVO_HOME point at it.
inline std::string next(const std::string& name = "home")
{
    const std::string home = base() + "/" + name;
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    std::filesystem::create_directories(home, ec);
    ::setenv("KOLVO_HOME", home.c_str(), 1);
    return home;
}

inline void write(const std::string& path, std::string_view bytes)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || (out.close(), !out))
        std::abort();
    // One second later than the file written before, whatever the clock says.
    static time_t stamp = ::time(nullptr);
    const struct timespec times[2] = {{++stamp, 0}, {stamp, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        std::abort();
}

inline std::string read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace fuzzhome
