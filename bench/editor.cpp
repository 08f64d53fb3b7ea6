// The file album editor adding a folder tree of 10,000 songs (20 artists, 10 albums each, 50
// tracks an album, beside covers and notes it passes over) and saving the album, measured
// from the command to the saved album, beside `find` listing the same tree in the same run.
// Goals: under 2 s, and under 5 times find's time.
#include "albums/album.h"
#include "albums/filealbumeditor.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kArtists = 20;
constexpr int kAlbums = 10;
constexpr int kTracks = 50;
constexpr int kRuns = 5;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void makeTree(const std::string& root)
{
    for (int a = 0; a < kArtists; ++a) {
        for (int b = 0; b < kAlbums; ++b) {
            char folder[128];
            std::snprintf(folder, sizeof folder, "%s/Artist %02d/Album %02d", root.c_str(), a, b);
            QDir().mkpath(QString::fromUtf8(folder));
            for (int t = 1; t <= kTracks; ++t) {
                char file[160];
                std::snprintf(file, sizeof file, "%s/%02d - Track %d.mp3", folder, t, t);
                std::ofstream(file) << "x";
            }
            std::ofstream(std::string(folder) + "/cover.jpg") << "x";
            std::ofstream(std::string(folder) + "/notes.txt") << "x";
        }
    }
}

// One run of find over the tree, reading its whole output as the editor takes every name.
double findMs(const std::string& root, size_t* lines)
{
    const auto start = Clock::now();
    FILE* p = popen(("find '" + root + "' -type f -name '*.mp3'").c_str(), "r");
    if (!p)
        return -1;
    char buf[65536];
    size_t n, count = 0;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        count += static_cast<size_t>(std::count(buf, buf + n, '\n'));
    pclose(p);
    *lines = count;
    return msSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("KOLVO_NONINTERACTIVE", "1", 1);
    QTemporaryDir home;
    setenv("KOLVO_HOME", home.path().toUtf8().constData(), 1);
    QApplication app(argc, argv);

    const std::string root = home.path().toStdString() + "/music";
    makeTree(root);
    const size_t expected = static_cast<size_t>(kArtists) * kAlbums * kTracks;

    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());

    std::vector<double> editor, peer, dropped;
    for (int run = 0; run < kRuns; ++run) {
        size_t found = 0;
        peer.push_back(findMs(root, &found));
        if (found != expected) {
            std::fprintf(stderr, "find listed %zu files, not %zu\n", found, expected);
            return 1;
        }

        const std::string key = "Bench " + std::to_string(run);
        Album(AlbumKindAudio).Open(key, 0);
        FileAlbumEditor e(AlbumKindAudio, key);
        e.setFolderChooser([&root](QWidget*, const std::string&) { return root; });
        const auto start = Clock::now();
        e.runCommand(FileAlbumEditor::AddFolderTreeCommand);
        editor.push_back(msSince(start));
        Album saved(AlbumKindAudio);
        if (!saved.LoadForReading(key) || saved.songCount() != static_cast<int>(expected)) {
            std::fprintf(stderr, "the album holds %d songs, not %zu\n", saved.songCount(),
                         expected);
            return 1;
        }

        // The same songs dropped on an empty album from a file manager, all in one drop.
        const std::string dropKey = "Dropped " + std::to_string(run);
        Album(AlbumKindAudio).Open(dropKey, 0);
        FileAlbumEditor d(AlbumKindAudio, dropKey);
        const auto dropStart = Clock::now();
        d.dropFiles(files);
        dropped.push_back(msSince(dropStart));
        if (d.rows().size() != expected) {
            std::fprintf(stderr, "the drop added %zu songs, not %zu\n", d.rows().size(), expected);
            return 1;
        }
    }

    const double ms = median(editor);
    const double findTime = median(peer);
    const double ratio = ms / findTime;
    std::printf("add a folder tree of %zu songs and save the album: %.1f ms (goal < 2000 ms)\n",
                expected, ms);
    std::printf("find over the same tree: %.1f ms; ratio %.2f (goal < 5)\n", findTime, ratio);
    const double dropMs = median(dropped);
    std::printf(
        "drop the same %zu files on an empty album and save it: %.1f ms; ratio to find %.2f "
        "(goal < 2000 ms)\n",
        expected, dropMs, dropMs / findTime);
    const bool met = ms < 2000 && ratio < 5 && dropMs < 2000;
    if (!met)
        std::printf("goal missed\n");
    return met ? 0 : 1;
}
