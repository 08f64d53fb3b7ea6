#pragma once
// The tags other players write, read and kept in step through TagLib: ID3 version 2 and APE
// tags of MPEG audio, Vorbis comments of Ogg and FLAC files, MP4 atoms, ASF attributes and the
// rest TagLib knows. The ID3 version 1 tag stays ours (id3tag.h); these functions never touch
// it, and never add a tag a file does not already carry.

#include "albums/id3tag.h"

#include <optional>
#include <string>

// The fields a newer tag names, in UTF-8; empty where it names none.
struct SongTags
{
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    std::string genre;
};

// The newer tag of a file (everything but ID3v1); nullopt when the file carries none with a
// title or an artist, or cannot be read.
std::optional<SongTags> ReadNewerTags(const std::string& path);

// After an ID3v1 edit from `before` to `after`: writes the fields that changed into every newer
// tag the file already carries, so that other players show what Kolvo shows. Fields the edit
// left alone keep their longer text there. True when there was nothing to do or the file was
// saved.
bool UpdateNewerTags(const std::string& path, const Id3Tag& before, const Id3Tag& after);

// Whether an ID3v1 tag belongs at the end of this file: MPEG audio by its name and bytes, or a
// file that already ends with one. Other formats (WAVE, AIFF, Ogg, FLAC, MP4...) keep their
// tags inside their own structure, and 128 bytes appended to them are damage, not a tag.
bool Id3v1Belongs(const std::string& path);

// The tag edit as the editor and kolvo-cli make it: refuses a file where an ID3v1 tag does not
// belong (`why` says so), updates the newer tags, then writes the ID3v1 tag.
enum class TagWrite { Written, NotMpegAudio, Failed };
TagWrite WriteSongTag(const std::string& path, const Id3Tag& before, const Id3Tag& after,
                      std::string* why = nullptr);
