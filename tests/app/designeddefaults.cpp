#include "designeddefaults.h"

#include <sstream>

std::map<std::string, std::string> designedDefaults()
{
    std::map<std::string, std::string> d;
    // Each section's "Name=value" pairs, blank-separated.
    const std::pair<const char*, const char*> sections[] = {
        {"General", "MainVisible=1 MainTrayOnly=0 Timer=10000 TimerAction=1 SpectrumCD=1 "
                    "SpectrumMIDI=0 ColorScheme=GoldEn.uib"},
        {"Remocon", "RemoconAlwaysOnTop=1 RemoconSize=0 UseHotKey=0 RemoconComponent=2"},
        {"RemoteSpectrum", "AlwaysOnTop=1 Enabled=1 Size=1 SpectrumMode=0"},
        {"Panel", "ViewTitle=1 ViewDescription=1 ViewFileInfo=1 ViewID3Tag=1 ViewAlbumTitle=1 "
                  "ViewAlbumSinger=1 ViewAlbumDescription=1 ViewAlbumGenre=1 "
                  "ViewInfoQuickTrack=0 ViewSpectrumMode=0 ViewID3TagTitle=1 ViewID3TagArtist=1 "
                  "ViewID3TagAlbum=1 ViewID3TagYear=1 ViewID3TagComment=1 ViewID3TagGenre=1"},
        {"DSP", "ReverbMode=0 Reverb=0 ReverbDepth=16 Chorus=0 ChorusDepth=16 Wide=0 WideDepth=16 "
                "FXMode=0 FX=0"},
        {"Audio", "RecordType=0 RecordMPEGProfile=0 RecordMPEGBitRate=8 RecordRAProfile=0 "
                  "RecordCDRecord=1 RecordCDUseTitleInfo=1 RecordCDUseSongInfo=1 "
                  "RecordCDUseSongInfoAlbumTitle=1 RecordCDUseSongInfoAlbumSinger=1 "
                  "RecordCDUseSongInfoTrackNumber=1 RecordCDRecordingMethod=0 RecordDir= "
                  "WAVUseDirectShow=1 MPAUseInternal=1 DisplayLyric=1"},
        {"MP3", "Channel=0 Quality=0 BufferCount=10 Priority=1 OutputType=0 Engine=0 OutScaleAGC=0 "
                "OutScaleValue=24000 SaveStream=0 StreamOutputDir= WAVOutputDir= "
                "WAVOutputAutomaticNaming=0"},
        {"Equalizer", "Mode=0 Enable=1"},
        {"Video", "DGVAutoSize=1 DGVUseDirectShow=1 DGVUseVCD2Mode=1"},
        {"CD", "AutoRun=0 CDDBConnect=0 EMail= MailServer= Drive="},
        {"MIDI", "MIDUseInternal=1"},
        {"Print", "PageMarginLeft=20 PageMarginTop=20 PageMarginRight=20 PageMarginBottom=20 "
                  "EnableTwoColumn=1 EnableColumnSeparator=1 AlbumSizeMargin=10 AlbumSizeCount=4 "
                  "AlbumSize=0 EnableTitleInfo=1 EnablePageInfo=1 HeaderMargin=10 "
                  "EnableAlbumNumbering=1 EnableAlbumSingerInfo=1 EnableAlbumDescInfo=1 "
                  "EnableSongInfo=1 EnableSongTimeInfo=1 EnableSongDescInfo=1"},
    };
    for (const auto& [section, pairs] : sections) {
        std::istringstream in(pairs);
        for (std::string pair; in >> pair;)
            d[std::string(section) + "/" + pair.substr(0, pair.find('='))] =
                pair.substr(pair.find('=') + 1);
    }
    for (const char* sec : {"FXMixer", "Mixer", "CD", "Audio", "MIDI", "Video", "Remocon"}) {
        const std::string s = sec;
        for (const char* name : {"/Enable", "/Repeat", "/PlayMode", "/TimeMode"})
            d[s + name] = name == std::string("/Enable") ? "1" : "0";
        d[s + "/InitialDir"] = "";
    }
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
