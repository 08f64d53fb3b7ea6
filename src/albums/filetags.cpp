#include "albums/filetags.h"

#include "albums/mediakind.h"
#include "platform/log.h"

#include <taglib/apetag.h>
#include <taglib/fileref.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <vector>

namespace {

std::string utf8(const TagLib::String& s)
{
    std::string out = s.to8Bit(true);
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    out.erase(out.begin(), std::find_if(out.begin(), out.end(), notSpace));
    out.erase(std::find_if(out.rbegin(), out.rend(), notSpace).base(), out.end());
    return out;
}

TagLib::String taglibText(const std::string& id3Bytes)
{
    return TagLib::String(Id3FieldText(id3Bytes), TagLib::String::UTF8);
}

std::optional<SongTags> fieldsOf(const TagLib::Tag* tag)
{
    if (!tag)
        return std::nullopt;
    SongTags t;
    t.title = utf8(tag->title());
    t.artist = utf8(tag->artist());
    if (t.title.empty() && t.artist.empty())
        return std::nullopt;
    t.album = utf8(tag->album());
    t.year = tag->year() ? std::to_string(tag->year()) : std::string();
    t.comment = utf8(tag->comment());
    t.genre = utf8(tag->genre());
    return t;
}

bool isMpegAudioName(const std::string& path)
{
    return MediaKindOf(AlbumKindAudio, path) == MediaKindMpegAudio;
}

// The first bytes of a format that keeps its tags inside its own structure.
bool startsLikeOtherFormat(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char head[12] = {};
    in.read(head, sizeof head);
    const std::string_view h(head, static_cast<size_t>(in.gcount()));
    for (std::string_view magic : {"RIFF", "RIFX", "RF64", "FORM", ".snd", "OggS", "fLaC", "MThd",
                                   "wvpk", "MAC ", ".RMF", "\x30\x26\xB2\x75"})
        if (h.substr(0, magic.size()) == magic)
            return true;
    return h.size() >= 8 && h.substr(4, 4) == "ftyp";
}

// Writes the fields that differ between the two records into `tag`.
void applyChanges(TagLib::Tag* tag, const Id3Tag& before, const Id3Tag& after)
{
    if (after.title != before.title)
        tag->setTitle(taglibText(after.title));
    if (after.artist != before.artist)
        tag->setArtist(taglibText(after.artist));
    if (after.album != before.album)
        tag->setAlbum(taglibText(after.album));
    if (after.year != before.year) {
        unsigned year = 0;
        for (char c : Id3FieldText(after.year)) {
            if (!std::isdigit(static_cast<unsigned char>(c)))
                break;
            year = year * 10 + static_cast<unsigned>(c - '0');
        }
        tag->setYear(year);
    }
    if (after.comment != before.comment)
        tag->setComment(taglibText(after.comment));
    if (after.genre != before.genre)
        tag->setGenre(TagLib::String(GenreName(after.genre), TagLib::String::UTF8));
}

} // namespace

std::optional<SongTags> ReadNewerTags(const std::string& path)
{
    if (isMpegAudioName(path)) {
        // Through the MPEG reader, which keeps ID3v1 apart from the newer tags.
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.isOpen())
            return std::nullopt;
        if (file.hasID3v2Tag())
            if (auto tags = fieldsOf(file.ID3v2Tag()))
                return tags;
        if (file.hasAPETag())
            return fieldsOf(file.APETag());
        return std::nullopt;
    }
    const TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull())
        return std::nullopt;
    return fieldsOf(ref.tag());
}

bool UpdateNewerTags(const std::string& path, const Id3Tag& before, const Id3Tag& after)
{
    if (isMpegAudioName(path)) {
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.isOpen() || !file.isValid())
            return true;
        int which = TagLib::MPEG::File::NoTags;
        TagLib::ID3v2::Version version = TagLib::ID3v2::v4;
        if (file.hasID3v2Tag()) {
            which |= TagLib::MPEG::File::ID3v2;
            applyChanges(file.ID3v2Tag(), before, after);
            // A version 2.3 tag stays 2.3: older players read no other.
            if (file.ID3v2Tag()->header()->majorVersion() == 3)
                version = TagLib::ID3v2::v3;
        }
        if (file.hasAPETag()) {
            which |= TagLib::MPEG::File::APE;
            applyChanges(file.APETag(), before, after);
        }
        if (which == TagLib::MPEG::File::NoTags)
            return true;
        const bool saved =
            file.save(which, TagLib::File::StripNone, version, TagLib::File::DoNotDuplicate);
        if (!saved)
            KLOG_WARNING("albums", "the newer tags of %s could not be saved", path.c_str());
        return saved;
    }
    TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull() || !ref.tag() || ref.tag()->isEmpty())
        return true;
    applyChanges(ref.tag(), before, after);
    const bool saved = ref.save();
    if (!saved)
        KLOG_WARNING("albums", "the tag of %s could not be saved", path.c_str());
    return saved;
}

bool Id3v1Belongs(const std::string& path)
{
    Id3Tag existing;
    if (ReadId3Tag(path, existing))
        return true;
    return isMpegAudioName(path) && !startsLikeOtherFormat(path);
}

TagWrite WriteSongTag(const std::string& path, const Id3Tag& before, const Id3Tag& after,
                      std::string* why)
{
    if (!Id3v1Belongs(path)) {
        if (why)
            *why = "an ID3 tag belongs only at the end of MPEG audio files (.mp3, .mp2, .mpa); "
                   "this file keeps its tags in its own format, and 128 bytes appended to it "
                   "would damage it";
        return TagWrite::NotMpegAudio;
    }
    // The newer tags first: saving them rewrites the file, the ID3v1 tag at its end stays.
    if (!UpdateNewerTags(path, before, after)) {
        if (why)
            *why = "the file's ID3 version 2 or APE tag could not be updated";
        return TagWrite::Failed;
    }
    // The reason a failed write leaves is the writer's own, not what TagLib's reading left.
    errno = 0;
    if (!WriteId3Tag(path, after)) {
        if (why)
            *why = "the ID3 tag could not be written";
        return TagWrite::Failed;
    }
    return TagWrite::Written;
}
