#include "platform/drives.h"

#include <QStorageInfo>

#include <cstdlib>

namespace drives {
namespace {

// /media/<user>/<label>, /run/media/<user>/<label>, /mnt/<name>: the depth says which.
bool isRemovableMountPoint(const std::string& p)
{
    auto depthBelow = [&p](const std::string& prefix) -> int {
        if (p.rfind(prefix, 0) != 0)
            return -1;
        int depth = 0;
        bool inName = false;
        for (size_t i = prefix.size(); i < p.size(); ++i) {
            if (p[i] == '/') {
                inName = false;
            } else if (!inName) {
                inName = true;
                ++depth;
            }
        }
        return depth;
    };
    return depthBelow("/media/") == 2 || depthBelow("/run/media/") == 2 || depthBelow("/mnt/") == 1;
}

} // namespace

std::vector<std::string> RemovableMountPoints()
{
    std::vector<std::string> points;
    if (const char* env = std::getenv("KOLVO_MOUNTS")) {
        std::string list = env;
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t end = list.find(':', pos);
            if (end == std::string::npos)
                end = list.size();
            if (end > pos)
                points.push_back(list.substr(pos, end - pos));
            pos = end + 1;
        }
        return points;
    }
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const std::string root = volume.rootPath().toStdString();
        if (isRemovableMountPoint(root))
            points.push_back(root);
    }
    return points;
}

std::vector<std::string> AlternatePaths(const std::string& path,
                                        const std::vector<std::string>& mountPoints)
{
    std::string own;
    for (const std::string& m : mountPoints) {
        if (path.size() > m.size() && path.compare(0, m.size(), m) == 0 && path[m.size()] == '/' &&
            m.size() > own.size())
            own = m;
    }
    // A path on no known medium may still be the old mount point of one that has gone.
    if (own.empty()) {
        for (const char* prefix : {"/media/", "/run/media/", "/mnt/"}) {
            const std::string pre = prefix;
            if (path.rfind(pre, 0) != 0)
                continue;
            const int parts = pre == "/mnt/" ? 1 : 2;
            size_t end = pre.size();
            for (int i = 0; i < parts && end != std::string::npos; ++i)
                end = path.find('/', end + (i ? 1 : 0));
            if (end != std::string::npos)
                own = path.substr(0, end);
            break;
        }
    }
    std::vector<std::string> out;
    if (own.empty())
        return out;
    const std::string rest = path.substr(own.size());
    for (const std::string& m : mountPoints)
        if (m != own)
            out.push_back(m + rest);
    return out;
}

std::vector<std::string> AlternatePaths(const std::string& path)
{
    return AlternatePaths(path, RemovableMountPoints());
}

} // namespace drives
