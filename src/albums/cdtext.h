#pragma once
// CD album import and export: "cdplayer.ini" and files in the same INI form, DiscPlay
// collections (.dpc), NotifyCD files (.ncd), and a tab-separated text listing. Every import
// writes one CD album per disc it finds; every export walks all CD albums in tree order.

#include <string>
#include <string_view>
#include <vector>

class Album;

// Where the DiscPlay and NotifyCD readers put the discs they find. The database sink opens
// and saves CD albums; tests and fuzzing use sinks of their own.
class CdAlbumSink
{
public:
    virtual ~CdAlbumSink() = default;
    // The CD album of that key with at least that many songs; null when there is none.
    virtual Album* openAlbum(const std::string& key, int expectedSongs) = 0;
    virtual void saveAlbum(Album& album) = 0;
    virtual void closeAlbum(Album& album) = 0;
};

void ReadDiscPlay(std::string_view bytes, CdAlbumSink& sink);
void ReadNotifyCd(std::string_view bytes, CdAlbumSink& sink);

// Each returns the number of albums written; a disc whose key the database cannot hold is
// skipped and named in *problems.
int ImportIniFile(const std::string& file, std::vector<std::string>* problems = nullptr);
int ImportDiscPlay(const std::string& file, std::vector<std::string>* problems = nullptr);
int ImportNotifyCd(const std::string& file, std::vector<std::string>* problems = nullptr);
// By the extension: "ini", "dpc" or "ncd" (any case); -1 for any other.
int ImportCdFile(const std::string& file, std::vector<std::string>* problems = nullptr);

// False when the file could not be written.
bool ExportIniFile(const std::string& file);
bool ExportText(const std::string& file);

// "%d:%02d" of the whole seconds; "" under one second.
std::string CdTimeText(int ms);
