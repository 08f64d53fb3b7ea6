// A writer for the crash test: saves CD albums over and over until it is killed. Every album's
// content is a function of its version (see crashalbum.h); before a save it prints
// "saving KEY VERSION", after it "saved KEY VERSION", each line in one write so that a kill
// never leaves half a line.
//
// usage: album_crash_writer HOME SEED
#include "crashalbum.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <unistd.h>

namespace {

void say(const char* what, int album, int version)
{
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%s %d %d\n", what, album, version);
    if (::write(1, line, static_cast<size_t>(n)) != n)
        std::_Exit(3);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    setenv("KOLVO_HOME", argv[1], 1);
    QCoreApplication app(argc, argv);
    std::mt19937 rng(static_cast<unsigned>(std::atoi(argv[2])));
    std::vector<int> versions(crashalbum::kAlbums, 0);
    for (int i = 0; i < crashalbum::kAlbums; ++i) {
        Album a(AlbumKindCd);
        if (a.LoadForReading(crashalbum::key(i)))
            versions[static_cast<size_t>(i)] = crashalbum::versionOf(a);
        if (versions[static_cast<size_t>(i)] < 0)
            return 4; // a damaged album: the test reports it
    }
    Album album(AlbumKindCd);
    for (;;) {
        const int i = static_cast<int>(rng() % crashalbum::kAlbums);
        const int v = versions[static_cast<size_t>(i)] + 1;
        say("saving", i, v);
        if (!album.Open(crashalbum::key(i), 0))
            return 5;
        crashalbum::fill(album, i, v);
        if (!album.Save())
            return 6;
        versions[static_cast<size_t>(i)] = v;
        say("saved", i, v);
    }
}
