#pragma once
// ID3 version 1 tags: the last 128 bytes of an MPEG audio file, "TAG" (any case), then title,
// artist, album (30 bytes each), year (4), comment (30) and the genre byte.

#include <string>
#include <string_view>

// The fields hold the bytes of the file (legacy text, or UTF-8), without the zero padding: at
// most 30 bytes each, the year at most 4. genre is -1 for "no genre".
struct Id3Tag
{
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    int genre = -1;
};

// The genre table entry for 0..127 ("" for 126, 127 and any other number).
std::string GenreName(int number);

// False, leaving the tag untouched, when the file cannot be read, is shorter than 128 bytes or
// has no marker.
bool ReadId3Tag(const std::string& fileName, Id3Tag& tag);
// Replaces a tag that is there, appends one otherwise.
bool WriteId3Tag(const std::string& fileName, const Id3Tag& tag);
// Cuts the tag off; success also when there is none.
bool RemoveId3Tag(const std::string& fileName);

// The tag in the last 128 bytes of a file; false when they carry none.
bool ParseId3Tag(std::string_view last128, Id3Tag& tag);
// The 125 bytes after the marker.
std::string FormatId3Tag(const Id3Tag& tag);

// A field's bytes from UTF-8 text: in the legacy code page when it can hold the text (so that
// other players read it), else UTF-8; cut to maxBytes without splitting a character.
std::string Id3FieldFromText(std::string_view utf8, size_t maxBytes);
// A field's text for display: UTF-8, the legacy code page decoded.
std::string Id3FieldText(std::string_view bytes);
