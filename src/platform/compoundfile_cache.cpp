// The state of a file between operations. Opening a file reads its header and FAT and walks its
// chains; a player that opens its album database for every operation would do that work again
// and again. So the state a file was left in is kept here when the file is released, and taken
// back when the same file is opened again unchanged: same device and inode, size, modification
// and change times to the nanosecond, and the same 512 header bytes, which carry the random
// signature each commit writes.
#include "platform/compoundfile_internal.h"

#include <map>
#include <mutex>
#include <unistd.h>

namespace cfb {

bool identify(int fd, Identity& id)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size < 512)
        return false;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    return ::pread(fd, id.header.data(), id.header.size(), 0) ==
           static_cast<ssize_t>(id.header.size());
}

namespace {

struct CachedState
{
    Identity identity;
    std::unique_ptr<CompoundFile::Impl> state;
    uint64_t lastUse = 0;
};

constexpr size_t kCachedFiles = 8;
std::mutex g_cacheMutex;
std::map<std::pair<dev_t, ino_t>, CachedState> g_cache;
uint64_t g_cacheClock = 0;

} // namespace

std::unique_ptr<CompoundFile::Impl> takeCached(const Identity& id)
{
    std::lock_guard lock(g_cacheMutex);
    const auto it = g_cache.find({id.device, id.inode});
    if (it == g_cache.end())
        return nullptr;
    std::unique_ptr<CompoundFile::Impl> state;
    if (it->second.identity == id)
        state = std::move(it->second.state);
    g_cache.erase(it);
    return state;
}

void putCached(const Identity& id, std::unique_ptr<CompoundFile::Impl> state)
{
    std::lock_guard lock(g_cacheMutex);
    if (g_cache.size() >= kCachedFiles && !g_cache.count({id.device, id.inode})) {
        auto oldest = g_cache.begin();
        for (auto it = g_cache.begin(); it != g_cache.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        g_cache.erase(oldest);
    }
    g_cache[{id.device, id.inode}] = CachedState{id, std::move(state), ++g_cacheClock};
}

void dropCachedStates()
{
    std::lock_guard lock(g_cacheMutex);
    g_cache.clear();
}

} // namespace cfb
