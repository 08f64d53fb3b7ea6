#include "designeddefaults.h"

std::map<std::string, std::string> designedDefaults()
{
    std::map<std::string, std::string> d;
    for (const char* sec : {"FXMixer", "Mixer", "CD", "Audio", "MIDI", "Video", "Remocon"}) {
        const std::string s = sec;
        d[s + "/Enable"] = "1";
        d[s + "/Repeat"] = "0";
        d[s + "/PlayMode"] = "0";
        d[s + "/TimeMode"] = "0";
        d[s + "/InitialDir"] = "";
    }
    const char* ints[][2] = {
        {"General/MainVisible", "1"},
        {"General/MainTrayOnly", "0"},
        {"General/Timer", "10000"},
        {"General/TimerAction", "1"},
        {"General/SpectrumCD", "1"},
        {"General/SpectrumMIDI", "0"},
        {"Remocon/RemoconAlwaysOnTop", "1"},
        {"Remocon/RemoconSize", "0"},
        {"Remocon/UseHotKey", "0"},
        {"Remocon/RemoconComponent", "2"},
        {"RemoteSpectrum/AlwaysOnTop", "1"},
        {"RemoteSpectrum/Enabled", "1"},
        {"RemoteSpectrum/Size", "1"},
        {"RemoteSpectrum/SpectrumMode", "0"},
        {"Panel/ViewTitle", "1"},
        {"Panel/ViewDescription", "1"},
        {"Panel/ViewFileInfo", "1"},
        {"Panel/ViewID3Tag", "1"},
        {"Panel/ViewAlbumTitle", "1"},
        {"Panel/ViewAlbumSinger", "1"},
        {"Panel/ViewAlbumDescription", "1"},
        {"Panel/ViewAlbumGenre", "1"},
        {"Panel/ViewInfoQuickTrack", "0"},
        {"Panel/ViewSpectrumMode", "0"},
        {"Panel/ViewID3TagTitle", "1"},
        {"Panel/ViewID3TagArtist", "1"},
        {"Panel/ViewID3TagAlbum", "1"},
        {"Panel/ViewID3TagYear", "1"},
        {"Panel/ViewID3TagComment", "1"},
        {"Panel/ViewID3TagGenre", "1"},
        {"DSP/ReverbMode", "0"},
        {"DSP/Reverb", "0"},
        {"DSP/ReverbDepth", "16"},
        {"DSP/Chorus", "0"},
        {"DSP/ChorusDepth", "16"},
        {"DSP/Wide", "0"},
        {"DSP/WideDepth", "16"},
        {"DSP/FXMode", "0"},
        {"DSP/FX", "0"},
        {"Audio/RecordType", "0"},
        {"Audio/RecordMPEGProfile", "0"},
        {"Audio/RecordMPEGBitRate", "8"},
        {"Audio/RecordRAProfile", "0"},
        {"Audio/RecordCDRecord", "1"},
        {"Audio/RecordCDUseTitleInfo", "1"},
        {"Audio/RecordCDUseSongInfo", "1"},
        {"Audio/RecordCDUseSongInfoAlbumTitle", "1"},
        {"Audio/RecordCDUseSongInfoAlbumSinger", "1"},
        {"Audio/RecordCDUseSongInfoTrackNumber", "1"},
        {"Audio/RecordCDRecordingMethod", "0"},
        {"Audio/RecordDir", ""},
        {"Audio/WAVUseDirectShow", "1"},
        {"Audio/MPAUseInternal", "1"},
        {"Audio/DisplayLyric", "1"},
        {"MP3/Channel", "0"},
        {"MP3/Quality", "0"},
        {"MP3/BufferCount", "10"},
        {"MP3/Priority", "1"},
        {"MP3/OutputType", "0"},
        {"MP3/Engine", "0"},
        {"MP3/OutScaleAGC", "0"},
        {"MP3/OutScaleValue", "24000"},
        {"MP3/SaveStream", "0"},
        {"MP3/StreamOutputDir", ""},
        {"MP3/WAVOutputDir", ""},
        {"MP3/WAVOutputAutomaticNaming", "0"},
        {"Equalizer/Mode", "0"},
        {"Equalizer/Enable", "1"},
        {"Video/DGVAutoSize", "1"},
        {"Video/DGVUseDirectShow", "1"},
        {"Video/DGVUseVCD2Mode", "1"},
        {"CD/AutoRun", "0"},
        {"CD/CDDBConnect", "0"},
        {"CD/EMail", ""},
        {"CD/MailServer", ""},
        {"MIDI/MIDUseInternal", "1"},
        {"CD/Drive", ""},
        {"Print/PageMarginLeft", "20"},
        {"Print/PageMarginTop", "20"},
        {"Print/PageMarginRight", "20"},
        {"Print/PageMarginBottom", "20"},
        {"Print/EnableTwoColumn", "1"},
        {"Print/EnableColumnSeparator", "1"},
        {"Print/AlbumSizeMargin", "10"},
        {"Print/AlbumSizeCount", "4"},
        {"Print/AlbumSize", "0"},
        {"Print/EnableTitleInfo", "1"},
        {"Print/EnablePageInfo", "1"},
        {"Print/HeaderMargin", "10"},
        {"Print/EnableAlbumNumbering", "1"},
        {"Print/EnableAlbumSingerInfo", "1"},
        {"Print/EnableAlbumDescInfo", "1"},
        {"Print/EnableSongInfo", "1"},
        {"Print/EnableSongTimeInfo", "1"},
        {"Print/EnableSongDescInfo", "1"},
        {"General/ColorScheme", "GoldEn.uib"},
    };
    for (const auto& kv : ints)
        d[kv[0]] = kv[1];
    for (int band = 0; band < 20; ++band)
        d["Equalizer/" + std::to_string(band)] = "0";
    const struct
    {
        const char* prefix;
        int color, bold, italic, size;
    } fonts[] = {{"Title", 0xFFFFFF, 1, 0, 10}, {"Page", 0, 0, 0, 8},
                 {"AlbumTitle", 0, 1, 0, 10},   {"AlbumSinger", 0, 0, 0, 9},
                 {"AlbumDesc", 0, 0, 0, 9},     {"SongTitle", 0, 0, 1, 8},
                 {"SongDesc", 0, 0, 1, 8}};
    for (const auto& f : fonts) {
        const std::string p = std::string("Print/") + f.prefix + "FontInfo";
        d[p + "Color"] = std::to_string(f.color);
        d[p + "Bold"] = std::to_string(f.bold);
        d[p + "Italic"] = std::to_string(f.italic);
        d[p + "Size"] = std::to_string(f.size);
        d[p + "FontName"] = "Arial";
    }
    return d;
}
